// DbxJournal: the undo journal of one mailbox, a file beside it ("Inbox.dbx.klovin-undo").
// Before a message's blocks are overwritten, record() puts their old bytes on the disk;
// once the new bytes are on the disk too, clear() removes it again. A journal that still
// holds entries when the mailbox is next met means a run stopped in between, and recover()
// puts the old bytes back. The journal file is locked while this object has it, and
// recovery leaves a locked journal alone; the mailbox itself must stay locked by its writer
// (File::lock) for as long as its journal is in use.
//
// Recovery judges each piece of a span by what the mailbox holds there now: the old bytes
// (nothing to do), the new bytes (the old ones go back), or neither (the mailbox was
// changed by someone else since, and nothing is touched), whatever the file's size or
// index now. A journal is never deleted while it may hold the only record of a change: one
// that is damaged is removed only when every piece it still names holds its old bytes, and
// is otherwise renamed aside, as are bytes under its name that are no journal at all. Spans are
// judged in pieces cut at every 512th byte of the file, because a crash tears a write at sector
// boundaries and a span may then hold old and new bytes side by side. For the same reason the spans
// of all entries between two clears never overlap: every piece has exactly two rightful states,
// also while a recovery that was itself interrupted is run again.
#pragma once

#include "formats/WriteJournal.h"
#include "utils/File.h"
#include "utils/FileSystem.h"
#include "utils/String.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace TOVK_Internet {

struct RecoveryResult {
    enum class Outcome {
        // No journal, an empty one, or one whose damaged or unfinished entry names only
        // pieces that still hold their old bytes (so it was never acted on); such a journal
        // is removed.
        NothingToRecover,
        // Every complete entry was undone (restoredSpans may be 0 when the run had not
        // written yet), the mailbox flushed and the journal removed.
        Restored,
        // The journal holds no whole entry for some of what it names (it was cut short or
        // damaged), or is not a journal at all, and the mailbox's bytes do not prove that
        // nothing was written: it was renamed aside (setAsidePath), never deleted, after
        // every whole entry was undone. The mailbox may hold half-written messages.
        SetAside,
        // Some piece of the mailbox holds neither its old nor its new bytes (see change):
        // nothing was touched and the journal is kept.
        KeptMailboxChanged,
        // Another program has the mailbox open for writing: nothing was touched.
        InUse,
        // The mailbox or the journal could not be read or written, or the journal is one
        // of a later version; the journal is kept so that a later run can try again.
        Error,
    };
    enum class Change {
        None,
        Size,  // a piece lies beyond the mailbox's end: it was made shorter since
        Bytes, // the bytes at changedOffset are neither the old nor the new ones
    };

    // What could not be done, for an Error.
    enum class Failure {
        None,
        MailboxNotOpened,  // the mailbox could not be opened to put its bytes back
        JournalUnreadable, // the journal could not be read
        JournalForeign,    // the journal is not one this program can read
        MailboxUnreadable, // the mailbox could not be read to judge its pieces
        MailboxUnwritable, // the old bytes could not all be written back; can be tried again
        // The interrupted run had changed nothing, but its journal could not be removed.
        JournalNotRemoved,
        // Every piece was put back, but the journal could not be removed.
        RestoredJournalNotRemoved,
        // The journal is damaged and could not be renamed aside: it stays under its name.
        JournalNotSetAside,
    };

    Outcome outcome = Outcome::NothingToRecover;
    uint32_t restoredSpans = 0;       // spans of which at least one piece was written back
    uint32_t entries = 0;             // complete entries found in the journal
    bool discardedUnfinished = false; // a damaged entry shown by the bytes never acted on
    Change change = Change::None;
    uint64_t changedOffset = 0;
    Failure failure = Failure::None;
    // Noted, never refused: pieces are judged by their bytes, so a mailbox that grew (the
    // mail client appended) or got a new file index (copied to another disk) is recovered.
    bool sizeDiffered = false;
    bool indexDiffered = false;
    TOVK_Utils::String setAsidePath; // for SetAside: where the journal's bytes are now
};

class DbxJournal : public WriteJournal {
public:
    // Spans are judged in pieces that never cross a multiple of this many bytes of the file.
    static constexpr uint32_t pieceBytes = 512;

    // What the journal object has on the disk, and how that changes:
    //
    //  Closed -open-> Ready -recordUnflushed-> Appended -unflushedFlushed(true)-> Recorded
    //                 ^ ^ |                     |    ^                            | | |
    //                 | | |                     |    +------ recordUnflushed -----+ | |
    //                 | | | a failed            | unflushedFlushed(false)           | |
    //                 | | v write or lock       v                                   | |
    //                 | | +---------------> Broken <--- a failed write, or a clear -+ |
    //                 | +------ clear ---------+        that could not remove the file |
    //                 +---------------------------- clear -----------------------------+
    //
    //   close(): from every state to Closed.
    //
    // Ready: nothing of this object's on the disk. Appended: an entry written, not yet known
    // to be on the disk; no block of it may be written. Recorded: every entry on the disk,
    // and the journal's name in its folder. Broken: whatever reached the disk may be a whole
    // entry whose spans are never written (harmless at recovery), so no entry may follow it
    // until a clear removes the file. A refused record (spans outside the mailbox or over
    // one another) changes nothing.
    enum class State { Closed, Ready, Appended, Recorded, Broken };
    static bool allows(State from, State to);
    State state() const { return state_; }

    DbxJournal() = default;
    DbxJournal(const DbxJournal&) = delete;
    DbxJournal& operator=(const DbxJournal&) = delete;
    ~DbxJournal() override; // close()

    // Prepares the journal of the mailbox, whose size and identity every entry records;
    // nothing is created until the first record. False when the identity is not valid,
    // or when a journal with content is already there: that one must be recovered first.
    bool open(const TOVK_Utils::Block& mailboxPath, uint64_t mailboxSize,
              const TOVK_Utils::FileIdentity& identity);
    // Adds one entry and returns only when it is on the disk (the journal's name too).
    // False, with nothing to be written to the mailbox, when a span lies outside the
    // mailbox, overlaps another span recorded since the last clear, or the journal could
    // not be written; after a failed write every record fails until a clear succeeds.
    bool record(const std::vector<Span>& spans) override;
    bool recordUnflushed(const std::vector<Span>& spans) override;
    // The journal file, and its name in its folder when it is new.
    void collectUnflushed(std::vector<TOVK_Utils::File*>& files,
                          std::vector<TOVK_Utils::FilesInFolder>& others) override;
    void unflushedFlushed(bool onDisk) override;
    // Removes the journal: the spans recorded so far can no longer be undone. Its removal
    // is not flushed here (DbxCommit, invariants 4 and 5).
    bool clear() override;
    // Removes the journal when it holds no entry; one that does (a write that did not
    // finish, a clear that failed) stays for recover. False when it could not be removed.
    bool close();

    // Undoes what the journal beside the mailbox holds; run before anything else is done
    // with the mailbox. Safe to run again, also after a crash in the middle of it. What it
    // found and did is all in the result; the engine words it for the user.
    static RecoveryResult recover(const TOVK_Utils::Block& mailboxPath);
    // A journal with content is beside the mailbox (or something there that cannot be
    // looked at: better asked about than overlooked).
    static bool exists(const TOVK_Utils::Block& mailboxPath);
    // The journal's name: the mailbox's with ".klovin-undo" added.
    static TOVK_Utils::String journalPath(const TOVK_Utils::Block& mailboxPath);
    // Where a damaged journal goes: ".damaged" added, then ".damaged1", "2", ... when taken.
    static TOVK_Utils::String setAsidePath(const TOVK_Utils::Block& mailboxPath);

private:
    TOVK_Utils::File file_;
    TOVK_Utils::String path_;
    TOVK_Utils::String folder_;
    uint64_t mailboxSize_ = 0;
    TOVK_Utils::FileIdentity identity_;
    // The one place the state changes: a transition the diagram does not have is a
    // programming error, stopped by an assertion in the debug build and refused (false,
    // nothing changed) in the others.
    bool moveTo(State next);
    State state_ = State::Closed;
    // With an entry appended: where the journal then ends, and its ranges.
    uint64_t unflushedEnd_ = 0;
    std::vector<std::pair<uint64_t, uint64_t>> unflushedRanges_;
    // Bytes of complete entries since the last clear; none yet means that the journal's name
    // is new in its folder.
    uint64_t end_ = 0;
    // Byte ranges [first, second) of the spans recorded since the last clear, sorted.
    std::vector<std::pair<uint64_t, uint64_t>> recorded_;
};

} // namespace TOVK_Internet
