// DbxCommit: the order in which cut messages reach the disk, for one mailbox or many. The
// writers (DbxMailboxWriter) have checked and staged their messages' spans; settle()
// journals, writes and flushes them, and nothing else in the program orders these steps.
// One flush costs the disk a cache flush whatever it holds, so every step serves all the
// mailboxes of a batch at once: two flushes settle a batch, where one mailbox at a time
// would cost two each.
//
// The invariants, numbered in the order the steps happen, each with what a crash at that
// point leaves behind and what recovery (DbxJournal::recover, run whenever the mailbox is
// next opened, before anything else is done with it) then does:
//
// 0. First every span of every staged message is read again: a message whose bytes are no
//    longer those it was staged against (another program wrote the mailbox since) is
//    dropped from the batch, and stays as it now is; the others go on.
// 1. Before the first block of a mailbox is written, its journal entry is on the disk: the
//    old bytes of every span, and a hash of the old and of the new bytes of every piece
//    (512 bytes of the file). With it, in the same flush: the files the cuts depend on (the
//    saved attachments, and their names in their folder) and, for a journal new in the
//    store folder, its name there. If that flush fails, not one block of any mailbox of the
//    batch is written, and their journals take no more entries until cleared.
//    Crash before or during this step: a journal that is missing, empty, or ends in an
//    entry that is not whole, which was never acted on (an entry counts only once it is on
//    the disk). A whole entry whose flush had not returned finds every piece holding its
//    old bytes: recovery writes nothing. An entry that is not whole cannot be told from one
//    damaged after it was acted on, so recovery removes the journal only when every piece
//    that entry still names holds its old bytes; otherwise (its pieces cannot all be read
//    from it, or some hold other bytes, or the file is no journal at all) the journal is
//    renamed aside (".damaged", numbered when taken), never deleted, and the mailbox is
//    named as one that may hold half-written messages and is not cut in that job.
// 2. Then the blocks are written, only the spans the writer checked against the chain map
//    and against what the disk held when it staged them. A write that fails puts the
//    mailbox's old bytes back at once and flushes them; when that flush succeeds, its
//    journal goes (there is nothing left to undo), otherwise it stays for the next open.
//    Crash during this step: each piece holds its old bytes or its new ones (a write tears
//    at sector boundaries, never inside a piece). Recovery finds every piece of every whole
//    entry holding its old or its new bytes, puts the old ones back, flushes the mailbox,
//    and only then removes the journal, whatever the mailbox's size or file index now (the
//    mail client may have appended to it, or it was copied to another disk: noted, not
//    refused). A piece that holds neither means another program changed the mailbox since:
//    recovery then touches nothing and keeps the journal, and only that mailbox is left
//    alone in the job.
// 3. Then every written mailbox is flushed, one flush for all, before any journal is
//    removed. If that flush fails, the old bytes are put back but the journal stays: a
//    write-back error is reported once to each open file, so a second flush through the
//    same file could say yes whether or not the bytes reached the disk.
//    Crash before this flush has returned: as in 2; the cut messages go back to their old
//    texts, which loses nothing, since their attachments are saved (1).
// 4. Then each journal is removed. The removal itself is left to the next flush of the
//    store folder (5, or the next batch's step 1 in the same folder).
//    Crash after this step: the journal may come back with the folder's old list of names.
//    Its pieces all hold their new bytes, so recovery returns complete cuts to their old
//    texts: again nothing is lost, since the attachments are on the disk (1).
// 5. At the end of the run the store folder is flushed (flushRemovals), so that the journals
//    removed stay removed and the cuts stay made.
//
// Texts staged and never settled were never written: their messages are as they were.
#pragma once

#include "formats/DbxMailboxWriter.h"
#include "formats/WriteJournal.h"
#include "utils/Block.h"
#include "utils/FileSystem.h"

#include <vector>

namespace TOVK_Internet {

class DbxCommit {
public:
    enum class Outcome {
        // Every staged message is written, and (with a journal) flushed and its journal
        // removed; also when nothing was staged.
        Settled,
        // The files the cuts depend on, or the journal entry, could not be flushed (1): not
        // a byte was written, and the messages are as they were.
        NotFlushed,
        // Not written: the journal refused the entry, or a write failed and every old byte
        // is back on the disk (2). The messages are as they were.
        PutBack,
        // A write or the mailbox's flush failed and the old bytes are not known to be back
        // on the disk (2, 3): the journal keeps them for the next open to put back. Also
        // when the messages were written but the journal could not be removed. (Without a
        // journal nothing keeps them: only copies are written so.)
        KeptInJournal,
    };
    struct Waiting {
        DbxMailboxWriter* writer;
        // Null: the spans are written at once and nothing is flushed, for tools and tests
        // that work on copies.
        WriteJournal* journal;
        // The saved attachments the cuts depend on; none when the folder is empty.
        TOVK_Utils::FilesInFolder dependsOn;
    };

    // Settles every mailbox's staged messages together; one outcome per mailbox, in order.
    // Each writer's staged texts are dropped, whatever their outcome.
    static std::vector<Outcome> settle(const std::vector<Waiting>& mailboxes);
    static Outcome settle(DbxMailboxWriter& writer, WriteJournal* journal,
                          TOVK_Utils::FilesInFolder dependsOn = {});
    // Step 5, for the store folder that holds the mailboxes of the run; false when its list
    // of names could not be flushed (then a power loss may bring removed journals back).
    static bool flushRemovals(const TOVK_Utils::Block& storeFolder);
};

} // namespace TOVK_Internet
