// Cutting as a careful user would try it: parts that were not understood completely stay
// in their message, what is cut is exactly the part's bytes, and backups and the
// destination folder never put the only copy of anything at risk.
#include "JobFixture.h"

#include "formats/DbxJournal.h"

#include <ctime>
#include <random>

namespace {

const std::string good = binary(3000, 21);
const std::string goodPart = "--b\r\nContent-Type: application/octet-stream; name=\"good.bin\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\n" +
                             base64(good) + "\r\n";

// A message with a text, a good attachment and the given last part.
std::string messageWith(const std::string& lastPart) {
    return "From: a@example.org\r\nSubject: parts\r\n"
           "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
           "--b\r\nContent-Type: text/plain\r\n\r\nHello\r\n" +
           goodPart + "--b\r\n" + lastPart + "\r\n--b--\r\n";
}

std::string without(std::string text, const std::string& what) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos)
        text.erase(at, what.size());
    return text;
}

const std::string bad = binary(100, 22); // 136 base64 characters: a long and a short line

struct NotUnderstood {
    const char* what;
    std::string part;
    std::string saved; // what bad.bin must hold
};

std::vector<NotUnderstood> notUnderstoodParts() {
    // Each part is named after its place in this list: bad0.bin, bad1.bin, ...
    const std::string head = "Content-Type: application/octet-stream; name=\"bad#.bin\"\r\n"
                             "Content-Transfer-Encoding: ";
    const std::string uu = "begin 644 bad.bin\r\n#86)C\r\n`\r\nend";
    std::string spaced = base64(bad);
    spaced.replace(spaced.find("\r\n"), 2, "\r\n\r\n");
    return {
        {"a blank line holding a space", head + "base64\r\n \r\n" + base64(bad), bad},
        {"no blank line after the headers", head + "base64\r\n" + base64(bad), bad},
        {"a list footer after the base64", head + "base64\r\n\r\n" + base64(bad) + "\r\nThanks",
         bad},
        {"base64 that is not base64", head + "base64\r\n\r\nJust text, sent as base64.",
         std::string()},
        {"an encoding nobody decodes", head + "x-gzip64\r\n\r\n" + uu, uu},
        {"uuencode without its end line", head + "x-uuencode\r\n\r\nbegin 644 bad.bin\r\n#86)C",
         "abc"},
        // Decoded whole, but not what base64 allows: the part is saved and stays.
        {"base64 lines separated by a blank line", head + "base64\r\n\r\n" + spaced, bad},
        {"data after the padding", head + "base64\r\n\r\nQQ==QUJD", "A"},
    };
}

} // namespace

TEST_F(JobTest, PartsNotUnderstoodAreSavedButStayInTheMessage) {
    view.cut = true;
    const auto cases = notUnderstoodParts();
    std::vector<std::string> messages;
    for (size_t i = 0; i < cases.size(); ++i) {
        std::string part = cases[i].part;
        part[part.find('#')] = char('0' + i);
        messages.push_back(messageWith(part));
        addMailbox("Box" + std::to_string(i), {messages.back()});
    }
    runJob();

    const auto files = folderFiles(root / "out");
    EXPECT_EQ(files.at("good.bin"), good);
    for (size_t i = 0; i < cases.size(); ++i) {
        // Exactly the good part left the message; every other byte stayed.
        const auto texts = mailboxTexts(root / "store" / ("Box" + std::to_string(i) + ".dbx"));
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], without(messages[i], goodPart)) << cases[i].what;
        const std::string name = "bad" + std::to_string(i) + ".bin";
        if (!cases[i].saved.empty())
            EXPECT_EQ(files.at(name), cases[i].saved) << cases[i].what;
        else
            EXPECT_TRUE(files.count(name)) << cases[i].what;
    }
    EXPECT_EQ(job.counts().keptInMessage, int(cases.size()));
    EXPECT_EQ(view.finishedCounts.keptInMessage, int(cases.size()));
    EXPECT_EQ(job.counts().writeFailures, 0);
}

TEST_F(JobTest, AMessageFileLosesExactlyTheCutPart) {
    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    // LF only, text between a nested closing line and the next outer boundary, an
    // epilogue, and a part that was not understood.
    const std::string lf =
        "Subject: lf\nContent-Type: multipart/mixed; boundary=o\n\npreamble\n"
        "--o\nContent-Type: multipart/alternative; boundary=i\n\n--i\n\nplain\n--i\n\nhtml\n"
        "--i--\nbetween the boundaries\n"
        "--o\nContent-Type: image/png; name=p.png\nContent-Transfer-Encoding: base64\n\n" +
        base64(good) +
        "\n--o\nContent-Type: text/plain; name=q.txt\nContent-Transfer-Encoding: "
        "quoted-printable\n\nbad =escape\n--o--\nthe epilogue\n";
    writeFile(folder / "lf.eml", lf);
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({folder.string(), true});
    runJob();

    const std::string pngPart = "--o\nContent-Type: image/png; name=p.png\n"
                                "Content-Transfer-Encoding: base64\n\n" +
                                base64(good) + "\n";
    EXPECT_EQ(readFile(folder / "lf.eml"), without(lf, pngPart));
    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{{"p.png", good}, {"q.txt", "bad =escape"}}));
    EXPECT_EQ(job.counts().keptInMessage, 1);
}

TEST_F(JobTest, AFileWithSeveralLinksKeepsItsAttachments) {
    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    const std::string message = messageWith("Content-Type: text/plain\r\n\r\nbye");
    writeFile(folder / "linked.eml", message);
    fs::create_hard_link(folder / "linked.eml", root / "elsewhere.eml");
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({folder.string(), true});
    runJob();

    EXPECT_EQ(readFile(folder / "linked.eml"), message);
    EXPECT_EQ(readFile(root / "elsewhere.eml"), message);
    EXPECT_EQ(folderFiles(root / "out").at("good.bin"), good);
    EXPECT_EQ(job.counts().writeFailures, 1);
    const auto problems = view.texts("problem");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("linked.eml was not written back: the file has several hard "
                               "links"),
              std::string::npos)
        << problems[0];
}

TEST_F(JobTest, ADestinationInsideAFolderBeingReadIsRefused) {
    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder / "saved");
    const std::string message = messageWith("Content-Type: text/plain\r\n\r\nbye");
    writeFile(folder / "m.eml", message);
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({folder.string(), true});
    for (const fs::path& destination : {folder, folder / "saved", folder / "new" / "deeper"}) {
        view.extract = TOVK_Utils::String(TOVK_Utils::Block(destination.string().c_str()));
        view.asked.clear();
        runJob();
        EXPECT_TRUE(job.counts().halted) << destination;
        ASSERT_EQ(view.asked.size(), 1u) << destination;
        EXPECT_NE(view.asked[0].message.find("or lies inside it. Choose another destination "
                                             "folder."),
                  std::string::npos)
            << view.asked[0].message;
        EXPECT_EQ(readFile(folder / "m.eml"), message);
        EXPECT_FALSE(fs::exists(folder / "good.bin"));
        EXPECT_FALSE(fs::exists(folder / "new"));
    }

    // A mailbox store folder as the destination.
    view.emlFolders = false;
    view.list.rows.clear();
    addMailbox("Inbox", {message});
    const std::string before = readFile(root / "store" / "Inbox.dbx");
    view.extract = TOVK_Utils::String(TOVK_Utils::Block((root / "store" / "").string().c_str()));
    view.asked.clear();
    runJob();
    EXPECT_TRUE(job.counts().halted);
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_NE(view.asked[0].message.find("is the mailbox folder being read"), std::string::npos);
    EXPECT_EQ(readFile(root / "store" / "Inbox.dbx"), before);
}

TEST_F(JobTest, BackupsNeverLoseTheOriginal) {
    view.cut = true;
    view.backups = true;
    const std::string message = messageWith("Content-Type: text/plain\r\n\r\nbye");
    addMailbox("Inbox", {message});
    const std::string original = readFile(root / "store" / "Inbox.dbx");

    // Into the store folder itself, or a folder inside it: refused before anything.
    for (const fs::path& folder : {root / "store", root / "store" / "backups"}) {
        view.backup = TOVK_Utils::String(TOVK_Utils::Block(folder.string().c_str()));
        view.asked.clear();
        runJob();
        EXPECT_TRUE(job.counts().halted);
        ASSERT_EQ(view.asked.size(), 1u);
        EXPECT_NE(view.asked[0].message.find("is the mailbox folder"), std::string::npos)
            << view.asked[0].message;
        EXPECT_EQ(readFile(root / "store" / "Inbox.dbx"), original);
        EXPECT_TRUE(folderFiles(root / "out").empty());
    }

    // Run twice without being asked: the first backup is never replaced.
    view.backup = TOVK_Utils::String(TOVK_Utils::Block(backupText.c_str()));
    view.old = OldBackups::KeepBeside;
    job.beginRun();
    runJob();
    const std::string cutOnce = readFile(root / "store" / "Inbox.dbx");
    EXPECT_NE(cutOnce, original);
    job.beginRun();
    runJob();
    EXPECT_EQ(
        folderFiles(root / "backup"),
        (std::map<std::string, std::string>{{"Inbox.dbx", original}, {"Inbox_1.dbx", cutOnce}}));
    ASSERT_EQ(job.backupsMade().size(), 1u);
    EXPECT_EQ(text(job.backupsMade()[0].backup), (root / "backup" / "Inbox_1.dbx").string());

    // Within one run, a second store's Inbox gets its own name, and the same mailbox
    // reached a second time (here through a hard link) keeps its first backup.
    fs::remove_all(root / "backup");
    writeFile(root / "store" / "Inbox.dbx", original);
    job.beginRun();
    runJob();
    fs::create_directories(root / "other");
    fs::create_directories(root / "linked");
    writeFile(root / "other" / "Inbox.dbx", original + "other");
    fs::create_hard_link(root / "store" / "Inbox.dbx", root / "linked" / "Inbox.dbx");
    for (const fs::path& store : {root / "other", root / "linked"}) {
        view.store = TOVK_Utils::String(TOVK_Utils::Block(store.string().c_str()));
        runJob();
    }
    EXPECT_EQ(folderFiles(root / "backup"),
              (std::map<std::string, std::string>{{"Inbox.dbx", original},
                                                  {"Inbox_1.dbx", original + "other"}}));
    EXPECT_EQ(job.backupsMade().size(), 2u);
}

// A journal left by a run that died mid-message is put back before anything else is done
// with the mailbox, backups included, even by a job that only reads.
TEST_F(JobTest, AHalfWrittenMessageIsPutBackFirst) {
    const std::string message = messageWith("Content-Type: text/plain\r\n\r\nbye");
    auto& writer = addMailbox("Inbox", {message});
    const fs::path mailbox = root / "store" / "Inbox.dbx";
    const std::string original = readFile(mailbox);
    const TOVK_Utils::String path(TOVK_Utils::Block(mailbox.string().c_str()));
    {
        TOVK_Internet::DbxJournal journal;
        ASSERT_TRUE(journal.open(path, original.size(), TOVK_Utils::fileIdentity(path)));
        const uint32_t at = writer.firstBlocks()[0] + 16; // the first block's body
        const std::string newBytes(64, 'X');
        ASSERT_TRUE(journal.record({{at, reinterpret_cast<const uint8_t*>(original.data()) + at,
                                     reinterpret_cast<const uint8_t*>(newBytes.data()), 64}}));
        std::string half = original;
        half.replace(at, 64, newBytes);
        writeFile(mailbox, half);
    } // the journal object goes; its entry stays on the disk, as after a crash
    ASSERT_TRUE(TOVK_Internet::DbxJournal::exists(path));
    view.backups = true;
    runJob();

    EXPECT_EQ(readFile(mailbox), original);
    EXPECT_EQ(readFile(root / "backup" / "Inbox.dbx"), original);
    EXPECT_FALSE(TOVK_Internet::DbxJournal::exists(path));
    ASSERT_FALSE(view.asked.empty());
    EXPECT_EQ(view.asked[0].title, "Information");
    EXPECT_NE(view.asked[0].message.find("Restored"), std::string::npos) << view.asked[0].message;
    EXPECT_EQ(folderFiles(root / "out").at("good.bin"), good);
}

// A journal left by a run killed mid-message, planted beside the mailbox: the first block's
// body half-written, as that run left it. Returns the journal's bytes.
std::string plantHalfWrittenJournal(const fs::path& mailbox, uint32_t firstBlock) {
    const std::string original = readFile(mailbox);
    const TOVK_Utils::String path(TOVK_Utils::Block(mailbox.string().c_str()));
    TOVK_Internet::DbxJournal journal;
    EXPECT_TRUE(journal.open(path, original.size(), TOVK_Utils::fileIdentity(path)));
    const uint32_t at = firstBlock + 16;
    const std::string newBytes(64, 'X');
    EXPECT_TRUE(journal.record({{at, reinterpret_cast<const uint8_t*>(original.data()) + at,
                                 reinterpret_cast<const uint8_t*>(newBytes.data()), 64}}));
    std::string half = original;
    half.replace(at, 64, newBytes);
    writeFile(mailbox, half);
    return readFile(TOVK_Internet::DbxJournal::journalPath(path).c_str());
}

// What a journal beside the first of two mailboxes makes of a cutting job with backups: the
// job always goes on with the second, which is cut; the first is cut only once its journal
// is put back, read without cutting when the journal is damaged (and that is said), and not
// touched at all when some of its bytes are neither version.
TEST_F(JobTest, AJournalThatCannotBeAppliedStopsOnlyItsOwnMailbox) {
    const std::string message = messageWith("Content-Type: text/plain\r\n\r\nbye");
    enum class Then { Nothing, TailLost, ByteFlipped, ChangedByAnother };
    const struct {
        const char* what;
        Then then;
        bool firstCut;
        const char* said; // in the first mailbox's report line
    } cases[] = {
        {"an intact journal", Then::Nothing, true, "Restored 1 block of Inbox.dbx"},
        {"its last 100 bytes lost", Then::TailLost, false, "may hold messages"},
        {"a byte flipped", Then::ByteFlipped, false, "may hold messages"},
        {"the mailbox changed by another program", Then::ChangedByAnother, false,
         "It is left as it is; extraction goes on with the next mailbox."},
    };
    for (const auto& c : cases) {
        fs::remove_all(root / "store");
        fs::remove_all(root / "out");
        fs::remove_all(root / "backup");
        fs::create_directories(root / "store");
        fs::create_directories(root / "out");
        view.list.rows.clear();
        view.events.clear();
        view.asked.clear();
        view.cut = true;
        view.backups = true;
        writers.clear();
        auto& inbox = addMailbox("Inbox", {message});
        addMailbox("Sent", {message});
        const fs::path mailbox = root / "store" / "Inbox.dbx";
        const fs::path journalFile = root / "store" / "Inbox.dbx.klovin-undo";
        const std::string original = readFile(mailbox);
        std::string journal = plantHalfWrittenJournal(mailbox, inbox.firstBlocks()[0]);
        const std::string half = readFile(mailbox);
        if (c.then == Then::TailLost)
            journal.resize(journal.size() - 100);
        if (c.then == Then::ByteFlipped)
            journal[journal.size() / 3] ^= 0x20;
        writeFile(journalFile, journal);
        std::string changed = half;
        if (c.then == Then::ChangedByAnother) {
            changed[inbox.firstBlocks()[0] + 20] ^= 0x01;
            writeFile(mailbox, changed);
        }
        runJob();

        EXPECT_FALSE(view.finishedCounts.halted) << c.what;
        EXPECT_EQ(folderFiles(root / "out").count("good.bin"), 1u) << c.what;
        EXPECT_EQ(mailboxTexts(root / "store" / "Sent.dbx")[0], without(message, goodPart))
            << c.what;
        const std::vector<std::string> first = mailboxTexts(mailbox);
        const std::string& leftAs = c.then == Then::ChangedByAnother ? changed : half;
        EXPECT_EQ(first[0] == without(message, goodPart), c.firstCut) << c.what;
        EXPECT_EQ(readFile(mailbox) == leftAs, !c.firstCut) << c.what;
        EXPECT_EQ(fs::exists(journalFile), c.then == Then::ChangedByAnother) << c.what;
        const fs::path aside = root / "store" / "Inbox.dbx.klovin-undo.damaged";
        EXPECT_EQ(fs::exists(aside), c.said == std::string("may hold messages")) << c.what;
        EXPECT_TRUE(!fs::exists(aside) || readFile(aside) == journal) << c.what;
        // A backup never holds a half-written message: only a mailbox put right is copied.
        EXPECT_EQ(folderFiles(root / "backup").count("Inbox.dbx"), c.firstCut ? 1u : 0u) << c.what;
        EXPECT_TRUE(!c.firstCut || readFile(root / "backup" / "Inbox.dbx") == original) << c.what;
        const std::vector<std::string> problems = view.texts("problem");
        int saidOnce = 0;
        for (const std::string& line : problems)
            saidOnce += line.find("Inbox.dbx") != std::string::npos &&
                        line.find(c.said) != std::string::npos;
        EXPECT_EQ(saidOnce, c.then == Then::ChangedByAnother ? 0 : 1)
            << c.what << ": " << ::testing::PrintToString(problems);
        int shown = 0;
        for (const auto& asked : view.asked)
            shown += asked.message.find(c.said) != std::string::npos;
        EXPECT_EQ(shown, 1) << c.what << ": " << ::testing::PrintToString(view.titlesAsked());
    }
}

// Cut messages wait, their mailboxes kept open, to be written together with other
// mailboxes': a stop writes every one that waits, and no journal is left behind.
TEST_F(JobTest, CutsWaitingInSeveralMailboxesAreWrittenWhenTheJobStops) {
    view.cut = true;
    const std::vector<std::string> names = {"Inbox", "Sent", "Drafts"};
    std::map<std::string, std::vector<std::string>> messages;
    for (const auto& name : names) {
        for (int m = 0; m < 2; ++m)
            messages[name].push_back(messageWith("Content-Type: text/plain\r\n\r\n" + name +
                                                 " message " + std::to_string(m)));
        addMailbox(name, messages[name]);
    }
    view.onEvent = [&](const ScriptedView::Event& e) {
        if (e.text == "Processing message 1 of 2 of Drafts.dbx")
            job.commandQueue().postCommand(CommandQueue::stop);
    };
    runJob();

    EXPECT_TRUE(job.stopRequested());
    EXPECT_EQ(job.counts().writeFailures, 0);
    for (const auto& name : names) {
        const auto texts = mailboxTexts(root / "store" / (name + ".dbx"));
        ASSERT_EQ(texts.size(), 2u) << name;
        EXPECT_EQ(texts[0], without(messages[name][0], goodPart)) << name;
        // The stop came while the last mailbox's first message was being processed.
        EXPECT_EQ(texts[1],
                  name == "Drafts" ? messages[name][1] : without(messages[name][1], goodPart))
            << name;
    }
    for (const auto& entry : fs::directory_iterator(root / "store"))
        EXPECT_EQ(entry.path().extension(), ".dbx") << entry.path();
    EXPECT_EQ(folderFiles(root / "out"), (std::map<std::string, std::string>{{"good.bin", good}}));
}

// With notes asked for, each cut part is replaced by one saying where its file went, in a
// message file and in a mailbox alike; a part too small for its note goes without one.
TEST_F(JobTest, EachCutPartLeavesANoteWhereItWas) {
    const Attachment big{"big.bin", binary(3000, 41)};
    const Attachment tiny{"t.bin", "x"};
    const std::string message = makeMessage("notes", {big, tiny});
    auto partOf = [&](const Attachment& a) {
        const size_t at = message.find("--=_outer\r\nContent-Type: application/octet-stream; "
                                       "name=\"" +
                                       a.name);
        return message.substr(at, message.find("--=_outer", at + 1) - at);
    };
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(today, sizeof today, "%Y-%m-%d", std::localtime(&now));
    auto noted = [&](const fs::path& saved) {
        const std::string note = "--=_outer\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
                                 "The attachment big.bin (3 KB) was saved as " +
                                 saved.string() + " on " + today +
                                 " by Klovin Attachment Extractor.\r\n";
        std::string expected = without(message, partOf(tiny));
        return expected.replace(expected.find(partOf(big)), partOf(big).size(), note);
    };
    view.cut = true;
    view.chosen.leaveNote = true;
    addMailbox("Inbox", {message});
    runJob();
    EXPECT_EQ(mailboxTexts(root / "store" / "Inbox.dbx"),
              std::vector<std::string>{noted(root / "out" / "big.bin")});
    EXPECT_EQ(job.counts().cutWithNote, 1);

    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    writeFile(folder / "m.eml", message);
    fs::remove_all(root / "out");
    view.emlFolders = true;
    view.list.rows.assign(1, {folder.string(), true});
    runJob();
    EXPECT_EQ(readFile(folder / "m.eml"), noted(root / "out" / "big.bin"));
    EXPECT_EQ(job.counts().cutWithNote, 1);
    EXPECT_EQ(job.counts().writeFailures, 0);
}
