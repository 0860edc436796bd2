// A cutting job killed at any one of its writes: once the mailbox is opened again, every
// message is its original text or its complete cut text, and every cut message's
// attachment is on the disk in full. Also when the journal was damaged after the kill (a
// byte flipped, its tail cut): then, unless the bytes prove nothing was written, the
// mailbox is named as one that may hold half-written messages and its journal kept aside.
#include "../JobFixture.h"

#include "engine/RecoveryReport.h"
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

// What befalls the journal after the kill: nothing, or the damage a disk may do to it.
enum class Damage { None, ByteFlipped, TailCut };

const char* what(Damage damage) {
    switch (damage) {
    case Damage::None:
        return "intact";
    case Damage::ByteFlipped:
        return "with a byte flipped";
    case Damage::TailCut:
        return "with its tail cut";
    }
    return "";
}

std::string damage_(std::string journal, Damage damage) {
    if (journal.empty())
        return journal;
    if (damage == Damage::ByteFlipped)
        journal[journal.size() * 2 / 3] ^= 0x04;
    if (damage == Damage::TailCut)
        journal.resize(journal.size() - std::min<size_t>(journal.size() - 1, 100));
    return journal;
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

    int setAside = 0; // kills after which a damaged journal could not be shown unused
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
        std::vector<std::string> killedMailbox, killedJournal;
        for (size_t b = 0; b < names.size(); ++b) {
            killedMailbox.push_back(readFile(mailboxes[b]));
            const fs::path journal =
                TOVK_Internet::DbxJournal::journalPath(mailboxTextsOf[b]).c_str();
            killedJournal.push_back(fs::exists(journal) ? readFile(journal) : std::string());
        }
        for (const Damage damage : {Damage::None, Damage::ByteFlipped, Damage::TailCut}) {
            for (size_t b = 0; b < names.size(); ++b) {
                const std::string where = names[b] + " after a kill at write " + std::to_string(n) +
                                          ", journal " + what(damage);
                const fs::path journal =
                    TOVK_Internet::DbxJournal::journalPath(mailboxTextsOf[b]).c_str();
                const fs::path aside = journal.string() + ".damaged";
                fs::remove(aside);
                writeFile(mailboxes[b], killedMailbox[b]);
                fs::remove(journal);
                const std::string damaged = damage_(killedJournal[b], damage);
                if (!killedJournal[b].empty())
                    writeFile(journal, damaged);
                // Opened again: whatever the journal holds is put back first.
                const auto recovered = TOVK_Internet::DbxJournal::recover(mailboxTextsOf[b]);
                using Outcome = TOVK_Internet::RecoveryResult::Outcome;
                EXPECT_NE(recovered.outcome, Outcome::KeptMailboxChanged) << where;
                EXPECT_NE(recovered.outcome, Outcome::Error) << where;
                EXPECT_FALSE(fs::exists(journal)) << where;
                if (recovered.outcome == Outcome::SetAside) {
                    // Named as possibly half-written, its journal kept aside whole.
                    EXPECT_NE(damage, Damage::None) << where;
                    EXPECT_EQ(readFile(aside), damaged) << where;
                    EXPECT_NE(std::string(recoveryReport(recovered, mailboxTextsOf[b]).c_str())
                                  .find(names[b] + ".dbx may hold messages"),
                              std::string::npos)
                        << where;
                    ++setAside;
                    continue;
                }
                const auto texts = mailboxTexts(mailboxes[b]);
                ASSERT_EQ(texts.size(), originals[b].size()) << where;
                for (size_t i = 0; i < texts.size(); ++i) {
                    if (texts[i] == originals[b][i])
                        continue;
                    EXPECT_EQ(texts[i], cutTexts[b][i]) << "message " << i << ", " << where;
                    const std::string id = std::to_string(b * 3 + i);
                    const std::string name = "f" + id + ".bin";
                    EXPECT_TRUE(saved.count(name) && saved.at(name) == content(int(b * 3 + i)))
                        << name << ", " << where;
                }
            }
        }
    }
    EXPECT_GT(setAside, 0) << "no kill left blocks written under a journal that was damaged";
}
