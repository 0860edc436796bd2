// Whole jobs over mailboxes whose index is damaged, or whose file holds chains the index
// does not name: what is recovered, what is asked, and that nothing is ever written.
#include "JobFixture.h"

namespace {

class RescueJob : public JobTest {
protected:
    // A mailbox of messages with one attachment each, a.txt, b.txt, ...; its root then
    // points past the end of the file.
    DbxTest::DbxWriter& addDamagedMailbox(const std::string& name, int messages) {
        std::vector<std::string> texts;
        for (int i = 0; i < messages; ++i)
            texts.push_back(
                makeMessage(name + std::to_string(i),
                            {{name + char('a' + i) + ".txt", binary(700, unsigned(i + 1))}}));
        auto& writer = addMailbox(name, texts);
        writer.setWord(TOVK_Internet::DbxMailbox::rootOffsetPosition,
                       uint32_t(writer.fileSize()) + 1000);
        EXPECT_TRUE(writer.save((root / "store" / (name + ".dbx")).string()));
        return writer;
    }
    int statusTextsStartingWith(const std::string& start) {
        int n = 0;
        for (const auto& t : view.texts("post"))
            n += t.rfind(start, 0) == 0;
        return n;
    }
    std::string storePath(const std::string& name) {
        return (root / "store" / (name + ".dbx")).string();
    }
};

} // namespace

TEST_F(RescueJob, DesktopAsksOnceAndRecoversWithoutWriting) {
    addMailbox("Inbox", {makeMessage("m", {{"first.txt", "x"}})});
    addDamagedMailbox("Broken", 4);
    const std::string before = readFile(storePath("Broken"));
    runJob();
    ASSERT_EQ(view.asked.size(), 1u); // in the counting pass, not again in the extraction
    EXPECT_EQ(view.asked[0].caption1, "Recover attachments");
    EXPECT_EQ(view.asked[0].caption2, "Halt extraction");
    EXPECT_NE(view.asked[0].message.find(storePath("Broken")), std::string::npos);
    const auto files = folderFiles(root / "out");
    EXPECT_EQ(files.size(), 5u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(files.at(std::string("Broken") + char('a' + i) + ".txt"),
                  binary(700, unsigned(i + 1)));
    EXPECT_FALSE(job.counts().halted);
    EXPECT_EQ(view.finishedCounts.recovered, 4);
    EXPECT_EQ(view.finishedCounts.brokenOff, 0);
    EXPECT_EQ(view.finishedCounts.emails, 5);
    EXPECT_EQ(statusTextsStartingWith("Recovering the messages of Broken.dbx"), 1); // carved once
    EXPECT_EQ(statusTextsStartingWith("Recovering message 4 of 4 of Broken.dbx"), 1);
    EXPECT_EQ(readFile(storePath("Broken")), before);
}

TEST_F(RescueJob, HaltingExtractsNothing) {
    addMailbox("Inbox", {makeMessage("m", {{"first.txt", "x"}})});
    addDamagedMailbox("Broken", 2);
    view.answers.push_back({2, false});
    runJob();
    EXPECT_TRUE(job.counts().halted);
    EXPECT_TRUE(folderFiles(root / "out").empty());
    EXPECT_EQ(view.count("range"), 0);
}

// Cutting never rescues: the damaged mailbox is named and left byte for byte, and the
// job goes on with the others, which are cut as usual.
TEST_F(RescueJob, WhileCuttingADamagedMailboxIsLeftAsItIs) {
    addDamagedMailbox("Broken", 3);
    addMailbox("Inbox", {makeMessage("m", {{"first.txt", "x"}})});
    view.cut = true;
    const std::string before = readFile(storePath("Broken"));
    runJob();
    ASSERT_EQ(view.asked.size(), 2u); // the damaged mailbox once, then the closing information
    EXPECT_EQ(view.asked[0].caption1, "Ok");
    EXPECT_NE(view.asked[0].message.find("It is left as it is"), std::string::npos);
    EXPECT_EQ(view.asked[1].title, "Information");
    EXPECT_FALSE(job.counts().halted);
    EXPECT_EQ(readFile(storePath("Broken")), before);
    EXPECT_EQ(folderFiles(root / "out").size(), 1u);
    EXPECT_EQ(view.finishedCounts.damagedLeft, 1);
    EXPECT_EQ(view.finishedCounts.recovered, 0);
    const auto inbox = mailboxTexts(root / "store" / "Inbox.dbx");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(inbox[0].find("first.txt"), std::string::npos); // cut
}

// klovin-extract's default: recovered at once, with a note that counts what was found.
TEST_F(RescueJob, WhenDamagedRecoversWithANote) {
    addDamagedMailbox("Broken", 3);
    view.rescueChoice = Rescue::WhenDamaged;
    runJob();
    EXPECT_TRUE(view.asked.empty());
    EXPECT_EQ(folderFiles(root / "out").size(), 3u);
    const auto problems = view.texts("problem");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("recovered from its data blocks: 3 found"), std::string::npos);
}

// A readable index and the blocks of deleted messages: the index's messages as usual,
// and, only when every mailbox is carved, the deleted ones' attachments counted apart.
TEST_F(RescueJob, ChainsNotInTheIndexAreSavedOnlyOnRequest) {
    std::vector<std::string> texts;
    for (int i = 0; i < 3; ++i)
        texts.push_back(makeMessage("m" + std::to_string(i), {{"f" + std::to_string(i) + ".txt",
                                                               binary(300, unsigned(i))}}));
    writers.push_back(std::make_unique<DbxTest::DbxWriter>());
    auto& writer = *writers.back();
    for (const auto& t : texts)
        writer.addMessage(t);
    auto index = std::make_unique<DbxTest::IndexNode>();
    for (int m : {2, 0}) { // message 1 was deleted
        DbxTest::IndexNode::Entry entry;
        entry.message = m;
        index->entries.push_back(std::move(entry));
    }
    writer.setIndex(std::move(index));
    ASSERT_TRUE(writer.writeFile(storePath("Inbox")));
    view.list.rows.push_back({"Inbox", true});

    view.rescueChoice = Rescue::WhenDamaged;
    runJob();
    EXPECT_EQ(folderFiles(root / "out").size(), 2u);
    EXPECT_EQ(view.finishedCounts.notInIndex, 0);

    fs::remove_all(root / "out");
    fs::create_directories(root / "out");
    view.rescueChoice = Rescue::Always;
    runJob();
    const auto files = folderFiles(root / "out");
    EXPECT_EQ(files.size(), 3u);
    EXPECT_EQ(files.at("f1.txt"), binary(300, 1));
    EXPECT_EQ(view.finishedCounts.notInIndex, 1);
    EXPECT_EQ(view.finishedCounts.recovered, 0);
    EXPECT_EQ(view.finishedCounts.emails, 3);
}

// A chain broken off in its middle gives the attachments it still holds whole; its
// message counts as broken off, and the chain's tail as a message of its own.
TEST_F(RescueJob, BrokenChainGivesWhatItHolds) {
    DbxTest::DbxOptions options;
    options.blockCapacity = 512;
    const std::string text =
        makeMessage("m", {{"early.txt", "small"}, {"late.bin", binary(5000, 9)}});
    auto& writer = addMailbox("Broken", {text}, options);
    const auto chain = writer.chains()[0];
    ASSERT_GE(chain.size(), 6u);
    writer.setWord(chain[4], 0); // the fifth block is no block any more
    writer.setWord(TOVK_Internet::DbxMailbox::rootOffsetPosition, uint32_t(writer.fileSize()));
    ASSERT_TRUE(writer.save(storePath("Broken")));
    runJob();
    const auto files = folderFiles(root / "out");
    EXPECT_EQ(files.at("early.txt"), "small");
    EXPECT_EQ(view.finishedCounts.brokenOff, 1);
    EXPECT_EQ(view.finishedCounts.recovered, 2); // the head and the tail
}

// An index root of 0 says "no messages": over a file that holds message blocks it is a lost
// index, rescued with a note, and a cutting job leaves the file as it is; a mailbox that
// holds no blocks is empty, and nothing is said.
TEST_F(RescueJob, ARootOfZeroOverMessageBlocksIsALostIndex) {
    const struct {
        const char* what;
        int messages;
        bool cut;
        size_t saved;
        const char* said;
    } cases[] = {
        {"read", 20, false, 20, "names no message, but the file holds messages"},
        {"cut", 20, true, 0, "is left as it is"},
        {"empty", 0, false, 0, nullptr},
    };
    for (const auto& c : cases) {
        fs::remove_all(root / "store");
        fs::create_directories(root / "store");
        fs::remove_all(root / "out");
        fs::create_directories(root / "out");
        view.list.rows.clear();
        view.events.clear();
        writers.clear();
        auto& writer = addDamagedMailbox("Lost", c.messages);
        writer.setWord(TOVK_Internet::DbxMailbox::rootOffsetPosition, 0);
        ASSERT_TRUE(writer.save(storePath("Lost")));
        const std::string before = readFile(storePath("Lost"));
        view.rescueChoice = Rescue::WhenDamaged;
        view.cut = c.cut;
        runJob();
        EXPECT_EQ(folderFiles(root / "out").size(), c.saved) << c.what;
        EXPECT_EQ(readFile(storePath("Lost")), before) << c.what;
        const auto problems = view.texts("problem");
        if (!c.said) {
            EXPECT_TRUE(problems.empty()) << c.what << ::testing::PrintToString(problems);
            continue;
        }
        ASSERT_EQ(problems.size(), 1u) << c.what << ::testing::PrintToString(problems);
        EXPECT_NE(problems[0].find(c.said), std::string::npos) << c.what << ": " << problems[0];
    }
}
