// What a job does with what an interrupted run left, and with the flushes a backup needs,
// where only POSIX lets a test fail a flush or take away the right to write.
#include "../JobFixture.h"

#include "formats/DbxJournal.h"
#include "tests/utils/posix/LockHolder.h"
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

namespace {

fs::path changedByAnother;
bool changedOnce = false;

// Another program writes the message while its cut copy is being written beside it.
void changeTheMessageOnce() {
    if (changedOnce)
        return;
    for (const auto& entry : fs::directory_iterator(changedByAnother.parent_path()))
        if (entry.path().filename().string().find(".klovin-new") != std::string::npos) {
            changedOnce = true;
            std::ofstream(changedByAnother, std::ios::binary | std::ios::app) << "\r\nP.S.";
            return;
        }
}

} // namespace

// A message changed after it was read and before its cut copy took its place keeps the
// change: it is left as it now is, said so, and the attachments saved from it stay.
TEST_F(JobTest, AMessageChangedWhileItIsCutKeepsTheChange) {
    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    const std::string content = binary(3000, 8);
    const std::string message = makeMessage("m", {{"a.bin", content}});
    writeFile(folder / "busy.eml", message);
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({folder.string(), true});
    changedByAnother = folder / "busy.eml";
    changedOnce = false;
    TOVK_Utils::File::setWriteProbe(changeTheMessageOnce);
    runJob();
    TOVK_Utils::File::setWriteProbe(nullptr);

    ASSERT_TRUE(changedOnce);
    EXPECT_EQ(readFile(folder / "busy.eml"), message + "\r\nP.S.");
    EXPECT_EQ(folderFiles(root / "out").at("a.bin"), content);
    EXPECT_EQ(folderFiles(folder).size(), 1u) << "no cut copy left beside it";
    const auto problems = view.texts("problem");
    ASSERT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
    EXPECT_NE(problems[0].find("busy.eml was not written back: it was changed while it was "
                               "being cut"),
              std::string::npos)
        << problems[0];
}

// The backup is copied under the mailbox's lock: while another process holds it (a second
// run cutting the mailbox), no copy is made, nothing is cut, and the job ends there; once
// the lock is let go the same job backs up and cuts.
TEST_F(JobTest, ABackupWaitsForNoOtherWriter) {
    const std::string message = makeMessage("m", {{"a.bin", binary(2000, 3)}});
    addMailbox("Inbox", {message});
    const fs::path mailbox = root / "store" / "Inbox.dbx";
    const std::string original = readFile(mailbox);
    view.backups = true;
    view.cut = true;
    {
        TOVK_Tests::LockHolder other(mailbox.string());
        ASSERT_TRUE(other.locked());
        runJob();
    }
    EXPECT_FALSE(fs::exists(root / "backup" / "Inbox.dbx"));
    EXPECT_EQ(readFile(mailbox), original);
    ASSERT_FALSE(view.asked.empty());
    EXPECT_NE(view.asked[0].message.find("Backup of mailbox Inbox.dbx"), std::string::npos);

    view.asked.clear();
    runJob();
    EXPECT_EQ(readFile(root / "backup" / "Inbox.dbx"), original);
    EXPECT_LT(mailboxTexts(mailbox)[0].size(), message.size());
}

namespace {

fs::path waitingMailbox, secondAttachment;
uint32_t changedAt = 0;
bool mailboxChanged = false;

// Another program writes a message of the mailbox while its cut waits to be settled: when
// the next message's attachment is being written.
void changeTheWaitingMessage() {
    if (mailboxChanged || !fs::exists(secondAttachment))
        return;
    mailboxChanged = true;
    std::fstream file(waitingMailbox, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(changedAt);
    file.put('#');
}

} // namespace

// A waiting message that another program changed before its batch was settled keeps the
// change and is said to; the message beside it is cut all the same.
TEST_F(JobTest, AWaitingMessageChangedBeforeItsSettleKeepsTheChange) {
    const std::string first = makeMessage("m1", {{"a.bin", binary(2000, 1)}});
    const std::string second = makeMessage("m2", {{"b.bin", binary(2000, 2)}});
    auto& writer = addMailbox("Inbox", {first, second});
    waitingMailbox = root / "store" / "Inbox.dbx";
    secondAttachment = root / "out" / "b.bin";
    changedAt = writer.firstBlocks()[0] + 16 + 30; // in the first message's header block
    mailboxChanged = false;
    view.cut = true;
    TOVK_Utils::File::setWriteProbe(changeTheWaitingMessage);
    runJob();
    TOVK_Utils::File::setWriteProbe(nullptr);

    ASSERT_TRUE(mailboxChanged);
    const auto texts = mailboxTexts(waitingMailbox);
    ASSERT_EQ(texts.size(), 2u);
    std::string changed = first;
    changed[30] = '#';
    EXPECT_EQ(texts[0], changed);
    EXPECT_LT(texts[1].size(), second.size());
    EXPECT_EQ(folderFiles(root / "out").size(), 2u);
    const auto problems = view.texts("problem");
    ASSERT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
    EXPECT_NE(problems[0].find("1 cut messages of"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("changed while they were being cut"), std::string::npos);
}
