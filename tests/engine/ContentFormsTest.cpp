// Every kind of attachment a user expects, cut by the same rules: uuencoded files in text,
// forwarded messages, a message that is itself the file, unnamed attachments.
#include "JobFixture.h"
#include "Uuencoder.h"

using DbxTest::uuencode;

namespace {

std::string erased(std::string text, const std::string& what) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos)
        text.erase(at, what.size());
    return text;
}

const std::string png = binary(500, 31);
const std::string pdf = binary(2000, 32);

std::string textPart(const std::string& encoding, const std::string& body) {
    return "--b\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: " + encoding +
           "\r\n\r\n" + body + "\r\n";
}

std::string mixed(const std::string& parts) {
    return "Subject: forms\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n" + parts +
           "--b--\r\n";
}

} // namespace

TEST_F(JobTest, UuencodedFilesLeaveOnlyPlainTextParts) {
    view.cut = true;
    const std::string block = uuencode("photo.png", png);
    const std::string plain = mixed(textPart("7bit", "Hello,\r\n\r\n" + block + "\r\nBye"));
    // In quoted-printable the block exists only encoded: "=" becomes "=3D".
    std::string qpBlock = uuencode("other.pdf", pdf);
    std::string qp;
    for (char c : qpBlock)
        qp += c == '=' ? std::string("=3D") : std::string(1, c);
    const std::string quoted = mixed(textPart("quoted-printable", "See:\r\n" + qp));
    // A message that is no MIME at all, with LF line ends.
    const std::string bare =
        "Subject: old\n\ntext\n" + uuencode("bare.bin", "abc", "\n") + "tail\n";
    addMailbox("Inbox", {plain, quoted, bare});

    runJob();

    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{
                  {"photo.png", png}, {"other.pdf", pdf}, {"bare.bin", "abc"}}));
    const auto texts = mailboxTexts(root / "store" / "Inbox.dbx");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], erased(plain, block)); // the rest of the text stays
    EXPECT_EQ(texts[1], quoted);
    EXPECT_EQ(texts[2], erased(bare, uuencode("bare.bin", "abc", "\n")));
    EXPECT_EQ(job.counts().keptInMessage, 1);
    EXPECT_EQ(job.counts().writeFailures, 0);
}

TEST_F(JobTest, UuencodePartsAreDecoded) {
    view.cut = true;
    const std::string named = "--b\r\nContent-Type: application/pdf; name=n.pdf\r\n"
                              "Content-Transfer-Encoding: x-uuencode\r\n\r\n" +
                              uuencode("ignored.pdf", pdf) + "\r\n";
    const std::string unnamed = "--b\r\nContent-Type: application/octet-stream\r\n"
                                "Content-Transfer-Encoding: x-uue\r\n\r\n" +
                                uuencode("from-begin.png", png) + "\r\n";
    const std::string message = mixed(textPart("7bit", "two files") + named + unnamed);
    addMailbox("Inbox", {message});

    runJob();

    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{{"n.pdf", pdf}, {"from-begin.png", png}}));
    EXPECT_EQ(mailboxTexts(root / "store" / "Inbox.dbx")[0],
              erased(erased(message, named), unnamed));
}

TEST_F(JobTest, AMessageThatIsTheFileIsExtractedButNeverCut) {
    view.cut = true;
    const std::string scan = "From: scanner@example.org\r\nSubject: Scan\r\n"
                             "Content-Type: application/pdf; name=\"scan 1.pdf\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n\r\n" +
                             base64(pdf) + "\r\n";
    addMailbox("Inbox", {scan});

    runJob();

    EXPECT_EQ(folderFiles(root / "out"), (std::map<std::string, std::string>{{"scan 1.pdf", pdf}}));
    EXPECT_EQ(mailboxTexts(root / "store" / "Inbox.dbx")[0], scan);
    EXPECT_EQ(job.counts().keptInMessage, 1);
}

TEST_F(JobTest, ForwardedMessagesAreWalked) {
    view.cut = true;
    const std::string inner = "--i\r\nContent-Type: image/png; name=in.png\r\n"
                              "Content-Transfer-Encoding: base64\r\n\r\n" +
                              base64(png) + "\r\n";
    const std::string message =
        "Subject: inner\r\nContent-Type: multipart/mixed; boundary=i\r\n\r\n"
        "--i\r\nContent-Type: text/plain\r\n\r\nold text\r\n" +
        inner + "--i--\r\n";
    auto forward = [&](const std::string& type, const std::string& body) {
        return "--b\r\nContent-Type: " + type + "\r\n\r\n" + body + "\r\n";
    };
    // Named: saved whole and cut whole; its attachment is saved too, never cut alone.
    const std::string namedPart = forward("message/rfc822; name=\"fw.eml\"", message);
    const std::string named = mixed(textPart("7bit", "fyi") + namedPart);
    // Unnamed: walked like the rest, its attachment cut alone.
    const std::string unnamed = mixed(textPart("7bit", "fyi") + forward("message/rfc822", message));
    // In base64: read, never cut inside.
    const std::string encoded =
        mixed(textPart("7bit", "fyi") +
              forward("message/rfc822\r\nContent-Transfer-Encoding: base64", base64(message)));
    addMailbox("Inbox", {named, unnamed, encoded});

    runJob();

    const auto files = folderFiles(root / "out");
    EXPECT_EQ(files.at("fw.eml"), message);
    EXPECT_EQ(files.at("in.png"), png); // the three copies are identical: one file
    EXPECT_EQ(files.size(), 2u);
    const auto texts = mailboxTexts(root / "store" / "Inbox.dbx");
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], erased(named, namedPart));
    EXPECT_EQ(texts[1], erased(unnamed, inner));
    EXPECT_EQ(texts[2], encoded);
    EXPECT_EQ(job.counts().writeFailures, 0);
    EXPECT_EQ(view.counters[ViewCounter::Attachments], "4"); // fw.eml and in.png three times
}

TEST_F(JobTest, UnnamedAttachmentsAreNamedAfterTheirType) {
    view.cut = true;
    auto part = [](const std::string& type, const std::string& content) {
        return "--b\r\nContent-Type: " + type +
               "\r\nContent-Disposition: attachment\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               base64(content) + "\r\n";
    };
    const std::string message =
        mixed(textPart("7bit", "three") + part("application/pdf", pdf) +
              part("application/pdf", png) + part("application/x-nobody-knows", "?"));
    addMailbox("Inbox", {message});

    runJob();

    EXPECT_EQ(folderFiles(root / "out"),
              (std::map<std::string, std::string>{
                  {"attachment.pdf", pdf}, {"attachment_1.pdf", png}, {"attachment", "?"}}));
}
