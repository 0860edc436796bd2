// A cutting job killed at any one of its writes: once the mailbox is opened again, every
// message is its original text or its complete cut text, and every cut message's
// attachment is on the disk in full.
#include "../JobFixture.h"

#include "formats/DbxJournal.h"
#include "utils/File.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int writesLeft = 0; // in the child: the write to die at
int writesSeen = 0; // in the parent: how many writes a whole job makes

void dieAtTheChosenWrite() {
    if (--writesLeft == 0)
        raise(SIGKILL);
}

void countWrite() {
    ++writesSeen;
}

std::string content(int i) {
    std::string s = "attachment " + std::to_string(i) + ": ";
    while (s.size() < 2500)
        s += char('a' + s.size() % 26);
    return s;
}

} // namespace

TEST_F(JobTest, AKillAtAnyWriteLeavesEveryMessageWhole) {
    std::vector<std::string> originals;
    for (int i = 0; i < 3; ++i)
        originals.push_back(
            makeMessage("m" + std::to_string(i), {{"f" + std::to_string(i) + ".bin", content(i)}}));
    DbxTest::DbxOptions options;
    options.shuffleBlocks = true;
    addMailbox("Inbox", originals, options);
    const fs::path mailbox = root / "store" / "Inbox.dbx";
    const std::string pristine = readFile(mailbox);
    const TOVK_Utils::String mailboxText(TOVK_Utils::Block(mailbox.string().c_str()));
    view.cut = true;

    // The whole job once, to know the cut texts and how many writes it makes.
    TOVK_Utils::File::setWriteProbe(countWrite);
    runJob();
    TOVK_Utils::File::setWriteProbe(nullptr);
    const auto cutTexts = mailboxTexts(mailbox);
    ASSERT_EQ(cutTexts.size(), originals.size());
    ASSERT_GT(writesSeen, 6);

    for (int n = 1; n <= writesSeen; ++n) {
        writeFile(mailbox, pristine);
        fs::remove(TOVK_Internet::DbxJournal::journalPath(mailboxText).c_str());
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ScriptedView quiet;
            quiet.store = view.store;
            quiet.extract = view.extract;
            quiet.cut = true;
            quiet.list.rows.push_back({"Inbox", true});
            ExtractThread doomed(&quiet);
            quiet.queue = &doomed.commandQueue;
            writesLeft = n;
            TOVK_Utils::File::setWriteProbe(dieAtTheChosenWrite);
            doomed.start(0, 0);
            doomed.join(60000);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "write " << n;

        // Opened again: whatever the journal holds is put back first.
        const auto recovered = TOVK_Internet::DbxJournal::recover(mailboxText);
        EXPECT_NE(recovered.outcome, TOVK_Internet::RecoveryResult::Outcome::KeptMailboxChanged);
        EXPECT_NE(recovered.outcome, TOVK_Internet::RecoveryResult::Outcome::Error);
        const auto texts = mailboxTexts(mailbox);
        ASSERT_EQ(texts.size(), originals.size());
        const auto saved = folderFiles(root / "out");
        for (size_t i = 0; i < texts.size(); ++i) {
            if (texts[i] == originals[i])
                continue;
            EXPECT_EQ(texts[i], cutTexts[i]) << "message " << i << " after a kill at write " << n;
            const std::string name = "f" + std::to_string(i) + ".bin";
            EXPECT_TRUE(saved.count(name) && saved.at(name) == content(int(i)))
                << name << " after a kill at write " << n;
        }
    }
}
