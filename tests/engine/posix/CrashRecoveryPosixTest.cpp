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

// Two mailboxes, whose cuts are settled together: the kill also falls between the two
// journals, between their flush and the first block, and between the two mailboxes' blocks.
TEST_F(JobTest, AKillAtAnyWriteLeavesEveryMessageWhole) {
    const std::vector<std::string> names = {"Inbox", "Sent"};
    std::vector<std::vector<std::string>> originals(names.size());
    std::vector<fs::path> mailboxes;
    std::vector<std::string> pristine;
    std::vector<TOVK_Utils::String> mailboxTextsOf;
    for (size_t b = 0; b < names.size(); ++b) {
        for (int i = 0; i < 3; ++i) {
            const std::string id = std::to_string(b * 3 + size_t(i));
            originals[b].push_back(
                makeMessage("m" + id, {{"f" + id + ".bin", content(int(b * 3) + i)}}));
        }
        DbxTest::DbxOptions options;
        options.shuffleBlocks = b == 0;
        addMailbox(names[b], originals[b], options);
        mailboxes.push_back(root / "store" / (names[b] + ".dbx"));
        pristine.push_back(readFile(mailboxes.back()));
        mailboxTextsOf.emplace_back(TOVK_Utils::Block(mailboxes.back().string().c_str()));
    }
    view.cut = true;

    // The whole job once, to know the cut texts and how many writes it makes.
    TOVK_Utils::File::setWriteProbe(countWrite);
    runJob();
    TOVK_Utils::File::setWriteProbe(nullptr);
    std::vector<std::vector<std::string>> cutTexts;
    for (size_t b = 0; b < names.size(); ++b) {
        cutTexts.push_back(mailboxTexts(mailboxes[b]));
        ASSERT_EQ(cutTexts[b].size(), originals[b].size());
        for (size_t i = 0; i < originals[b].size(); ++i)
            ASSERT_NE(cutTexts[b][i], originals[b][i]) << names[b] << " message " << i;
    }
    ASSERT_GT(writesSeen, 12);

    for (int n = 1; n <= writesSeen; ++n) {
        for (size_t b = 0; b < names.size(); ++b) {
            writeFile(mailboxes[b], pristine[b]);
            fs::remove(TOVK_Internet::DbxJournal::journalPath(mailboxTextsOf[b]).c_str());
        }
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ScriptedView quiet;
            quiet.store = view.store;
            quiet.extract = view.extract;
            quiet.cut = true;
            for (const std::string& name : names)
                quiet.list.rows.push_back({name, true});
            ExtractThread doomed(&quiet);
            writesLeft = n;
            TOVK_Utils::File::setWriteProbe(dieAtTheChosenWrite);
            doomed.start(0, 0);
            doomed.join(60000);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "write " << n;

        const auto saved = folderFiles(root / "out");
        for (size_t b = 0; b < names.size(); ++b) {
            // Opened again: whatever the journal holds is put back first.
            const auto recovered = TOVK_Internet::DbxJournal::recover(mailboxTextsOf[b]);
            EXPECT_NE(recovered.outcome,
                      TOVK_Internet::RecoveryResult::Outcome::KeptMailboxChanged);
            EXPECT_NE(recovered.outcome, TOVK_Internet::RecoveryResult::Outcome::Error);
            const auto texts = mailboxTexts(mailboxes[b]);
            ASSERT_EQ(texts.size(), originals[b].size());
            for (size_t i = 0; i < texts.size(); ++i) {
                if (texts[i] == originals[b][i])
                    continue;
                EXPECT_EQ(texts[i], cutTexts[b][i])
                    << names[b] << " message " << i << " after a kill at write " << n;
                const std::string id = std::to_string(b * 3 + i);
                const std::string name = "f" + id + ".bin";
                EXPECT_TRUE(saved.count(name) && saved.at(name) == content(int(b * 3 + i)))
                    << name << " after a kill at write " << n;
            }
        }
    }
}
