// Another process holding the mailbox: POSIX locks bind per process or per open file, so
// only a second process shows what a second run of the program would meet.
#include "formats/DbxJournal.h"

#include "tests/utils/TempFolder.h"
#include "tests/utils/posix/LockHolder.h"

#include <gtest/gtest.h>

using namespace TOVK_Internet;
using namespace TOVK_Tests;

TEST(JournalPosixTest, AMailboxLockedByAnotherProcessIsLeftAlone) {
    TempFolder temp;
    std::string original(2000, 'o');
    std::string changed(300, 'n');
    writeBytes(temp / "Inbox.dbx", original);
    TOVK_Utils::String path = textOf(temp.text("Inbox.dbx"));
    {
        DbxJournal journal;
        ASSERT_TRUE(journal.open(path, original.size(), TOVK_Utils::fileIdentity(path)));
        ASSERT_TRUE(journal.record({{700, reinterpret_cast<const uint8_t*>(original.data()),
                                     reinterpret_cast<const uint8_t*>(changed.data()), 300}}));
    }
    std::string half = original;
    half.replace(700, 300, changed);
    writeBytes(temp / "Inbox.dbx", half);
    std::string journalBytes = readBytes(temp / "Inbox.dbx.klovin-undo");

    LockHolder other(temp.text("Inbox.dbx"));
    ASSERT_TRUE(other.locked());
    RecoveryResult result = DbxJournal::recover(path);
    EXPECT_EQ(result.outcome, RecoveryResult::Outcome::InUse);
    EXPECT_EQ(readBytes(temp / "Inbox.dbx"), half);
    EXPECT_EQ(readBytes(temp / "Inbox.dbx.klovin-undo"), journalBytes);

    other.let();
    EXPECT_EQ(DbxJournal::recover(path).outcome, RecoveryResult::Outcome::Restored);
    EXPECT_EQ(readBytes(temp / "Inbox.dbx"), original);
}

namespace {

bool failEveryFlush() {
    return false;
}

} // namespace

// The old bytes put back must be on the disk before the journal goes: when their flush
// fails, the journal stays for the next open, which puts them back again.
TEST(JournalPosixTest, TheJournalStaysUntilTheBytesPutBackAreFlushed) {
    TempFolder temp;
    std::string original(3000, 'o');
    std::string changed(700, 'n');
    writeBytes(temp / "Inbox.dbx", original);
    TOVK_Utils::String path = textOf(temp.text("Inbox.dbx"));
    {
        DbxJournal journal;
        ASSERT_TRUE(journal.open(path, original.size(), TOVK_Utils::fileIdentity(path)));
        ASSERT_TRUE(journal.record({{900, reinterpret_cast<const uint8_t*>(original.data()),
                                     reinterpret_cast<const uint8_t*>(changed.data()), 700}}));
    }
    std::string half = original;
    half.replace(900, 700, changed);
    writeBytes(temp / "Inbox.dbx", half);
    const std::string journalBytes = readBytes(temp / "Inbox.dbx.klovin-undo");

    TOVK_Utils::File::setFlushProbe(failEveryFlush);
    const RecoveryResult failed = DbxJournal::recover(path);
    TOVK_Utils::File::setFlushProbe(nullptr);
    EXPECT_EQ(failed.outcome, RecoveryResult::Outcome::Error);
    EXPECT_EQ(failed.failure, RecoveryResult::Failure::MailboxUnwritable);
    EXPECT_EQ(readBytes(temp / "Inbox.dbx.klovin-undo"), journalBytes);

    EXPECT_EQ(DbxJournal::recover(path).outcome, RecoveryResult::Outcome::Restored);
    EXPECT_EQ(readBytes(temp / "Inbox.dbx"), original);
    EXPECT_FALSE(fs::exists(temp / "Inbox.dbx.klovin-undo"));
}
