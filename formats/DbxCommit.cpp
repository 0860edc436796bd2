#include "formats/DbxCommit.h"

#include "utils/File.h"

using TOVK_Utils::File;
using TOVK_Utils::FilesInFolder;

namespace TOVK_Internet {

namespace {

using Outcome = DbxCommit::Outcome;
using Span = WriteJournal::Span;

// One mailbox on its way through the steps.
struct Settling {
    const DbxCommit::Waiting* waiting;
    std::vector<Span> spans;
    enum class Step { Nothing, Journaled, Written, Done } step = Step::Nothing;
    Outcome outcome = Outcome::Settled;

    void finish(Outcome how) {
        outcome = how;
        step = Step::Done;
    }
};
using Step = Settling::Step;

// Step 1: every entry and every file the cuts depend on, in one flush.
void journalAll(std::vector<Settling>& boxes) {
    std::vector<File*> files;
    std::vector<FilesInFolder> others;
    for (Settling& box : boxes) {
        const DbxCommit::Waiting& w = *box.waiting;
        w.writer->dropChanged();
        if (!w.writer->hasStaged())
            continue;
        box.spans = w.writer->stagedSpans();
        box.step = Step::Journaled;
        if (!w.journal)
            continue;
        if (!w.journal->recordUnflushed(box.spans)) {
            box.finish(Outcome::PutBack); // refused: not one byte was written
            continue;
        }
        w.journal->collectUnflushed(files, others);
        // Given for this entry's blocks alone: a refused entry does not pass them on.
        if (w.dependsOn.folder.length() > 0 || !w.dependsOn.files.empty())
            others.push_back(w.dependsOn);
    }
    // A failed flush is not tried again mailbox by mailbox: a write-back error is reported
    // once to each open file, so a second flush through the same file would say yes
    // whether or not its bytes reached the disk.
    const bool onDisk = File::flushTogether(files, others);
    for (Settling& box : boxes) {
        WriteJournal* journal = box.waiting->journal;
        if (box.step != Step::Journaled || !journal)
            continue;
        journal->unflushedFlushed(onDisk);
        if (!onDisk)
            box.finish(Outcome::NotFlushed);
    }
}

// Step 2: the blocks, each mailbox's put back at once when one of its writes fails.
void writeAll(std::vector<Settling>& boxes) {
    for (Settling& box : boxes) {
        if (box.step != Step::Journaled)
            continue;
        WriteJournal* journal = box.waiting->journal;
        switch (box.waiting->writer->write(box.spans)) {
        case DbxMailboxWriter::Written::Written:
            box.step = Step::Written;
            break;
        case DbxMailboxWriter::Written::PutBack:
            // Its old bytes are back on the disk: nothing is left for the journal to undo.
            if (journal)
                journal->clear();
            box.finish(Outcome::PutBack);
            break;
        case DbxMailboxWriter::Written::NotPutBack:
            box.finish(Outcome::KeptInJournal);
            break;
        }
    }
}

bool flushMailboxes(const std::vector<Settling*>& written) {
    if (written.size() == 1)
        return written.front()->waiting->writer->flush();
    std::vector<File*> files;
    for (const Settling* box : written) {
        File* file = box->waiting->writer->file();
        if (!file)
            return false;
        files.push_back(file);
    }
    return File::flushTogether(files, {});
}

// Steps 3 and 4: every written mailbox flushed, then each journal removed.
void flushAndClear(std::vector<Settling>& boxes) {
    std::vector<Settling*> journaled;
    for (Settling& box : boxes) {
        if (box.step == Step::Written && box.waiting->journal)
            journaled.push_back(&box);
    }
    const bool flushed = journaled.empty() || flushMailboxes(journaled);
    for (Settling& box : boxes) {
        WriteJournal* journal = box.waiting->journal;
        if (box.step == Step::Done)
            continue;
        if (!journal) {
            box.finish(Outcome::Settled); // written at once, flushed by nobody
        } else if (box.step == Step::Written && !flushed) {
            // The journal stays whatever the put-back's flush says (see step 3).
            box.waiting->writer->putBack(box.spans);
            box.finish(Outcome::KeptInJournal);
        } else {
            box.finish(journal->clear() ? Outcome::Settled : Outcome::KeptInJournal);
        }
    }
}

} // namespace

std::vector<Outcome> DbxCommit::settle(const std::vector<Waiting>& mailboxes) {
    std::vector<Settling> boxes(mailboxes.size());
    for (size_t i = 0; i < mailboxes.size(); ++i)
        boxes[i].waiting = &mailboxes[i];
    journalAll(boxes);
    writeAll(boxes);
    flushAndClear(boxes);
    std::vector<Outcome> outcomes;
    for (const Settling& box : boxes) {
        outcomes.push_back(box.outcome);
        box.waiting->writer->dropStaged();
    }
    return outcomes;
}

Outcome DbxCommit::settle(DbxMailboxWriter& writer, WriteJournal* journal,
                          FilesInFolder dependsOn) {
    return settle({{&writer, journal, std::move(dependsOn)}}).front();
}

bool DbxCommit::flushRemovals(const TOVK_Utils::Block& storeFolder) {
    return TOVK_Utils::flushDirectory(storeFolder);
}

} // namespace TOVK_Internet
