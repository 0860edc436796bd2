#include "JobFixture.h"

#include "engine/AttachmentName.h"
#include "utils/LightBlock.h"
#include "utils/Path.h"

#include <random>

using TOVK_Internet::MimePart;

namespace {

// The parts of a message text: (fileName, body) for every part below the root.
std::vector<std::pair<std::string, std::string>> partsOf(const std::string& message) {
    TOVK_Utils::LightBlock text(message.data(), int32_t(message.size()));
    MimePart root;
    root.parse(text);
    std::vector<std::pair<std::string, std::string>> out;
    for (auto& p : root.allParts)
        out.emplace_back(::text(p->fileName), ::text(p->body));
    return out;
}

} // namespace

TEST_F(JobTest, TwoMailboxesExtractedWithoutCutting) {
    const std::string pdf = binary(70000, 1), png = binary(3, 2);
    DbxTest::DbxOptions multiBlock;
    multiBlock.shuffleBlocks = true;
    addMailbox("Inbox", {makeMessage("one", {{"report.pdf", pdf}}), makeMessage("two", {})},
               multiBlock);
    addMailbox("Sent Items", {makeMessage("three", {{"p.png", png},
                                                    {"notes.txt", "plain text\r\nline", "7bit"}})});
    view.list.rows.push_back({"Unticked", false});
    const auto before = readFile(root / "store" / "Inbox.dbx");

    runJob();

    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{
                  {"report.pdf", pdf}, {"p.png", png}, {"notes.txt", "plain text\r\nline"}}));
    EXPECT_EQ(readFile(root / "store" / "Inbox.dbx"), before);
    EXPECT_EQ(view.counters[ViewCounter::Mailboxes], "2");
    EXPECT_EQ(view.counters[ViewCounter::Emails], "3");
    EXPECT_EQ(view.counters[ViewCounter::Attachments], "3");
    EXPECT_EQ(view.counters[ViewCounter::Decoded], "0.1 MB");
    EXPECT_EQ(view.texts("set"), (std::vector<std::string>{"Initialising."}));
    EXPECT_EQ(
        view.texts("post"),
        (std::vector<std::string>{
            "Opening mailbox: Inbox.dbx", "Scanning mailbox: Inbox.dbx",
            "Opening mailbox: Sent Items.dbx", "Scanning mailbox: Sent Items.dbx",
            "Opening mailbox: Inbox.dbx", "Scanning mailbox: Inbox.dbx",
            "Processing message 1 of 2 of Inbox.dbx", "Processing message 2 of 2 of Inbox.dbx",
            "Opening mailbox: Sent Items.dbx", "Scanning mailbox: Sent Items.dbx",
            "Processing message 1 of 1 of Sent Items.dbx"}));
    EXPECT_EQ(view.count("finished"), 1);
    EXPECT_EQ(view.count("close"), 1);
    EXPECT_TRUE(view.asked.empty());
    // Every view call came from the worker thread.
    for (const auto& e : view.events)
        EXPECT_NE(e.thread, std::this_thread::get_id());
    EXPECT_FALSE(job.counts().halted);
}

TEST_F(JobTest, CuttingKeepsTheMailWhole) {
    std::vector<std::string> messages;
    std::vector<std::vector<Attachment>> attachments;
    std::mt19937 random(3);
    for (int i = 0; i < 30; ++i) {
        std::vector<Attachment> parts;
        const int n = int(random() % 3);
        for (int a = 0; a < n; ++a)
            parts.push_back({"file" + std::to_string(i) + "_" + std::to_string(a) + ".bin",
                             binary(100 + random() % 3000, unsigned(i * 10 + a))});
        attachments.push_back(parts);
        messages.push_back(makeMessage("m" + std::to_string(i), parts));
    }
    DbxTest::DbxOptions options;
    options.shuffleBlocks = true;
    options.gaps = true;
    addMailbox("Inbox", messages, options);
    view.cut = true;

    runJob();

    const auto after = mailboxTexts(root / "store" / "Inbox.dbx");
    const auto& writer = *writers.front();
    ASSERT_EQ(after.size(), messages.size());
    const auto files = folderFiles(root / "out");
    size_t saved = 0;
    for (size_t k = 0; k < writer.scanOrder().size(); ++k) {
        // Map the scan order back to the message.
        size_t m = 0;
        while (writer.firstBlocks()[m] != writer.scanOrder()[k])
            ++m;
        if (attachments[m].empty()) {
            EXPECT_EQ(after[k], messages[m]) << "untouched message changed";
            continue;
        }
        const auto original = partsOf(messages[m]);
        const auto cut = partsOf(after[k]);
        std::vector<std::pair<std::string, std::string>> kept;
        for (const auto& p : original)
            if (p.first.empty())
                kept.push_back(p);
        EXPECT_EQ(cut, kept) << "message " << m;
        for (const auto& a : attachments[m]) {
            EXPECT_EQ(files.at(a.name), a.content);
            ++saved;
        }
    }
    EXPECT_EQ(files.size(), saved);
    ASSERT_FALSE(view.asked.empty());
    EXPECT_EQ(view.asked.back().title, "Information");
    EXPECT_EQ(view.asked.back().sizeCode, 2);
}

TEST_F(JobTest, NamesThatClashOrAreUnsafe) {
    fs::create_directories(root / "out" / "dir.txt");
    writeFile(root / "out" / "taken.txt", "other bytes");
    addMailbox("Inbox", {makeMessage("a", {{"same.txt", "AAA"},
                                           {"same.txt", "AAA"},
                                           {"same.txt", "BBB"},
                                           {"same.txt", "CCC"},
                                           {"README", "r1"},
                                           {"README", "r2"},
                                           {"taken.txt", "mine"},
                                           {"dir.txt", "d"}}),
                         makeMessage("b", {{"../escape.txt", "e"},
                                           {"CON.txt", "c"},
                                           {"nul", "n"},
                                           {"a:b?.txt", "x"},
                                           {"sub\\dir/f.txt", "s"},
                                           {"ctl\x01.txt", "t"},
                                           {"star*name.txt", "star"},
                                           {"<x>|y.txt. ", "angles"}})});
    view.cut = true;
    runJob();
    // Both systems get names Windows can take: no trailing dot after a number either.
    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{{"same.txt", "AAA"},
                                                  {"same_1.txt", "BBB"},
                                                  {"same_2.txt", "CCC"},
                                                  {"README", "r1"},
                                                  {"README_1", "r2"},
                                                  {"taken.txt", "other bytes"},
                                                  {"taken_1.txt", "mine"},
                                                  {"dir_1.txt", "d"},
                                                  {"escape.txt", "e"},
                                                  {"_CON.txt", "c"},
                                                  {"_nul", "n"},
                                                  {"a_b_.txt", "x"},
                                                  {"f.txt", "s"},
                                                  {"ctl_.txt", "t"},
                                                  {"star_name.txt", "star"},
                                                  {"_x__y.txt", "angles"}}));
    EXPECT_FALSE(fs::exists(root / "escape.txt"));
    EXPECT_EQ(view.counters[ViewCounter::Attachments], "16");
    EXPECT_TRUE(view.asked.size() == 1 && view.asked[0].title == "Information");
}

namespace {

std::string encodedWord(const char* charset, const std::string& bytes) {
    std::string text = base64(bytes);
    return std::string("=?") + charset + "?B?" + text + "?=";
}

} // namespace

TEST_F(JobTest, NamesAreSavedInUnicodeAndTheNameRulesApplyToThem) {
    const std::string resume = "R\xC3\xA9sum\xC3\xA9.txt";
    addMailbox("Inbox",
               {makeMessage("a", {{encodedWord("UTF-8", resume), "cv"},
                                  {encodedWord("iso-8859-1", "R\xE9sum\xE9.txt"), "cv"},
                                  {encodedWord("windows-1252", "R\xE9sum\xE9.txt"), "cv 2"}}),
                makeMessage("b", {{encodedWord("shift_jis", "\x95\\\x8Cv\x8EZ.xls"), "sheet"},
                                  {encodedWord("us-ascii", "C:\\TEMP\\nsmailEG.png"), "png"},
                                  {"\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.jpg", "raw utf-8"},
                                  {encodedWord("koi8-r", "\xD4\xC5\xD3\xD4?.jpg"), "koi8"}})});
    view.cut = true;
    runJob();
    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{
                  {resume, "cv"}, // the same name in two charsets, the same bytes: one file
                  {"R\xC3\xA9sum\xC3\xA9_1.txt", "cv 2"},
                  {"\xE8\xA1\xA8\xE8\xA8\x88\xE7\xAE\x97.xls", "sheet"},
                  {"nsmailEG.png", "png"},
                  {"\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.jpg", "raw utf-8"},
                  {"\xD1\x82\xD0\xB5\xD1\x81\xD1\x82_.jpg", "koi8"}}));
    EXPECT_EQ(view.counters[ViewCounter::Attachments], "7");
    for (const auto& p : partsOf(mailboxTexts(root / "store" / "Inbox.dbx")[0]))
        EXPECT_TRUE(p.first.empty()) << "every attachment was saved, so every one is cut";
}

TEST_F(JobTest, ALongNameIsShortenedToFitTheFolder) {
    const fs::path out = folderLeavingRoom(root / "out", 60);
    const std::string outPath = out.string();
    view.extract = TOVK_Utils::String(TOVK_Utils::LightBlock(outPath.data(), int(outPath.size())));
    const std::string longName = std::string(100, 'x') + ".pdf";
    addMailbox("Inbox", {makeMessage("a", {{longName, "one"}, {longName, "two"}})});
    runJob();
    const std::string shortened = std::string(60 - AttachmentName::numberingRoom - 4, 'x');
    EXPECT_EQ(folderFiles(out), (std::map<std::string, std::string>{
                                    {shortened + ".pdf", "one"}, {shortened + "_1.pdf", "two"}}));
}

TEST_F(JobTest, FailedSavesStayInTheMessage) {
    // The folder leaves room for a short name, but none for any shortening of a long one.
    const fs::path out = folderLeavingRoom(root / "out", 12);
    const std::string outPath = out.string();
    view.extract = TOVK_Utils::String(TOVK_Utils::LightBlock(outPath.data(), int(outPath.size())));
    const std::string tooLong = "R\xC3\xA9sum\xC3\xA9 " + std::string(300, 'x') + ".txt";
    addMailbox("Inbox",
               {makeMessage("a", {{"ok.txt", "fine"}, {tooLong, "kept"}}),
                makeMessage("b", {{tooLong, "again"}}), makeMessage("c", {{tooLong, "3"}})});
    view.cut = true;
    view.answers = {{1, false}, {1, true}}; // the second box ticks "Don't show me again"
    runJob();

    EXPECT_EQ(folderFiles(out), (std::map<std::string, std::string>{{"ok.txt", "fine"}}));
    std::vector<std::string> errors;
    for (const auto& a : view.asked)
        if (a.title == "Error") {
            errors.push_back(a.message);
            EXPECT_EQ(a.checkText, "Don't show me again until next extraction");
            EXPECT_EQ(a.owner, ViewOwner::ProgressWindow);
        }
    ASSERT_EQ(errors.size(), 2u); // the third failure is silent
    EXPECT_EQ(errors[0].rfind("Error saving file ", 0), 0u);
    EXPECT_NE(errors[0].find("Skipping attachment."), std::string::npos);
    // The box names the file in Unicode, as the name it was to have.
    EXPECT_NE(errors[0].find(tooLong), std::string::npos);
    EXPECT_EQ(job.counts().saveFailures, 3);

    const auto after = mailboxTexts(root / "store" / "Inbox.dbx");
    ASSERT_EQ(after.size(), 3u);
    // The first message lost only ok.txt; the others were not rewritten at all.
    const auto parts = partsOf(after[0]);
    bool hasOk = false, hasLong = false;
    for (const auto& p : parts) {
        hasOk |= p.first == "ok.txt";
        hasLong |= p.first == tooLong;
    }
    EXPECT_FALSE(hasOk);
    EXPECT_TRUE(hasLong);
    EXPECT_EQ(after[1], writers.front()->messages()[1]);
    EXPECT_EQ(after[2], writers.front()->messages()[2]);

    // The next job shows the boxes again.
    view.asked.clear();
    view.answers.clear();
    runJob();
    int shown = 0;
    for (const auto& a : view.asked)
        shown += a.title == "Error";
    EXPECT_EQ(shown, 3);
}

TEST_F(JobTest, PauseAndStop) {
    std::vector<std::string> messages;
    for (int i = 0; i < 6; ++i)
        messages.push_back(makeMessage("m" + std::to_string(i), {{"f" + std::to_string(i), "x"}}));
    addMailbox("Inbox", messages);
    // Pause twice before the first message: both toggles are taken in one poll. Then,
    // during message 3, pause, and stop while paused.
    view.onEvent = [&](const ScriptedView::Event& e) {
        if (e.text == "Scanning mailbox: Inbox.dbx" && view.count("post") > 2) {
            job.commandQueue().postCommand(CommandQueue::togglePause);
            job.commandQueue().postCommand(CommandQueue::togglePause);
        }
        if (e.text == "Processing message 3 of 6 of Inbox.dbx") {
            job.commandQueue().postCommand(CommandQueue::togglePause);
            std::thread([&] {
                // The worker waits at its next poll; the stop wakes it.
                while (!job.paused())
                    std::this_thread::yield();
                job.commandQueue().postCommand(CommandQueue::stop);
            }).detach();
        }
    };
    runJob();
    EXPECT_EQ(folderFiles(root / "out").size(), 3u);
    EXPECT_EQ(view.counters[ViewCounter::Emails], "3");
    EXPECT_TRUE(job.stopRequested());
    EXPECT_EQ(view.count("finished"), 1);
    EXPECT_EQ(view.count("close"), 1);
}

TEST_F(JobTest, StaleCommandsDoNotReachTheNextJob) {
    addMailbox("Inbox", {makeMessage("m", {{"f.txt", "x"}})});
    job.commandQueue().postCommand(CommandQueue::stop); // a second press on "Done"
    runJob();
    EXPECT_EQ(view.counters[ViewCounter::Emails], "1"); // the job ran to its end
    EXPECT_EQ(folderFiles(root / "out").size(), 1u);
}

TEST_F(JobTest, DamagedSecondMailboxHaltsBeforeAnyExtraction) {
    addMailbox("Inbox", {makeMessage("m", {{"f.txt", "x"}})});
    writeFile(root / "store" / "Broken.dbx", "not a mailbox at all");
    view.list.rows.push_back({"Broken", true});
    runJob();
    EXPECT_TRUE(folderFiles(root / "out").empty());
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].message,
              (root / "store" / "Broken.dbx").string() +
                  " is not an Outlook Express mailbox. Extraction will halt.");
    EXPECT_TRUE(job.counts().halted);
    EXPECT_EQ(view.count("range"), 0);
    EXPECT_EQ(view.count("finished"), 1);
}

TEST_F(JobTest, DestinationFolderIsCreatedOrTheJobEnds) {
    addMailbox("Inbox", {makeMessage("m", {{"f.txt", "x"}})});
    const fs::path nested = root / "new" / "deeper";
    const std::string nestedText = nested.string();
    view.extract = TOVK_Utils::String(nestedText.c_str());
    view.answers = {{2, false}};
    runJob();
    EXPECT_FALSE(fs::exists(nested));
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].message, "The destination path \"" + nestedText +
                                         "\" does not exist. Do you wish to create it?");
    EXPECT_EQ(view.asked[0].caption2, "No, cancel extraction");

    view.asked.clear();
    runJob();
    EXPECT_EQ(folderFiles(nested).size(), 1u);

    // A file where the folder should be cannot become the destination.
    writeFile(root / "file", "x");
    const std::string fileText = (root / "file").string();
    view.extract = TOVK_Utils::String(fileText.c_str());
    view.asked.clear();
    runJob();
    ASSERT_EQ(view.asked.size(), 2u);
    EXPECT_EQ(view.asked[1].message, "Could not create destination path.");
}

TEST_F(JobTest, BackupsAskOnceAndRefuseABadFolder) {
    addMailbox("Inbox", {makeMessage("m", {{"f.txt", "x"}})});
    addMailbox("Sent", {makeMessage("n", {{"g.txt", "y"}})});
    addMailbox("Drafts", {makeMessage("o", {})});
    view.backups = true;
    fs::create_directories(root / "backup");
    writeFile(root / "backup" / "Sent.dbx", "old copy");
    writeFile(root / "backup" / "Drafts.dbx", "old copy");

    view.answers = {{2, false}}; // cancel and choose another location
    runJob();
    EXPECT_EQ(readFile(root / "backup" / "Inbox.dbx"), readFile(root / "store" / "Inbox.dbx"));
    EXPECT_EQ(readFile(root / "backup" / "Sent.dbx"), "old copy");
    EXPECT_TRUE(folderFiles(root / "out").empty());
    EXPECT_EQ(view.count("close"), 1);
    EXPECT_EQ(view.count("finished"), 0); // ended without the final state
    EXPECT_TRUE(job.counts().halted);

    view.asked.clear();
    view.answers = {{1, false}}; // overwrite: asked once for both existing copies
    runJob();
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].caption1, "Overwrite old backups");
    EXPECT_EQ(readFile(root / "backup" / "Drafts.dbx"), readFile(root / "store" / "Drafts.dbx"));
    EXPECT_EQ(folderFiles(root / "out").size(), 2u);

    // A relative backup folder would put the copies in the current directory.
    view.backup = TOVK_Utils::String("relative-backups");
    view.asked.clear();
    runJob();
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].owner, ViewOwner::TopLevel);
    EXPECT_NE(view.asked[0].message.find("Backup of mailbox Inbox.dbx to "), std::string::npos);
    EXPECT_FALSE(fs::exists("relative-backups"));
}

TEST_F(JobTest, MessageFolders) {
    const fs::path folder = root / "store" / "Local Folders" / "Inbox";
    fs::create_directories(folder);
    fs::create_directories(folder / "folder.eml"); // a directory is no message
    const std::string withAttachment = makeMessage("a", {{"a.bin", binary(500, 4)}});
    writeFile(folder / "1.eml", withAttachment);
    writeFile(folder / "2.EML", makeMessage("b", {}));
    writeFile(folder / "3.emlx", makeMessage("c", {{"c.bin", "no"}}));
    writeFile(folder / "1.eml.klovin-new0", "someone else's file"); // never touched
    view.emlFolders = true;
    view.backups = true; // never in message-file mode
    view.cut = true;
    const std::string folderText = folder.string();
    view.list.rows.push_back({folderText, true});
    runJob();

    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{{"a.bin", binary(500, 4)}}));
    EXPECT_FALSE(fs::exists(root / "backup"));
    const std::string rewritten = readFile(folder / "1.eml");
    EXPECT_LT(rewritten.size(), withAttachment.size());
    for (const auto& p : partsOf(rewritten))
        EXPECT_TRUE(p.first.empty());
    EXPECT_EQ(readFile(folder / "2.EML"), makeMessage("b", {}));
    EXPECT_EQ(folderFiles(folder).size(), 4u); // no temporary file left behind
    EXPECT_EQ(readFile(folder / "1.eml.klovin-new0"), "someone else's file");
    EXPECT_EQ(view.counters[ViewCounter::Emails], "2");
    EXPECT_EQ(view.counters[ViewCounter::Mailboxes], "1");
    EXPECT_TRUE(view.asked.empty()); // no information box in message-file mode
}

TEST_F(JobTest, AFailedBackupKeepsTheOlderCopy) {
    view.list.rows.push_back({"Gone", true}); // its mailbox file is missing
    view.backups = true;
    fs::create_directories(root / "backup");
    writeFile(root / "backup" / "Gone.dbx", "old copy");
    runJob();
    EXPECT_EQ(folderFiles(root / "backup"),
              (std::map<std::string, std::string>{{"Gone.dbx", "old copy"}}));
    ASSERT_EQ(view.asked.size(), 2u); // overwrite?, then the failure
    EXPECT_NE(view.asked[1].message.find("Backup of mailbox Gone.dbx to "), std::string::npos);
    EXPECT_TRUE(job.counts().halted);
}
