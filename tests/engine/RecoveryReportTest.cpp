// What recovery found, in the words the user reads: every sentence, for every value the
// journal's recovery can give.
#include "engine/RecoveryReport.h"

#include <gtest/gtest.h>

#include <string>

using TOVK_Internet::RecoveryResult;
using Outcome = RecoveryResult::Outcome;
using Change = RecoveryResult::Change;
using Failure = RecoveryResult::Failure;

namespace {

RecoveryResult resultOf(Outcome outcome, Failure failure = Failure::None,
                        Change change = Change::None) {
    RecoveryResult result;
    result.outcome = outcome;
    result.failure = failure;
    result.change = change;
    return result;
}

struct Case {
    const char* what;
    RecoveryResult result;
    const char* said;
};

} // namespace

TEST(RecoveryReport, EveryOutcomeInItsOwnWords) {
    RecoveryResult unfinished = resultOf(Outcome::NothingToRecover);
    unfinished.discardedUnfinished = true;
    RecoveryResult oneBlock = resultOf(Outcome::Restored);
    oneBlock.restoredSpans = 1;
    RecoveryResult blocks = resultOf(Outcome::Restored);
    blocks.restoredSpans = 7;
    RecoveryResult grown = blocks;
    grown.sizeDiffered = true;
    RecoveryResult moved = resultOf(Outcome::Restored);
    moved.indexDiffered = true;
    RecoveryResult aside = resultOf(Outcome::SetAside);
    aside.setAsidePath = TOVK_Utils::String("store/Inbox.dbx.klovin-undo.damaged2");
    RecoveryResult asideAfterSome = aside;
    asideAfterSome.restoredSpans = 3;
    const Case cases[] = {
        {"no journal", resultOf(Outcome::NothingToRecover),
         "Nothing in Inbox.dbx needed restoring."},
        {"an unfinished entry dropped", unfinished,
         "An interrupted run left an unfinished journal beside Inbox.dbx before it had changed "
         "anything in it; the journal was removed."},
        {"nothing written yet", resultOf(Outcome::Restored),
         "An interrupted run had not yet changed Inbox.dbx; its journal was removed."},
        {"one block", oneBlock,
         "Restored 1 block of Inbox.dbx left half-written by an interrupted run."},
        {"several blocks", blocks,
         "Restored 7 blocks of Inbox.dbx left half-written by an interrupted run."},
        {"shorter than its pieces",
         resultOf(Outcome::KeptMailboxChanged, Failure::None, Change::Size),
         "Inbox.dbx was left as it is: it is shorter than the blocks an interrupted run wrote "
         "its journal for, so it may have been compacted or repaired in the meantime. The "
         "journal Inbox.dbx.klovin-undo is kept."},
        {"other bytes", resultOf(Outcome::KeptMailboxChanged, Failure::None, Change::Bytes),
         "Inbox.dbx was left as it is: some of its bytes are neither those an interrupted run "
         "found nor those it wrote, so it may have been compacted or repaired in the meantime. "
         "The journal Inbox.dbx.klovin-undo is kept."},
        {"grown since", grown,
         "Restored 7 blocks of Inbox.dbx left half-written by an interrupted run. It was added "
         "to, copied or moved since; the blocks that run wrote were checked one by one."},
        {"moved since, nothing written", moved,
         "An interrupted run had not yet changed Inbox.dbx; its journal was removed. It was "
         "added to, copied or moved since; the blocks that run wrote were checked one by one."},
        {"a damaged journal set aside", aside,
         "Inbox.dbx may hold messages that an interrupted run left half-written: its journal is "
         "damaged, so they could not be put back. The journal was renamed to "
         "Inbox.dbx.klovin-undo.damaged2. Inbox.dbx is not cut in this extraction; extracting "
         "it with rescue reads what is left of its messages."},
        {"set aside behind whole entries", asideAfterSome,
         "Restored 3 blocks of Inbox.dbx left half-written by an interrupted run. Inbox.dbx may "
         "hold messages that an interrupted run left half-written: its journal is damaged, so "
         "they could not be put back. The journal was renamed to "
         "Inbox.dbx.klovin-undo.damaged2. Inbox.dbx is not cut in this extraction; extracting "
         "it with rescue reads what is left of its messages."},
        {"damaged, not set aside", resultOf(Outcome::Error, Failure::JournalNotSetAside),
         "Inbox.dbx may hold messages that an interrupted run left half-written: its journal is "
         "damaged, and it could not be renamed aside. The journal Inbox.dbx.klovin-undo is "
         "kept."},
        {"in use", resultOf(Outcome::InUse),
         "Inbox.dbx is in use by another program, so what an interrupted run left in it could "
         "not be checked. Close the other program and try again."},
        {"not opened", resultOf(Outcome::Error, Failure::MailboxNotOpened),
         "Inbox.dbx could not be opened to restore what an interrupted run left half-written. "
         "The journal Inbox.dbx.klovin-undo is kept."},
        {"journal unreadable", resultOf(Outcome::Error, Failure::JournalUnreadable),
         "Inbox.dbx was left as it is: its journal could not be read. The journal "
         "Inbox.dbx.klovin-undo is kept."},
        {"journal foreign", resultOf(Outcome::Error, Failure::JournalForeign),
         "Inbox.dbx was left as it is: its journal is not one this program can read. The "
         "journal Inbox.dbx.klovin-undo is kept."},
        {"mailbox unreadable", resultOf(Outcome::Error, Failure::MailboxUnreadable),
         "Inbox.dbx could not be read to check what an interrupted run left in it. The journal "
         "Inbox.dbx.klovin-undo is kept."},
        {"mailbox unwritable", resultOf(Outcome::Error, Failure::MailboxUnwritable),
         "Inbox.dbx could not be written while restoring what an interrupted run left "
         "half-written; restoring can be tried again. The journal Inbox.dbx.klovin-undo is "
         "kept."},
        {"unchanged, journal stays", resultOf(Outcome::Error, Failure::JournalNotRemoved),
         "Inbox.dbx was not changed by the interrupted run, but its journal could not be "
         "removed. The journal Inbox.dbx.klovin-undo is kept."},
        {"restored, journal stays", resultOf(Outcome::Error, Failure::RestoredJournalNotRemoved),
         "Inbox.dbx is restored, but its journal Inbox.dbx.klovin-undo could not be removed."},
    };
    const TOVK_Utils::String path("store/Inbox.dbx");
    for (const Case& c : cases)
        EXPECT_EQ(std::string(recoveryReport(c.result, path).c_str()), c.said) << c.what;
}
