// klovin-extract run as a user runs it, on stores made by the test mailbox writer: the
// files it writes, what it does to the mailboxes and message files, its texts and its
// exit statuses.
#include "RunProgram.h"
#include "tests/engine/JobFixture.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace {

const Attachment report{"report.pdf", "%PDF first report"};
const Attachment reportAgain{"report.pdf", "%PDF a different report"};
const Attachment photo{"photo.jpg", std::string("\xFF\xD8\xFF\xE0 binary \x00\x01\x02", 16)};
const Attachment notes{"notes.txt", "plain notes\r\n", "quoted-printable"};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class KlovinExtract : public ::testing::Test {
protected:
    void SetUp() override {
        root = TOVK_Tests::testFolder("klovin-cli-");
        fs::remove_all(root);
        fs::create_directories(root / "store");
        fs::create_directories(root / "logs");
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path mailbox(const std::string& name, const std::vector<std::string>& messages,
                     const fs::path& folder = {}) {
        const fs::path dir = folder.empty() ? root / "store" : folder;
        fs::create_directories(dir);
        DbxTest::DbxWriter writer;
        for (const auto& m : messages)
            writer.addMessage(m);
        const fs::path path = dir / (name + ".dbx");
        EXPECT_TRUE(writer.writeFile(path.string()));
        return path;
    }

    ProgramRun run(std::vector<std::string> args) { return runProgram(args, root / "logs"); }

    std::string out() const { return (root / "out").string(); }
    std::string store() const { return (root / "store").string(); }

    fs::path root;
};

} // namespace

TEST_F(KlovinExtract, UsageErrorsExitWithTwoAndSayWhy) {
    mailbox("Inbox", {makeMessage("m", {report})});
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{}, "no SOURCE"},
        {{store()}, "destination folder is missing"},
        {{"--bogus", "-o", out(), store()}, "unknown option --bogus"},
        {{"-o"}, "needs a folder"},
        {{"-o", out(), (root / "missing").string()}, "no such file or folder"},
        {{"--list", store(), store()}, "exactly one folder"},
        {{"--eml", "--backup", (root / "b").string(), "-o", out(), store()}, "--backup"},
        {{"--rescue", "--cut", "-o", out(), store()}, "--rescue only reads"},
        {{"-o", out(), store(), "--only"}, "--only needs a list of file types"},
        {{"--only", "pdf,,doc", "-o", out(), store()}, "--only takes file types"},
        {{"--min-size", "12KB", "-o", out(), store()}, "--min-size takes a number"},
        {{"--min-size=", "-o", out(), store()}, "--min-size needs a size"},
        {{"--note", "-o", out(), store()}, "--note applies to cut messages only"},
        {{"--list", "--only", "pdf", store()}, "--list takes no other option"},
        {{"--list", "--by-mailbox", store()}, "--list takes no other option"},
        {{"--report", (root / "l.csv").string(), "--report", (root / "m.csv").string(), "-o", out(),
          store()},
         "given twice"},
        {{"-o", out(), "--report", (root / "no" / "such" / "l.csv").string(), store()},
         "cannot write the list"},
    };
    for (const auto& c : cases) {
        const ProgramRun r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
        EXPECT_FALSE(fs::exists(root / "out")) << c.says;
    }
    // A file that is neither a mailbox nor a folder.
    writeFile(root / "store" / "readme.txt", "text");
    const ProgramRun r = run({"-o", out(), (root / "store" / "readme.txt").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "neither a .dbx mailbox nor a folder")) << r.err;
}

TEST_F(KlovinExtract, HelpAndVersion) {
    ProgramRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "klovin-extract [options] SOURCE...")) << r.out;
    EXPECT_TRUE(contains(r.out, "--backup DIR")) << r.out;
    r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, KLOVIN_VERSION)) << r.out;
    EXPECT_TRUE(contains(r.out, "Klovin Attachment Extractor")) << r.out;
}

TEST_F(KlovinExtract, ListShowsMailboxesOrMessageFolders) {
    mailbox("Inbox", {makeMessage("m", {report})});
    mailbox("Folders", {makeMessage("not a mailbox", {})});
    writeFile(root / "store" / "Big.dbx", std::string(5 * 1024 + 1000, 'x'));
    ProgramRun r = run({"--list", store()});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("(^|\n)Big +5 KB\n"))) << r.out;
    EXPECT_TRUE(contains(r.out, "Inbox")) << r.out;
    EXPECT_FALSE(contains(r.out, "Folders")) << r.out;

    fs::create_directories(root / "mail" / "Inbox" / "Old");
    fs::create_directories(root / "mail" / "Empty");
    writeFile(root / "mail" / "Inbox" / "a.eml", makeMessage("a", {}));
    writeFile(root / "mail" / "Inbox" / "Old" / "b.eml", makeMessage("b", {}));
    r = run({"--list", "--eml", (root / "mail").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, (root / "mail" / "Inbox").string() + "\n")) << r.out;
    EXPECT_TRUE(contains(r.out, (root / "mail" / "Inbox" / "Old").string() + "\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "Empty")) << r.out;
}

TEST_F(KlovinExtract, ExtractsAStoreFolderWithoutTouchingTheMailboxes) {
    const fs::path inbox =
        mailbox("Inbox", {makeMessage("first", {report, photo}), makeMessage("plain", {})});
    const fs::path sent = mailbox("Sent Items", {makeMessage("second", {reportAgain, notes})});
    const std::string inboxBytes = readFile(inbox), sentBytes = readFile(sent);
    fs::create_directories(root / "out");

    const ProgramRun r = run({"-o", out(), store()});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto files = folderFiles(root / "out");
    ASSERT_EQ(files.size(), 4u) << r.err;
    EXPECT_EQ(files.at("photo.jpg"), photo.content);
    EXPECT_EQ(files.at("notes.txt"), notes.content);
    // Two different attachments called report.pdf: the second gets a numbered name.
    std::set<std::string> reports{files.at("report.pdf"), files.at("report_1.pdf")};
    EXPECT_EQ(reports, (std::set<std::string>{report.content, reportAgain.content}));
    EXPECT_EQ(readFile(inbox), inboxBytes);
    EXPECT_EQ(readFile(sent), sentBytes);
    EXPECT_TRUE(contains(r.out, "Mailboxes: 2\nEmails: 3\nAttachments: 4\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "Attachments that could not be saved: 0")) << r.out;
    EXPECT_TRUE(contains(r.err, "Opening mailbox: Sent Items.dbx")) << r.err;
    EXPECT_FALSE(contains(r.out, "have been cut")) << r.out;

    // A second run finds the same bytes already there and adds no copies.
    const ProgramRun again = run({"-o", out(), store()});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(folderFiles(root / "out"), files);
}

TEST_F(KlovinExtract, MailboxFilesFromSeveralFoldersAddUp) {
    const fs::path a = mailbox("Inbox", {makeMessage("a", {report})}, root / "one");
    const fs::path b = mailbox("Inbox", {makeMessage("b", {photo, notes})}, root / "two");
    const ProgramRun r = run({"--yes", "-o", out(), a.string(), b.string(), a.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 3u);
    // The same mailbox given twice is one mailbox.
    EXPECT_TRUE(contains(r.out, "Mailboxes: 2\nEmails: 2\nAttachments: 3\n")) << r.out;
}

// The jobs of one run (one per store folder) fill one list, which replaces an earlier
// file; each mailbox's files are in its own folder.
TEST_F(KlovinExtract, ReportListsEveryJobAndByMailboxSortsTheFiles) {
    const fs::path a = mailbox("Inbox", {makeMessage("a", {report})}, root / "one");
    const fs::path b = mailbox("Sent", {makeMessage("b", {photo})}, root / "two");
    const fs::path list = root / "list.csv";
    writeFile(list, "an old list");
    const ProgramRun r = run(
        {"--yes", "--by-mailbox", "--report", list.string(), "-o", out(), a.string(), b.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(root / "out" / "Inbox" / report.name), report.content);
    EXPECT_EQ(readFile(root / "out" / "Sent" / photo.name), photo.content);
    const std::string text = readFile(list);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF"
                         "file,size,sha256,name,mailbox,message,date,from,subject,cut\r\n",
                         0),
              0u)
        << text;
    EXPECT_TRUE(contains(text, "\r\n" + (fs::path("Inbox") / report.name).string() + "," +
                                   std::to_string(report.content.size()) + ","))
        << text;
    EXPECT_TRUE(contains(text, "\r\n" + (fs::path("Sent") / photo.name).string() + ",16,")) << text;
    EXPECT_FALSE(contains(text, "an old list"));
    EXPECT_TRUE(contains(r.out, "List of the attachments: " + list.string())) << r.out;
}

TEST_F(KlovinExtract, CuttingWithoutBackupNeedsConsent) {
    const fs::path inbox = mailbox("Inbox", {makeMessage("first", {report, photo})});
    const std::string before = readFile(inbox);
    fs::create_directories(root / "out");

    // Nobody at a terminal to consent: the caution is shown and nothing is done.
    ProgramRun r = run({"--cut", "-o", out(), inbox.string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "CAUTION! Please read the following warning carefully. Also, "
                                "refer to the FAQ on the https://klovinware.example/ website.\n\n"
                                "You have chosen to cut out attachments but not to make backups."))
        << r.err;
    EXPECT_TRUE(contains(r.err, "Cancel extraction")) << r.err;
    EXPECT_TRUE(folderFiles(root / "out").empty());
    EXPECT_EQ(readFile(inbox), before);

    r = run({"--cut", "--yes", "-o", out(), inbox.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 2u);
    const auto texts = mailboxTexts(inbox);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_FALSE(contains(texts[0], base64(report.content))) << texts[0];
    EXPECT_FALSE(contains(texts[0], "photo.jpg")) << texts[0];
    EXPECT_TRUE(contains(texts[0], "Body of first")) << texts[0];
    EXPECT_TRUE(contains(r.out, "The attachments have been cut from your emails")) << r.out;
}

TEST_F(KlovinExtract, BackupsAreMadeBeforeCuttingAndNotOverwrittenUnasked) {
    const fs::path inbox = mailbox("Inbox", {makeMessage("first", {report})});
    const std::string original = readFile(inbox);
    const std::string backup = (root / "backup").string();

    ProgramRun r = run({"--cut", "--backup", backup, "--yes", "-o", out(), store()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(root / "backup" / "Inbox.dbx"), original);
    EXPECT_NE(readFile(inbox), original);
    EXPECT_TRUE(contains(r.err, "Backing up Inbox.dbx to")) << r.err;
    EXPECT_EQ(folderFiles(root / "out").at("report.pdf"), report.content);

    // The backup is there now: without --yes the overwrite question is declined.
    const std::string cutOnce = readFile(inbox);
    r = run({"--cut", "--backup", backup, "-o", out(), store()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "Backups of your mailboxes already exist")) << r.err;
    EXPECT_TRUE(contains(r.err, "Cancel and choose another backup location")) << r.err;
    EXPECT_FALSE(contains(r.err, "CAUTION!")) << r.err;
    EXPECT_EQ(readFile(root / "backup" / "Inbox.dbx"), original);
    EXPECT_EQ(readFile(inbox), cutOnce);

    // --yes never replaces an old backup: the new one goes beside it.
    r = run({"--cut", "--backup", backup, "--yes", "-o", out(), store()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(root / "backup" / "Inbox.dbx"), original);
    EXPECT_EQ(readFile(root / "backup" / "Inbox_1.dbx"), cutOnce);
    EXPECT_TRUE(contains(r.out, "Backup of " + inbox.string() + ": " +
                                    (root / "backup" / "Inbox_1.dbx").string()))
        << r.out;
}

TEST_F(KlovinExtract, MissingDestinationIsCreatedOnlyWhenAllowed) {
    mailbox("Inbox", {makeMessage("m", {report})});
    const std::string deep = (root / "made" / "here").string();
    ProgramRun r = run({"-o", deep, store()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "The destination path \"" + deep +
                                    "\" does not exist. Do you wish to create it?"))
        << r.err;
    EXPECT_FALSE(fs::exists(root / "made"));

    r = run({"--yes", "-o", deep, store()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(root / "made" / "here" / "report.pdf"), report.content);
}

TEST_F(KlovinExtract, UnusableDestinationHalts) {
    mailbox("Inbox", {makeMessage("m", {report})});
    writeFile(root / "taken", "a file where the folder should be");
    const ProgramRun r = run({"--yes", "-o", (root / "taken").string(), store()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "Error: Could not create destination path.")) << r.err;
    EXPECT_EQ(readFile(root / "taken"), "a file where the folder should be");
}

TEST_F(KlovinExtract, AttachmentsThatCannotBeSavedAreEachReported) {
    const Attachment tooLong{std::string(300, 'n') + ".txt", "lost"};
    const Attachment alsoTooLong{std::string(280, 'm') + ".bin", "lost too"};
    const fs::path inbox =
        mailbox("Inbox", {makeMessage("a", {tooLong, report}), makeMessage("b", {alsoTooLong})});
    // Room for report.pdf, none for the long names however they were shortened.
    const fs::path deep = folderLeavingRoom(root / "out", 12);
    const ProgramRun r = run({"--cut", "--yes", "-o", deep.string(), store()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(folderFiles(deep).size(), 1u);
    size_t reported = 0;
    for (size_t at = r.err.find("Error saving file "); at != std::string::npos;
         at = r.err.find("Error saving file ", at + 1))
        ++reported;
    EXPECT_EQ(reported, 2u) << r.err;
    EXPECT_TRUE(contains(r.err, "Skipping attachment.")) << r.err;
    EXPECT_FALSE(contains(r.err, "Don't show me again")) << r.err;
    EXPECT_TRUE(contains(r.out, "Attachments that could not be saved: 2")) << r.out;
    // What was not saved stays in the mailbox.
    const auto texts = mailboxTexts(inbox);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_TRUE(contains(texts[0], base64(tooLong.content))) << texts[0];
    EXPECT_FALSE(contains(texts[0], base64(report.content))) << texts[0];
    EXPECT_TRUE(contains(texts[1], base64(alsoTooLong.content)));
}

TEST_F(KlovinExtract, DamagedMailboxHaltsBeforeAnythingIsExtracted) {
    mailbox("Inbox", {makeMessage("m", {report})});
    writeFile(root / "store" / "Broken.dbx", std::string(20000, '\x5A'));
    const ProgramRun r = run({"--yes", "-o", out(), store()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(
        contains(r.err, "Broken.dbx is not an Outlook Express mailbox. Extraction will halt."))
        << r.err;
    EXPECT_TRUE(folderFiles(root / "out").empty());
    EXPECT_TRUE(contains(r.out, "The extraction did not finish.")) << r.out;
}

// A mailbox whose index cannot be read: recovered by carving without --cut, with a note
// and the counts in the summary; with --cut named and left as it is.
TEST_F(KlovinExtract, DamagedIndexIsRescuedUnlessCutting) {
    DbxTest::DbxWriter writer;
    writer.addMessage(makeMessage("one", {report}));
    writer.addMessage(makeMessage("two", {photo}));
    writer.build();
    writer.setWord(TOVK_Internet::DbxMailbox::rootOffsetPosition, uint32_t(writer.fileSize()));
    const fs::path broken = root / "store" / "Broken.dbx";
    ASSERT_TRUE(writer.save(broken.string()));
    mailbox("Inbox", {makeMessage("three", {notes})});
    const std::string before = readFile(broken);

    ProgramRun r = run({"--yes", "-o", out(), store()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "Broken.dbx is corrupt: its message index cannot be read. Its "
                                "messages were recovered from its data blocks: 2 found."))
        << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 3u);
    EXPECT_EQ(folderFiles(root / "out").at("photo.jpg"), photo.content);
    EXPECT_TRUE(contains(r.out, "Emails: 3\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "Messages recovered by carving: 2\n"
                                "Messages whose chain broke off: 0"))
        << r.out;

    fs::remove_all(root / "out");
    r = run({"--yes", "--cut", "-o", out(), store()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "Broken.dbx is corrupt: its message index cannot be read. It "
                                "is left as it is"))
        << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 1u); // the sound mailbox, cut
    EXPECT_EQ(readFile(broken), before);
    EXPECT_TRUE(contains(r.out, "Damaged mailboxes left as they are: 1")) << r.out;
}

// --rescue carves sound mailboxes too: a deleted message's attachment is saved and
// counted apart.
TEST_F(KlovinExtract, RescueSavesChainsNotInTheIndex) {
    DbxTest::DbxWriter writer;
    writer.addMessage(makeMessage("kept", {report}));
    writer.addMessage(makeMessage("deleted", {photo}));
    auto index = std::make_unique<DbxTest::IndexNode>();
    index->entries.emplace_back();
    index->entries.back().message = 0;
    writer.setIndex(std::move(index));
    ASSERT_TRUE(writer.writeFile((root / "store" / "Inbox.dbx").string()));

    ProgramRun r = run({"--yes", "-o", out(), store()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 1u);
    EXPECT_FALSE(contains(r.out, "carving")) << r.out;

    fs::remove_all(root / "out");
    r = run({"--yes", "--rescue", "-o", out(), store()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 2u);
    EXPECT_TRUE(contains(r.out, "Messages recovered by carving: 0\nMessages not in the index: 1\n"
                                "Messages whose chain broke off: 0"))
        << r.out;
}

TEST_F(KlovinExtract, MessageTreesAreExtractedAndCutInPlace) {
    const fs::path mail = root / "mail";
    fs::create_directories(mail / "Inbox" / "Old");
    writeFile(mail / "Inbox" / "one.eml", makeMessage("one", {report}));
    writeFile(mail / "Inbox" / "Old" / "two.eml", makeMessage("two", {reportAgain, photo}));
    writeFile(mail / "Inbox" / "Old" / "three.eml", makeMessage("three", {}));
    const std::string three = readFile(mail / "Inbox" / "Old" / "three.eml");
    fs::create_directories(root / "out");

    ProgramRun r = run({"--eml", "-o", out(), mail.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 3u);
    EXPECT_TRUE(contains(r.out, "Mailboxes: 2\nEmails: 3\nAttachments: 3\n")) << r.out;
    EXPECT_TRUE(contains(readFile(mail / "Inbox" / "one.eml"), base64(report.content)));

    // Cutting message files asks nothing (there is no backup option for them) and
    // replaces each file that lost an attachment.
    fs::remove_all(root / "out");
    fs::create_directories(root / "out");
    r = run({"--eml", "--cut", "-o", out(), mail.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.err, "CAUTION!")) << r.err;
    EXPECT_EQ(folderFiles(root / "out").size(), 3u);
    const std::string one = readFile(mail / "Inbox" / "one.eml");
    EXPECT_FALSE(contains(one, base64(report.content))) << one;
    EXPECT_TRUE(contains(one, "Body of one")) << one;
    EXPECT_EQ(readFile(mail / "Inbox" / "Old" / "three.eml"), three);
    EXPECT_FALSE(contains(r.out, "have been cut")) << r.out;
    for (const auto& e : fs::recursive_directory_iterator(mail))
        EXPECT_FALSE(contains(e.path().filename().string(), "klovin-new")) << e.path();
}

// --only, --min-size and --skip-inline-images together; what they leave is counted in
// the summary and stays in its message.
TEST_F(KlovinExtract, WhatToTakeIsChosenAndTheRestCounted) {
    const fs::path mail = root / "mail";
    fs::create_directories(mail / "Inbox");
    const Attachment big{"big.PDF", std::string(3 * 1024, 'p')};
    const Attachment small{"small.pdf", std::string(3 * 1024 - 1, 's')};
    const Attachment sheet{"sheet.xls", std::string(5000, 'x')};
    writeFile(mail / "Inbox" / "one.eml", makeMessage("one", {big, small, sheet}));
    fs::create_directories(root / "out");
    const ProgramRun r = run({"--eml", "--cut", "--only", ".pdf,DOC", "--min-size", "3K",
                              "--skip-inline-images", "-o", out(), mail.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{{"big.PDF", big.content}}));
    EXPECT_TRUE(contains(r.out, "Attachments: 1\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "Attachments skipped: 2\n")) << r.out;
    const std::string one = readFile(mail / "Inbox" / "one.eml");
    EXPECT_TRUE(contains(one, base64(small.content)) && contains(one, base64(sheet.content)));
    EXPECT_FALSE(contains(one, base64(big.content)));
    // Without the options the summary says nothing of skipping.
    EXPECT_FALSE(contains(run({"--eml", "-o", out(), mail.string()}).out, "skipped"));
}

TEST_F(KlovinExtract, NotesAreLeftWhereTheCutAttachmentsWere) {
    const fs::path mail = root / "mail";
    fs::create_directories(mail / "Inbox");
    const Attachment big{"big.pdf", std::string(2000, 'b')};
    writeFile(mail / "Inbox" / "one.eml", makeMessage("one", {big, report}));
    fs::create_directories(root / "out");
    const ProgramRun r = run({"--eml", "--cut", "--note", "-o", out(), mail.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    // report.pdf's part is shorter than its note: it is cut without one.
    EXPECT_TRUE(contains(r.out, "Attachments cut with a note: 1\n")) << r.out;
    const std::string one = readFile(mail / "Inbox" / "one.eml");
    EXPECT_TRUE(contains(one, "The attachment big.pdf (2 KB) was saved as " +
                                  (root / "out" / "big.pdf").string() + " on "))
        << one;
    EXPECT_FALSE(contains(one, base64(big.content)) || contains(one, base64(report.content)));
}

TEST_F(KlovinExtract, QuietPrintsOnlyErrors) {
    mailbox("Inbox", {makeMessage("m", {report})});
    writeFile(root / "store" / "Broken.dbx", "short");
    fs::create_directories(root / "out");
    ProgramRun r = run({"-q", "-o", out(), (root / "store" / "Inbox.dbx").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    r = run({"-q", "-o", out(), store()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "is not an Outlook Express mailbox")) << r.err;

    // What was left undone is named, one line each, even when quiet.
    const fs::path mail = root / "mail" / "Inbox";
    fs::create_directories(mail);
    writeFile(mail / "linked.eml", makeMessage("linked", {report}));
    fs::create_hard_link(mail / "linked.eml", root / "link.eml");
    const Attachment tooLong{std::string(300, 'n') + ".txt", "lost"};
    writeFile(mail / "long.eml", makeMessage("long", {tooLong}));
    const fs::path deep = folderLeavingRoom(root / "out", 12);
    r = run({"-q", "--eml", "--cut", "-o", deep.string(), (root / "mail").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(contains(r.err, "linked.eml was not written back: the file has several hard "
                                "links"))
        << r.err;
    EXPECT_TRUE(contains(r.err, "could not save attachment " + tooLong.name + " of ")) << r.err;
}

TEST_F(KlovinExtract, TheOutputMustNotBeReadAsMail) {
    const fs::path mail = root / "mail";
    fs::create_directories(mail / "Inbox");
    const std::string message = makeMessage("one", {report});
    writeFile(mail / "Inbox" / "one.eml", message);
    // Inside the tree, though no folder of it holds messages yet: the next run would.
    for (const fs::path& output : {mail, mail / "Saved", mail / "Inbox" / "x"}) {
        const ProgramRun r = run({"--eml", "--cut", "-o", output.string(), mail.string()});
        EXPECT_EQ(r.status, 2) << output;
        EXPECT_TRUE(contains(r.err, "lies inside the message folders being read")) << r.err;
        EXPECT_FALSE(fs::exists(mail / "Saved"));
        EXPECT_EQ(readFile(mail / "Inbox" / "one.eml"), message);
    }
    mailbox("Inbox", {message});
    const std::string before = readFile(root / "store" / "Inbox.dbx");
    ProgramRun r = run({"--cut", "--yes", "-o", store(), store()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "is the mailbox folder being read")) << r.err;
    // A backup onto the mailbox itself.
    r = run({"--cut", "--backup", store(), "-o", out(), store()});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(contains(r.err, "is the mailbox folder")) << r.err;
    EXPECT_EQ(readFile(root / "store" / "Inbox.dbx"), before);
}
