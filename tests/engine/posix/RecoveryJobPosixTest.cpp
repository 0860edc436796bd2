// What a job does with what an interrupted run left, and with the flushes a backup needs,
// where only POSIX lets a test fail a flush or take away the right to write.
#include "../JobFixture.h"

#include "formats/DbxJournal.h"
#include "utils/File.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool failEveryFlush() {
    return false;
}

} // namespace

// A backup that replaces an older one takes its name only once it is on the disk: when its
// flush fails, the older backup is still there, whole, and nothing is cut.
TEST_F(JobTest, AReplacingBackupIsFlushedBeforeItTakesTheOldOnesName) {
    const std::string message = makeMessage("m", {{"a.bin", binary(2000, 3)}});
    addMailbox("Inbox", {message});
    fs::create_directories(root / "backup");
    writeFile(root / "backup" / "Inbox.dbx", "the older backup");
    const std::string mailbox = readFile(root / "store" / "Inbox.dbx");
    view.backups = true;
    view.cut = true;
    TOVK_Utils::File::setFlushProbe(failEveryFlush);
    runJob();
    TOVK_Utils::File::setFlushProbe(nullptr);

    EXPECT_TRUE(view.finishedCounts.halted || view.count("finished") == 0);
    EXPECT_EQ(folderFiles(root / "backup"),
              (std::map<std::string, std::string>{{"Inbox.dbx", "the older backup"}}));
    EXPECT_EQ(readFile(root / "store" / "Inbox.dbx"), mailbox);
}

// An empty journal, left by a run killed between making it and its first write, goes at
// the next open, also in a job that only reads, and also when the mailbox is read-only.
TEST_F(JobTest, AnEmptyJournalGoesAtTheNextOpen) {
    const std::string message = makeMessage("m", {{"a.bin", binary(2000, 3)}});
    const struct {
        const char* what;
        bool cut;
        mode_t mode;
        bool journalGoes;
    } cases[] = {
        // Nothing can have been written through it; it waits for a run that may write
        // (the super-user may write it all the same).
        {"a read-only mailbox, only read", false, 0444, geteuid() == 0},
        {"a job that only reads", false, 0644, true},
        {"a cutting job", true, 0644, true}, // last: it cuts the attachment out
    };
    addMailbox("Inbox", {message});
    const fs::path mailbox = root / "store" / "Inbox.dbx";
    const fs::path journal = root / "store" / "Inbox.dbx.klovin-undo";
    for (const auto& c : cases) {
        ASSERT_EQ(chmod(mailbox.c_str(), c.mode), 0);
        writeFile(journal, "");
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        view.cut = c.cut;
        view.events.clear();
        view.asked.clear();
        runJob();
        EXPECT_EQ(fs::exists(journal), !c.journalGoes) << c.what;
        EXPECT_EQ(folderFiles(root / "out").count("a.bin"), 1u) << c.what;
        EXPECT_TRUE(view.texts("problem").empty())
            << c.what << ": " << ::testing::PrintToString(view.texts("problem"));
    }
    chmod(mailbox.c_str(), 0644);
}
