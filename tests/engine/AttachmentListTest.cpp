// The list of saved attachments, the saved files' dates and the folder per mailbox,
// through whole jobs.
#include "JobFixture.h"

#include "engine/AttachmentList.h"
#include "utils/FileSystem.h"
#include "utils/Sha256.h"

#include <ctime>

namespace {

using Row = std::vector<std::string>;

// RFC 4180 read strictly: the file must start with the byte-order mark and end every
// row with CR LF.
std::vector<Row> readList(const fs::path& path) {
    const std::string text = readFile(path);
    EXPECT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0) << "no byte-order mark";
    std::vector<Row> rows;
    Row row;
    std::string field;
    bool quoted = false;
    for (size_t i = 3; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\r') {
            EXPECT_EQ(text[i + 1], '\n') << "a row not ended by CR LF";
            ++i;
            row.push_back(field);
            field.clear();
            rows.push_back(row);
            row.clear();
        } else {
            EXPECT_NE(c, '\n') << "a bare LF";
            field += c;
        }
    }
    EXPECT_TRUE(row.empty() && field.empty()) << "the last row is not ended";
    return rows;
}

const Row heading = {"file",    "size", "sha256", "name",    "mailbox",
                     "message", "date", "from",   "subject", "cut"};

std::string sha256Of(const std::string& bytes) {
    TOVK_Utils::Sha256 hash;
    hash.add(bytes.data(), bytes.size());
    return hash.finishHex();
}

std::string withHeaders(const std::string& headers, const std::string& message) {
    return headers + message;
}

int64_t modified(const fs::path& path) {
    int64_t when = 0;
    EXPECT_TRUE(TOVK_Utils::modificationTime(TOVK_Utils::String(path.string().c_str()), when));
    return when;
}

void setModified(const fs::path& path, int64_t when) {
    ASSERT_TRUE(TOVK_Utils::setModificationTime(TOVK_Utils::String(path.string().c_str()), when));
}

// A signed message's attachment: saved, never cut.
std::string signedMessage(const std::string& name, const std::string& content) {
    return "From: signer@example.org\r\nSubject: signed\r\n"
           "Date: Tue, 3 Jan 2006 10:00:00 +0000\r\n"
           "Content-Type: multipart/signed; protocol=\"application/pgp-signature\"; "
           "boundary=\"s\"\r\n\r\n--s\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
           "--m\r\nContent-Type: text/plain\r\n\r\nsee the file\r\n--m\r\n"
           "Content-Type: application/octet-stream; name=\"" +
           name + "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64(content) +
           "\r\n--m--\r\n--s\r\nContent-Type: application/pgp-signature\r\n\r\nsig\r\n--s--\r\n";
}

class AttachmentListTest : public JobTest {
protected:
    fs::path listPath() const { return root / "list.csv"; }
    void chooseList() {
        view.chosen.writeList = true;
        // A copy: the path's text does not outlive this call.
        view.chosen.listFile = TOVK_Utils::String(TOVK_Utils::Block(listPath().string().c_str()));
    }
};

// Each row against the saved file it names (size, hash, bytes) and the message it came
// from (number, decoded sender and subject, date in UTC); a file found saved already is
// listed under its name; a name and a subject with a comma or quotes come back whole.
TEST_F(AttachmentListTest, RowsMatchTheSavedFilesAndTheirMessages) {
    const std::string first = binary(700, 1), other = binary(300, 2);
    addMailbox("Inbox", {withHeaders("Date: Mon, 2 Jan 2006 15:04:05 +0100\r\n"
                                     "From: =?utf-8?B?SsO8cmdlbg==?= <j@example.org>\r\n",
                                     makeMessage("=?iso-8859-1?Q?R=E9sum=E9?=, \"quoted\"",
                                                 {{"a.bin", first}, {"b,c.txt", "text"}})),
                         makeMessage("second", {{"a.bin", first}, {"a.bin", other}}),
                         signedMessage("s.pdf", "pdf bytes")});
    view.cut = true;
    view.backups = false;
    chooseList();
    runJob();

    const std::vector<Row> rows = readList(listPath());
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], heading);
    // Messages lose From/Subject/Date when makeMessage writes its own; the first wins.
    const Row expected[] = {
        {"a.bin", "700", sha256Of(first), "a.bin", "Inbox", "1", "2006-01-02T14:04:05Z",
         "J\xC3\xBCrgen <j@example.org>", "R\xC3\xA9sum\xC3\xA9, \"quoted\"", "cut"},
        {"b,c.txt", "4", sha256Of("text"), "b,c.txt", "Inbox", "1", "2006-01-02T14:04:05Z",
         "J\xC3\xBCrgen <j@example.org>", "R\xC3\xA9sum\xC3\xA9, \"quoted\"", "cut"},
        {"a.bin", "700", sha256Of(first), "a.bin", "Inbox", "2", "", "sender@example.org", "second",
         "cut"},
        {"a_1.bin", "300", sha256Of(other), "a.bin", "Inbox", "2", "", "sender@example.org",
         "second", "cut"},
        {"s.pdf", "9", sha256Of("pdf bytes"), "s.pdf", "Inbox", "3", "2006-01-03T10:00:00Z",
         "signer@example.org", "signed", "kept: a signed message"},
    };
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(rows[i + 1], expected[i]) << "row " << i + 1;
        const std::string saved = readFile(root / "out" / utf8Path(rows[i + 1][0]));
        EXPECT_EQ(std::to_string(saved.size()), rows[i + 1][1]);
        EXPECT_EQ(sha256Of(saved), rows[i + 1][2]);
    }
}

// With notes, the list tells a part cut with its note from one too small to hold it.
// Each digest is made while the job goes on to the next attachment: every row still holds
// the digest of its own file, in the order found, across skipped ones and messages.
TEST_F(AttachmentListTest, EachRowHoldsItsOwnFilesDigest) {
    std::vector<std::string> contents;
    std::vector<std::string> messages;
    for (unsigned m = 0; m < 3; ++m) {
        std::vector<Attachment> parts;
        for (unsigned a = 0; a < 4; ++a) {
            const std::string name = "m" + std::to_string(m) + "a" + std::to_string(a) + ".bin";
            // Every second one is too small to take.
            const std::string bytes = binary(a % 2 ? 50 : 4000 + 1000 * a + m, 10 * m + a);
            parts.push_back({name, bytes});
            if (a % 2 == 0)
                contents.push_back(bytes);
        }
        messages.push_back(makeMessage("m" + std::to_string(m), parts));
    }
    addMailbox("Inbox", messages);
    view.chosen.minSize = 100;
    chooseList();
    runJob();

    const std::vector<Row> rows = readList(listPath());
    ASSERT_EQ(rows.size(), contents.size() + 1);
    for (size_t i = 0; i < contents.size(); ++i) {
        EXPECT_EQ(rows[i + 1][0], "m" + std::to_string(i / 2) + "a" + std::to_string(i % 2 * 2) +
                                      ".bin");
        EXPECT_EQ(rows[i + 1][2], sha256Of(contents[i])) << rows[i + 1][0];
    }
}

TEST_F(AttachmentListTest, TheListSaysWhichPartsWereCutWithANote) {
    addMailbox("Inbox", {makeMessage("notes", {{"big.bin", binary(2000, 3)}, {"s.txt", "tiny"}})});
    view.cut = true;
    view.backups = false;
    view.chosen.leaveNote = true;
    chooseList();
    runJob();

    const std::vector<Row> rows = readList(listPath());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], "big.bin");
    EXPECT_EQ(rows[1][9], "cut with a note");
    EXPECT_EQ(rows[2][0], "s.txt");
    EXPECT_EQ(rows[2][9], "cut");
}

// The desktop program's list: attachments.csv in the destination, or the first free
// numbered name; the last status line says where it is. Without cutting the cut column
// stays empty.
TEST_F(AttachmentListTest, DesktopListTakesAFreeNameAndTheLastStatusSaysWhere) {
    writeFile(root / "out" / "attachments.csv", "someone's own list");
    addMailbox("Inbox", {makeMessage("one", {{"x.txt", "x"}})});
    view.chosen.writeList = true;
    runJob();

    EXPECT_EQ(readFile(root / "out" / "attachments.csv"), "someone's own list");
    const std::vector<Row> rows = readList(root / "out" / "attachments_1.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][0], "x.txt");
    EXPECT_EQ(rows[1][9], "");
    const std::vector<std::string> set = view.texts("set");
    ASSERT_FALSE(set.empty());
    EXPECT_EQ(set.back(), "The list of the saved attachments is " +
                              (root / "out" / "attachments_1.csv").string());
}

// klovin-extract runs a job per store folder: a named list is continued by each, with
// one heading.
TEST_F(AttachmentListTest, ANamedListIsContinuedByTheNextJob) {
    addMailbox("Inbox", {makeMessage("one", {{"x.txt", "x"}})});
    chooseList();
    runJob();
    writeFile(root / "store" / "Inbox.dbx", "");
    view.list.rows.clear();
    addMailbox("Sent", {makeMessage("two", {{"y.txt", "y"}})});
    runJob();

    const std::vector<Row> rows = readList(listPath());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], heading);
    EXPECT_EQ(rows[1][4] + rows[1][0], "Inboxx.txt");
    EXPECT_EQ(rows[2][4] + rows[2][0], "Senty.txt");
}

TEST(AttachmentListFieldTest, QuotedOnlyWhenTheFieldNeedsItAndNeverAFormula) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain.txt", "plain.txt"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"lf\nonly", "\"lf\nonly\""},
        {"'single' ; semi", "'single' ; semi"},
        // What a spreadsheet would run stays text.
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1 invoice.pdf", "'+1 invoice.pdf"},
        {"-report.pdf", "'-report.pdf"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tcmd", "'\tcmd"},
        {"\rcmd", "\"'\rcmd\""},
        {"a=b", "a=b"},
    };
    for (const auto& [field, written] : cases) {
        std::string line;
        AttachmentList::appendField(line, field);
        EXPECT_EQ(line, written) << field;
    }
}

// A new file takes its message's date; a file found saved already keeps its own time; a
// mailbox message without a Date leaves its file with the time of its saving; a message
// file without one gives its files its own time.
TEST_F(AttachmentListTest, NewFilesCarryTheirMessagesDate) {
    const int64_t dated = 1136210645; // 2006-01-02T14:04:05Z
    writeFile(root / "out" / "old.bin", "old");
    setModified(root / "out" / "old.bin", 1000000000);
    addMailbox("Inbox", {withHeaders("Date: Mon, 2 Jan 2006 15:04:05 +0100\r\n",
                                     makeMessage("one", {{"new.bin", "new"}, {"old.bin", "old"}})),
                         makeMessage("undated", {{"undated.bin", "u"}})});
    const int64_t before = int64_t(std::time(nullptr)) - 5;
    runJob();
    EXPECT_EQ(modified(root / "out" / "new.bin"), dated);
    EXPECT_EQ(modified(root / "out" / "old.bin"), 1000000000);
    EXPECT_GE(modified(root / "out" / "undated.bin"), before);

    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    writeFile(folder / "1.eml", makeMessage("no date", {{"eml.bin", "e"}}));
    writeFile(folder / "2.eml",
              withHeaders("Date: garbage\r\n", makeMessage("bad date", {{"bad.bin", "b"}})));
    setModified(folder / "1.eml", 1200000000);
    setModified(folder / "2.eml", 1300000000);
    view.emlFolders = true;
    view.list.rows = {{folder.string(), true}};
    runJob();
    EXPECT_EQ(modified(root / "out" / "eml.bin"), 1200000000);
    EXPECT_EQ(modified(root / "out" / "bad.bin"), 1300000000);
}

// Each mailbox's files in a folder named after it, cleaned like an attachment's name; the
// unique-name rule holds within each folder; a mailbox without attachments leaves no
// folder; the list names the files below the destination.
TEST_F(AttachmentListTest, AFolderForEachMailbox) {
    // Windows allows no colon in a mailbox's file name: there the name needs no cleaning.
    const bool windows = TOVK_Utils::hostPathRules.driveAndNetworkRoots;
    const std::string clients = windows ? "Clients" : "Cl:ients";
    const std::string cleaned = windows ? "Clients" : "Cl_ients";
    addMailbox("Inbox", {makeMessage("1", {{"a.txt", "inbox"}, {"a.txt", "inbox 2"}})});
    addMailbox(clients, {makeMessage("2", {{"a.txt", "clients"}})});
    addMailbox("Empty", {makeMessage("3", {})});
    view.chosen.folderPerMailbox = true;
    chooseList();
    runJob();

    EXPECT_EQ(folderFiles(root / "out" / "Inbox"),
              (std::map<std::string, std::string>{{"a.txt", "inbox"}, {"a_1.txt", "inbox 2"}}));
    EXPECT_EQ(folderFiles(root / "out" / cleaned),
              (std::map<std::string, std::string>{{"a.txt", "clients"}}));
    EXPECT_FALSE(fs::exists(root / "out" / "Empty"));
    EXPECT_TRUE(folderFiles(root / "out").empty());
    const std::vector<Row> rows = readList(listPath());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][0], (fs::path("Inbox") / "a.txt").string());
    EXPECT_EQ(rows[2][0], (fs::path("Inbox") / "a_1.txt").string());
    EXPECT_EQ(rows[3][0], (fs::path(cleaned) / "a.txt").string());
    EXPECT_EQ(rows[3][4], clients);
}

// Message folders keep their path below the tree's root, which is the deepest folder that
// holds every ticked one; the list names the message folder and file of each row.
TEST_F(AttachmentListTest, MessageFoldersKeepTheirPathBelowTheRoot) {
    const fs::path tree = root / "mail";
    for (const char* sub : {"Inbox", "Local/Clients"}) {
        fs::create_directories(tree / sub);
        writeFile(tree / sub / "m.eml", makeMessage(sub, {{"a.txt", sub}}));
        view.list.rows.push_back({(tree / sub).string(), true});
    }
    view.emlFolders = true;
    view.chosen.folderPerMailbox = true;
    chooseList();
    runJob();

    EXPECT_EQ(readFile(root / "out" / "Inbox" / "a.txt"), "Inbox");
    EXPECT_EQ(readFile(root / "out" / "Local" / "Clients" / "a.txt"), "Local/Clients");
    const std::vector<Row> rows = readList(listPath());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2][0], (fs::path("Local") / "Clients" / "a.txt").string());
    EXPECT_EQ(rows[2][4], (tree / "Local/Clients").string());
    EXPECT_EQ(rows[2][5], "m.eml");
}

} // namespace
