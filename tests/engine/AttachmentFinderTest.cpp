// The attachment finder alone: messages in, what it finds out, in document order, with
// where each one's content lies and whether (and why not) it may be cut.
#include "JobFixture.h"
#include "BinHexWriter.h"
#include "TnefWriter.h"
#include "Uuencoder.h"

#include "engine/AttachmentFinder.h"

#include <set>

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

// A multipart of the given type and parameters, its own boundary s.
std::string multipart(const std::string& type, const std::string& parts) {
    return "Content-Type: " + type + "; boundary=s\r\n\r\n" + parts + "--s--";
}

std::string subpart(const std::string& headers, const std::string& body) {
    return "--s\r\n" + headers + "\r\n\r\n" + body + "\r\n";
}

const std::string pgpSignature = "Content-Type: application/pgp-signature; name=\"signature.asc\"";
const std::string signatureText = "-----BEGIN PGP SIGNATURE-----\r\nabc\r\n-----END PGP SIGNATURE-----";

// A multipart/signed whose first part is the given one, then a PGP signature.
std::string signedPart(const std::string& signedHeaders, const std::string& signedBody) {
    return part(multipart("multipart/signed; protocol=\"application/pgp-signature\"",
                          subpart(signedHeaders, signedBody) + subpart(pgpSignature, signatureText)),
                "");
}

} // namespace

TEST(AttachmentFinder, SignaturesAreNoAttachments) {
    const std::string attachment = "Content-Disposition: attachment; filename=smime.p7s";
    expectFinds({
        {"a PGP signature, named", mixed(part(pgpSignature, signatureText) + named("a.pdf", pdf)),
         {{"a.pdf", Part, KeepReason::None, -1, pdf, true}}},
        {"an S/MIME signature with a file name",
         mixed(part("Content-Type: application/pkcs7-signature\r\n" + attachment, base64(png))),
         {}},
        {"the old S/MIME type, named by its disposition alone",
         mixed(part("Content-Type: application/x-pkcs7-signature\r\n"
                    "Content-Disposition: attachment\r\nContent-Transfer-Encoding: base64",
                    base64(png))),
         {}},
    });
}

TEST(AttachmentFinder, WhatASignatureCoversStays) {
    const std::string uuPng = uuencode("photo.png", png);
    const std::string mixedInside =
        multipart("multipart/mixed", subpart("Content-Type: text/plain", "hi") +
                                         subpart("Content-Type: application/pdf; name=a.pdf\r\n"
                                                 "Content-Transfer-Encoding: base64",
                                                 base64(pdf)));
    expectFinds({
        {"an attachment under multipart/signed",
         mixed(signedPart(mixedInside.substr(0, mixedInside.find("\r\n\r\n")),
                          mixedInside.substr(mixedInside.find("\r\n\r\n") + 4))),
         {{"a.pdf", Part, KeepReason::Signed, -1, pdf, true}}},
        {"a uuencoded file in the signed text",
         mixed(signedPart("Content-Type: text/plain", "See:\r\n" + uuPng)),
         {{"photo.png", Block, KeepReason::Signed, -1, png, true}}},
        {"a forwarded message's attachment under the signature",
         mixed(signedPart("Content-Type: message/rfc822", inner)),
         {{"in.png", Part, KeepReason::Signed, -1, png, true}}},
        {"a forwarded message sent in base64 under the signature",
         mixed(signedPart("Content-Type: message/rfc822\r\nContent-Transfer-Encoding: base64",
                          base64(inner))),
         {{"in.png", Part, KeepReason::Signed, -1, png, true}}},
        {"only what lies below the signature",
         mixed(named("b.png", png) + signedPart("Content-Type: application/pdf; name=a.pdf\r\n"
                                                "Content-Transfer-Encoding: base64",
                                                base64(pdf))),
         {{"b.png", Part, KeepReason::None, -1, png, true},
          {"a.pdf", Part, KeepReason::Signed, -1, pdf, true}}},
        {"a whole signed message",
         "Subject: s\r\n" +
             multipart("multipart/signed", subpart("Content-Type: image/png; name=p.png\r\n"
                                                   "Content-Transfer-Encoding: base64",
                                                   base64(png)) +
                                               subpart(pgpSignature, signatureText)),
         {{"p.png", Part, KeepReason::Signed, -1, png, true}}},
    });
}

TEST(AttachmentFinder, AnEncryptedMessageStaysWhole) {
    const std::string armored = "-----BEGIN PGP MESSAGE-----\r\nhQEMA\r\n-----END PGP MESSAGE-----";
    auto encrypted = [](const std::string& control, const std::string& payload) {
        return "Subject: e\r\n" +
               multipart("multipart/encrypted; protocol=\"application/pgp-encrypted\"",
                         subpart(control, "Version: 1") + payload);
    };
    const std::string control = "Content-Type: application/pgp-encrypted";
    expectFinds({
        {"the PGP payload, unnamed, is saved under a name of its own",
         encrypted(control, subpart("Content-Type: application/octet-stream", armored)),
         {{"encrypted.asc", Part, KeepReason::Encrypted, -1, armored, true}}},
        {"a named payload keeps its name; a named control part is still none",
         encrypted(control + "; name=version.txt",
                   subpart("Content-Type: application/octet-stream; name=\"msg.asc\"", armored)),
         {{"msg.asc", Part, KeepReason::Encrypted, -1, armored, true}}},
        {"the control part is the first part whatever its type",
         encrypted("Content-Type: application/x-other; name=c.bin",
                   subpart("Content-Type: application/octet-stream", armored)),
         {{"encrypted.bin", Part, KeepReason::Encrypted, -1, armored, true}}},
        {"an S/MIME message is its payload",
         "Subject: e\r\nContent-Type: application/pkcs7-mime; smime-type=enveloped-data; "
         "name=smime.p7m\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
             base64(pdf),
         {{"smime.p7m", Part, KeepReason::Encrypted, -1, pdf, true}}},
        {"an unnamed one too, and as a part",
         mixed(part("Content-Type: application/x-pkcs7-mime\r\nContent-Transfer-Encoding: base64",
                    base64(pdf))),
         {{"smime.p7m", Part, KeepReason::Encrypted, -1, pdf, true}}},
    });
}

TEST(AttachmentFinder, ABlankNameIsNoName) {
    const std::string uuPng = uuencode("photo.png", png);
    expectFinds({
        {"a text named by blanks is body text",
         mixed(part("Content-Type: text/plain; name=\" \"", "Hello")), {}},
        {"named by a blank filename of an inline disposition",
         mixed(part("Content-Type: text/html\r\nContent-Disposition: inline; filename=\"\t \"",
                    "<p>Hello</p>")),
         {}},
        {"its uuencoded files are found as in any text",
         mixed(part("Content-Type: text/plain; name=\" \"", "See:\r\n" + uuPng)),
         {{"photo.png", Block, KeepReason::None, -1, png, true}}},
        {"a disposition of attachment still names it after its type",
         mixed(part("Content-Type: text/plain; name=\" \"\r\nContent-Disposition: attachment",
                    "notes")),
         {{"attachment.txt", Part, KeepReason::None, -1, "notes", true}}},
    });
}

TEST(AttachmentFinder, AnExternalBodyIsAPointer) {
    expectFinds({
        {"named by its Content-Type",
         mixed(part("Content-Type: message/external-body; access-type=local-file; "
                    "name=\"/u/photo.png\"",
                    "Content-Type: image/png\r\n\r\n")),
         {}},
        {"named as an attachment",
         mixed(part("Content-Type: message/external-body; access-type=URL; "
                    "URL=\"http://example.org/a.pdf\"\r\n"
                    "Content-Disposition: attachment; filename=a.pdf",
                    "Content-Type: application/pdf\r\n\r\n")),
         {}},
    });
}

TEST(AttachmentFinder, Base64WithBlankLinesIsWholeButNotClean) {
    std::string spaced = base64(pdf);
    spaced.replace(spaced.find("\r\n"), 2, "\r\n\r\n");
    expectFinds({
        {"a blank line between the lines",
         mixed(part("Content-Type: application/pdf; name=a.pdf\r\n"
                    "Content-Transfer-Encoding: base64",
                    spaced)),
         {{"a.pdf", Part, KeepReason::None, -1, pdf, false}}},
    });
}

TEST(AttachmentFinder, BinHexGivesItsDataFork) {
    using DbxTest::binHex;
    const std::string hqx = binHex({"Report 1", pdf, "res"});
    // The data fork's checksum off by one bit.
    std::string stream = DbxTest::binHexStream({"Report 1", pdf, "res"});
    stream[stream.size() - DbxTest::withCrc("res").size() - 1] ^= 1;
    const std::string damaged = DbxTest::binHexText(DbxTest::binHexRuns(stream));
    const std::string type = "Content-Type: application/mac-binhex40";
    const char* mac = "macintosh";
    expectFinds({
        {"unnamed: the header names it", mixed(part(type, hqx)),
         {{"Report 1", BinHexFork, KeepReason::None, -1, pdf, true, mac}}},
        {"a name of the BinHex text gives way to the header's",
         mixed(part(type + "; name=\"report.HQX\"", hqx)),
         {{"Report 1", BinHexFork, KeepReason::None, -1, pdf, true, mac}}},
        {"any other name is the file's",
         mixed(part(type + "; name=\"report.pdf\"", hqx)),
         {{"report.pdf", BinHexFork, KeepReason::None, -1, pdf, true}}},
        {"a name that only holds .hqx is the file's",
         mixed(part(type + "; name=\"notes.hqx.txt\"", hqx)),
         {{"notes.hqx.txt", BinHexFork, KeepReason::None, -1, pdf, true}}},
        {"found by its first line in a text, after blank lines",
         mixed(text("7bit", "\r\n" + hqx)),
         {{"Report 1", BinHexFork, KeepReason::None, -1, pdf, true, mac}}},
        {"the old type, sent in base64",
         mixed(part("Content-Type: application/x-mac-binhex40\r\nContent-Transfer-Encoding: base64",
                    base64(hqx))),
         {{"Report 1", BinHexFork, KeepReason::None, -1, pdf, true, mac}}},
        {"a checksum that fails decodes unclean", mixed(part(type, damaged)),
         {{"Report 1", BinHexFork, KeepReason::None, -1, pdf, false, mac}}},
        {"no BinHex inside: the part as it is",
         mixed(part(type + "; name=z.hqx", "no colon here")),
         {{"z.hqx", Part, KeepReason::None, -1, "no colon here", true}}},
    });
}

TEST(AttachmentFinder, TnefGivesTheFilesInside) {
    using namespace DbxTest;
    TnefWriter two;
    two.file("REPORT~1.PDF", pdf,
             propertyList({variableProperty(0x001E, 0x3707, "Quarterly report.pdf")}))
        .file("A.TXT", "text");
    TnefWriter none;
    none.attribute(TnefWriter::message, 0x0001800C, "hi");
    auto tnef = [](const std::string& headers, const std::string& bytes) {
        return mixed(text("7bit", "see the file") +
                     part(headers + "\r\nContent-Transfer-Encoding: base64", base64(bytes)));
    };
    const std::string winmail = "Content-Type: application/ms-tnef; name=\"winmail.dat\"";
    expectFinds({
        {"each file under its own name, the long one where there is one", tnef(winmail, two.bytes),
         {{"Quarterly report.pdf", InTnef, KeepReason::Tnef, -1, pdf, true},
          {"A.TXT", InTnef, KeepReason::Tnef, -1, "text", true}}},
        {"winmail.dat itself when it holds no file", tnef(winmail, none.bytes),
         {{"winmail.dat", Part, KeepReason::Tnef, -1, none.bytes, true}}},
        {"unnamed, of the other type", tnef("Content-Type: application/vnd.ms-tnef", "junk"),
         {{"winmail.dat", Part, KeepReason::Tnef, -1, "junk", true}}},
        {"found by its name alone",
         tnef("Content-Type: application/octet-stream; name=WINMAIL.DAT", two.bytes),
         {{"Quarterly report.pdf", InTnef, KeepReason::Tnef, -1, pdf, true},
          {"A.TXT", InTnef, KeepReason::Tnef, -1, "text", true}}},
        {"a file that is only named so is any file",
         tnef("Content-Type: application/octet-stream; name=winmail.dat", "junk"),
         {{"winmail.dat", Part, KeepReason::None, -1, "junk", true}}},
    });
}

// Every reason has a text for the user, and no two share one.
TEST(AttachmentFinder, EveryReasonToKeepIsDescribed) {
    std::set<std::string> texts;
    const KeepReason all[] = {KeepReason::None,          KeepReason::IsTheMessage,
                              KeepReason::InsideAttachment, KeepReason::InEncodedForward,
                              KeepReason::InEncodedText, KeepReason::NotExact,
                              KeepReason::Signed,        KeepReason::Encrypted,
                              KeepReason::Tnef,          KeepReason::NotClean,
                              KeepReason::NotReadBack};
    for (KeepReason reason : all)
        texts.insert(describe(reason));
    EXPECT_EQ(texts.size(), std::size(all));
    EXPECT_EQ(texts.count("unknown"), 0u);
    EXPECT_STREQ(describe(KeepReason::Signed), "a signed message");
    EXPECT_STREQ(describe(KeepReason::Encrypted), "an encrypted message");
}
