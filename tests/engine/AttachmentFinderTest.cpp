// The attachment finder alone: messages in, what it finds out, in document order, with
// where each one's content lies and whether (and why not) it may be cut.
#include "JobFixture.h"
#include "Uuencoder.h"

#include "engine/AttachmentFinder.h"

using DbxTest::uuencode;
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

} // namespace

TEST(AttachmentFinder, FindsWhatAMessageHoldsAndSaysWhatMayBeCut) {
    AttachmentFinder finder;
    for (const Case& c : cases()) {
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
