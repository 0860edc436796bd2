// The attachment finder alone: messages in, what it finds out, in document order, with
// where each one's content lies and whether (and why not) it may be cut.
#include "BinHexWriter.h"
#include "JobFixture.h"
#include "TnefWriter.h"
#include "Uuencoder.h"

#include "engine/AttachmentFinder.h"

#include <set>

using DbxTest::uuencode;
using TOVK_Internet::BinHex;
using TOVK_Internet::MimePart;

namespace {

const std::string pdf = binary(700, 41);
const std::string png = binary(300, 42);

std::string part(const std::string& headers, const std::string& body) {
    return "--b\r\n" + headers + "\r\n\r\n" + body + "\r\n";
}

std::string named(const std::string& name, const std::string& content) {
    return part("Content-Type: application/octet-stream; name=\"" + name +
                    "\"\r\nContent-Transfer-Encoding: base64",
                base64(content));
}

std::string text(const std::string& encoding, const std::string& body) {
    return part("Content-Type: text/plain\r\nContent-Transfer-Encoding: " + encoding, body);
}

std::string mixed(const std::string& parts) {
    return "Subject: t\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n" + parts + "--b--\r\n";
}

// A message with one attachment, in.png, of its own boundary, to be forwarded.
const std::string inner = "Subject: inner\r\nContent-Type: multipart/mixed; boundary=i\r\n\r\n"
                          "--i\r\nContent-Type: text/plain\r\n\r\nold\r\n"
                          "--i\r\nContent-Type: image/png; name=in.png\r\n"
                          "Content-Transfer-Encoding: base64\r\n\r\n" +
                          base64(png) + "\r\n--i--\r\n";

std::string quotedPrintable(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '=' ? std::string("=3D") : std::string(1, c);
    return out;
}

// Forwarded in base64, depth times: the innermost holds in.png.
std::string forwardedInBase64(int depth) {
    std::string message = inner;
    for (int level = 0; level < depth; ++level)
        message = mixed(part("Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64",
                             base64(message)));
    return message;
}

struct Expected {
    std::string name;
    ContentKind kind;
    KeepReason keep;
    int32_t within;
    std::string content; // what it decodes to
    bool clean;
    std::string charset = ""; // of the name
};

struct Case {
    const char* what;
    std::string message;
    std::vector<Expected> found;
};

const ContentKind Part = ContentKind::Part;
const ContentKind Block = ContentKind::UuencodedBlock;

std::vector<Case> cases() {
    const std::string uuPng = uuencode("photo.png", png);
    return {
        {"plain attachments, the text parts hold none",
         mixed(text("7bit", "hello") + named("a.pdf", pdf) + named("b.png", png)),
         {{"a.pdf", Part, KeepReason::None, -1, pdf, true},
          {"b.png", Part, KeepReason::None, -1, png, true}}},
        {"a message that is itself the file is never cut",
         "Subject: scan\r\nContent-Type: application/pdf; name=\"scan.pdf\"\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" +
             base64(pdf),
         {{"scan.pdf", Part, KeepReason::IsTheMessage, -1, pdf, true}}},
        {"a part without the blank line after its headers has no exact extent",
         mixed(part("Content-Type: application/octet-stream; name=x.bin\r\n"
                    "Content-Transfer-Encoding: base64\r\n" +
                        base64(pdf),
                    "")),
         {{"x.bin", Part, KeepReason::NotExact, -1, pdf, true}}},
        {"base64 with what is no base64 after it is found, and decodes unclean",
         mixed(part("Content-Type: application/pdf; name=a.pdf\r\n"
                    "Content-Transfer-Encoding: base64",
                    "QUJD\r\n!!!!")),
         {{"a.pdf", Part, KeepReason::None, -1, "ABC", false}}},
        {"a named forwarded message is one attachment; its own goes with it",
         mixed(part("Content-Type: message/rfc822; name=\"fw.eml\"", inner)),
         {{"fw.eml", Part, KeepReason::None, -1, inner, true},
          {"in.png", Part, KeepReason::InsideAttachment, -1, png, true}}},
        {"an unnamed forwarded message is walked like the rest",
         mixed(part("Content-Type: message/rfc822", inner)),
         {{"in.png", Part, KeepReason::None, -1, png, true}}},
        {"a forwarded message in base64 is read, and what it holds stays",
         forwardedInBase64(1),
         {{"in.png", Part, KeepReason::InEncodedForward, -1, png, true}}},
        {"a named forwarded message in base64: it may go, what it holds is within it",
         mixed(part("Content-Type: message/rfc822; name=\"fw.eml\"\r\n"
                    "Content-Transfer-Encoding: base64",
                    base64(inner))),
         {{"fw.eml", Part, KeepReason::None, -1, inner, true},
          {"in.png", Part, KeepReason::InEncodedForward, 0, png, true}}},
        {"forwarded messages are read sixteen levels deep",
         forwardedInBase64(16),
         {{"in.png", Part, KeepReason::InEncodedForward, -1, png, true}}},
        {"and no deeper", forwardedInBase64(17), {}},
        {"uuencoded files in a plain text are cut out of it, each alone",
         mixed(text("7bit", "Hi\r\n" + uuPng + "between\r\n" + uuencode("doc.pdf", pdf))),
         {{"photo.png", Block, KeepReason::None, -1, png, true},
          {"doc.pdf", Block, KeepReason::None, -1, pdf, true}}},
        {"a message that is no MIME at all is its own text",
         "Subject: old\n\ntext\n" + uuencode("bare.bin", "abc", "\n") + "tail\n",
         {{"bare.bin", Block, KeepReason::None, -1, "abc", true}}},
        {"in a quoted-printable text they exist only encoded",
         mixed(text("quoted-printable", "See:\r\n" + quotedPrintable(uuPng))),
         {{"photo.png", Block, KeepReason::InEncodedText, -1, png, true}}},
        {"in a base64 text too",
         mixed(text("base64", base64("See:\r\n" + uuPng))),
         {{"photo.png", Block, KeepReason::InEncodedText, -1, png, true}}},
        {"an encoding nobody decodes hides nothing", mixed(text("x-gzip64", uuPng)), {}},
        {"a text inside a named forwarded message goes with it",
         mixed(part("Content-Type: message/rfc822; name=\"fw.eml\"", "Subject: x\r\n\r\n" + uuPng)),
         {{"fw.eml", Part, KeepReason::None, -1, "Subject: x\r\n\r\n" + uuPng, true},
          {"photo.png", Block, KeepReason::InsideAttachment, -1, png, true}}},
        {"an unnamed part in x-uuencode is named by its begin line",
         mixed(part("Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: x-uue",
                    uuPng)),
         {{"photo.png", Part, KeepReason::None, -1, png, true}}},
        {"a uuencoded part without its end line decodes unclean",
         mixed(part("Content-Type: application/octet-stream; name=n.bin\r\n"
                    "Content-Transfer-Encoding: x-uuencode",
                    "begin 644 n.bin\r\n#86)C")),
         {{"n.bin", Part, KeepReason::None, -1, "abc", false}}},
        {"a whole message in x-uuencode is the message",
         "Subject: u\r\nContent-Transfer-Encoding: x-uuencode\r\n\r\n" + uuPng,
         {{"photo.png", Part, KeepReason::IsTheMessage, -1, png, true}}},
    };
}

void expectFinds(const std::vector<Case>& cases) {
    AttachmentFinder finder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TOVK_Utils::LightBlock text(c.message.data(), int32_t(c.message.size()));
        MimePart root;
        root.parse(text);
        const auto& found = finder.find(root);
        ASSERT_EQ(found.size(), c.found.size());
        TOVK_Utils::Block scratch;
        for (size_t i = 0; i < found.size(); ++i) {
            const Expected& want = c.found[i];
            SCOPED_TRACE(want.name);
            EXPECT_EQ(std::string(found[i].name), want.name);
            EXPECT_EQ(std::string(found[i].charset), want.charset);
            EXPECT_EQ(found[i].kind, want.kind);
            EXPECT_EQ(found[i].keep, want.keep);
            EXPECT_EQ(found[i].mayBeCut(), want.keep == KeepReason::None);
            EXPECT_EQ(found[i].within, want.within);
            bool clean = !want.clean;
            const TOVK_Utils::Block& content = AttachmentFinder::content(found[i], scratch, clean);
            EXPECT_EQ(::text(content), want.content);
            EXPECT_EQ(clean, want.clean);
            EXPECT_GT(found[i].encodedLength, 0);
        }
    }
}

} // namespace

TEST(AttachmentFinder, FindsWhatAMessageHoldsAndSaysWhatMayBeCut) {
    expectFinds(cases());
}

// What the finder hands over stays valid until the next find, however many encoded texts
// and forwarded messages one message needs decoded at once, and the finder only reads.
TEST(AttachmentFinder, KeepsWhatItDecodedUntilTheNextFind) {
    const std::string message =
        mixed(text("base64", base64(uuencode("one.bin", pdf))) +
              text("quoted-printable", quotedPrintable(uuencode("two.bin", png))) +
              text("base64", "SGVsbG8=") +
              part("Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64",
                   base64(forwardedInBase64(1))) +
              text("base64", base64(uuencode("three.bin", "3"))));
    TOVK_Utils::LightBlock bytes(message.data(), int32_t(message.size()));
    MimePart root;
    root.parse(bytes);
    AttachmentFinder finder;
    const auto& found = finder.find(root);
    std::vector<std::string> names, contents;
    TOVK_Utils::Block scratch;
    for (const auto& f : found) {
        names.emplace_back(f.name);
        bool clean = false;
        contents.push_back(text(AttachmentFinder::content(f, scratch, clean)));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"one.bin", "two.bin", "in.png", "three.bin"}));
    EXPECT_EQ(contents, (std::vector<std::string>{pdf, png, png, "3"}));
    // That the tree is left as it was the compiler now holds: find takes it const, and
    // what is cut is the caller's CutPlan.

    // An unparseable message holds nothing, and the next find forgets the last.
    std::string many = "Subject: many\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
    for (int32_t i = 0; i <= MimePart::maxParts; ++i)
        many += "--b\r\n\r\nx\r\n";
    TOVK_Utils::LightBlock manyBytes(many.data(), int32_t(many.size()));
    MimePart huge;
    huge.parse(manyBytes);
    ASSERT_TRUE(huge.isUnparseable());
    EXPECT_TRUE(finder.find(huge).empty());
}

namespace {

const ContentKind BinHexFork = ContentKind::BinHexDataFork;
const ContentKind InTnef = ContentKind::TnefFile;
const KeepReason Signed = KeepReason::Signed, Encrypted = KeepReason::Encrypted;

// A multipart/signed part over the given part, then a PGP signature.
std::string signedPart(const std::string& headers, const std::string& body) {
    return part("Content-Type: multipart/signed; boundary=s",
                "--s\r\n" + headers + "\r\n\r\n" + body +
                    "\r\n--s\r\nContent-Type: application/pgp-signature\r\n\r\nsig\r\n--s--");
}

// A multipart/encrypted message: its control part, then the payload part.
std::string encrypted(const std::string& control, const std::string& payload) {
    return "Subject: e\r\nContent-Type: multipart/encrypted; boundary=e\r\n\r\n--e\r\n" + control +
           "\r\n\r\nVersion: 1\r\n--e\r\n" + payload + "\r\n\r\nsecret\r\n--e--\r\n";
}

std::string tnef(const std::string& headers, const std::string& bytes) {
    return mixed(part(headers + "\r\nContent-Transfer-Encoding: base64", base64(bytes)));
}

// The finer points of the rules; CuttingTest and AttachmentRulesTest take whole messages
// of each kind through a job.
std::vector<Case> ruleCases() {
    const std::string uuPng = uuencode("photo.png", png);
    const std::string pdfPart = "Content-Type: application/pdf; name=a.pdf\r\n"
                                "Content-Transfer-Encoding: base64";
    const std::string hqx = DbxTest::binHex({"Report 1", pdf, "res"});
    const std::string binHexType = "Content-Type: application/mac-binhex40";
    const char* mac = BinHex::nameCharset;
    DbxTest::TnefWriter two;
    two.file("A.TXT", "text").file("B.PDF", pdf);
    const std::string octets = "Content-Type: application/octet-stream";
    return {
        {"a signed text's uuencoded files stay",
         mixed(signedPart("Content-Type: text/plain", uuPng)),
         {{"photo.png", Block, Signed, -1, png, true}}},
        {"so do a forwarded message's, sent plain or encoded",
         mixed(signedPart("Content-Type: message/rfc822", inner) +
               signedPart("Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64",
                          base64(inner))),
         {{"in.png", Part, Signed, -1, png, true}, {"in.png", Part, Signed, -1, png, true}}},
        {"only what lies below the signature",
         mixed(named("b.png", png) + signedPart(pdfPart, base64(pdf))),
         {{"b.png", Part, KeepReason::None, -1, png, true},
          {"a.pdf", Part, Signed, -1, pdf, true}}},
        {"the first part of an encrypted message is its control part, named or not",
         encrypted("Content-Type: application/x-other; name=c.txt", octets),
         {{"encrypted.bin", Part, Encrypted, -1, "secret", true}}},
        {"a PGP payload's own name is kept",
         encrypted("Content-Type: application/pgp-encrypted", octets + "; name=m.asc"),
         {{"m.asc", Part, Encrypted, -1, "secret", true}}},
        {"an S/MIME message as a part, unnamed",
         mixed(part("Content-Type: application/x-pkcs7-mime", "p7")),
         {{"smime.p7m", Part, Encrypted, -1, "p7", true}}},
        {"a text named by a blank holds uuencoded files as any text",
         mixed(part("Content-Type: text/plain; name=\" \"", uuPng)),
         {{"photo.png", Block, KeepReason::None, -1, png, true}}},
        {"an attachment disposition names it after its type",
         mixed(
             part("Content-Type: text/plain; name=\" \"\r\nContent-Disposition: attachment", "n")),
         {{"attachment.txt", Part, KeepReason::None, -1, "n", true}}},
        {"an external body named as an attachment is none",
         mixed(part("Content-Type: message/external-body\r\n"
                    "Content-Disposition: attachment; filename=a.pdf",
                    "Content-Type: application/pdf\r\n")),
         {}},
        {"BinHex: the header's name beats that of the .hqx text",
         mixed(part(binHexType + "; name=\"report.HQX\"", hqx)),
         {{"Report 1", BinHexFork, KeepReason::None, -1, pdf, true, mac}}},
        {"any other name is the file's",
         mixed(part(binHexType + "; name=\"r.hqx.pdf\"", hqx)),
         {{"r.hqx.pdf", BinHexFork, KeepReason::None, -1, pdf, true}}},
        {"found in a text by its first line, and in base64 by its type",
         mixed(text("7bit", "\r\n" + hqx) +
               part("Content-Type: application/x-mac-binhex40\r\nContent-Transfer-Encoding: base64",
                    base64(hqx))),
         {{"Report 1", BinHexFork, KeepReason::None, -1, pdf, true, mac},
          {"Report 1", BinHexFork, KeepReason::None, -1, pdf, true, mac}}},
        {"no BinHex inside: the part as it is",
         mixed(part(binHexType + "; name=z.hqx", "text")),
         {{"z.hqx", Part, KeepReason::None, -1, "text", true}}},
        {"TNEF found by its name alone",
         tnef(octets + "; name=WINMAIL.DAT", two.bytes),
         {{"A.TXT", InTnef, KeepReason::Tnef, -1, "text", true},
          {"B.PDF", InTnef, KeepReason::Tnef, -1, pdf, true}}},
        {"typed TNEF that is none is kept as winmail.dat",
         tnef("Content-Type: application/vnd.ms-tnef", "x"),
         {{"winmail.dat", Part, KeepReason::Tnef, -1, "x", true}}},
        {"a file only named winmail.dat is any file",
         tnef(octets + "; name=winmail.dat", "x"),
         {{"winmail.dat", Part, KeepReason::None, -1, "x", true}}},
    };
}

} // namespace

TEST(AttachmentFinder, KnowsWhatIsNoAttachmentAndWhatMustStay) {
    expectFinds(ruleCases());
}

// A later list of kept attachments names each reason: no two may read the same.
TEST(AttachmentFinder, EveryReasonToKeepHasItsOwnText) {
    std::set<std::string> texts;
    for (int reason = 0; reason <= int(KeepReason::NotReadBack); ++reason)
        texts.insert(describe(KeepReason(reason)));
    EXPECT_EQ(texts.size(), size_t(KeepReason::NotReadBack) + 1);
    EXPECT_EQ(texts.count("unknown"), 0u);
}
