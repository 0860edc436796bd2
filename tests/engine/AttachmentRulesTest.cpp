// What is an attachment and what is never cut, over whole jobs: signatures, what they
// cover, encrypted messages, blank names, external bodies, BinHex, TNEF and messages of
// headers only. Each row is a mailbox of one message.
#include "BinHexWriter.h"
#include "JobFixture.h"
#include "TnefWriter.h"

namespace {

const std::string pdf = binary(1500, 51);
const std::string png = binary(400, 52);

std::string part(const std::string& boundary, const std::string& headers, const std::string& body) {
    return "--" + boundary + "\r\n" + headers + "\r\n\r\n" + body + "\r\n";
}

std::string base64Part(const std::string& type, const std::string& content) {
    return part("b", "Content-Type: " + type + "\r\nContent-Transfer-Encoding: base64",
                base64(content));
}

std::string mixed(const std::string& parts) {
    return "Subject: rules\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n" +
           part("b", "Content-Type: text/plain", "Hello") + parts + "--b--\r\n";
}

// A signed message: its first part the given multipart/mixed parts, then the signature.
std::string signedMessage(const std::string& protocol, const std::string& parts,
                          const std::string& signature) {
    return "Subject: signed\r\nContent-Type: multipart/signed; protocol=\"" + protocol +
           "\"; boundary=s\r\n\r\n" +
           part("s", "Content-Type: multipart/mixed; boundary=b",
                part("b", "Content-Type: text/plain", "Signed text") + parts + "--b--") +
           part("s", signature, base64(binary(200, 53))) + "--s--\r\n";
}

struct Row {
    const char* what;
    std::string message;
    std::map<std::string, std::string> files; // what the destination folder gains
    std::vector<std::string> cut;             // the parts cut out of the message
    int kept;                                 // attachments saved and left in the message
};

std::vector<Row> rows() {
    const std::string armored = "-----BEGIN PGP MESSAGE-----\r\nhQEMA\r\n-----END PGP MESSAGE-----";
    const std::string pgpSignature =
        "Content-Type: application/pgp-signature; name=signature.asc\r\n"
        "Content-Transfer-Encoding: base64";
    const std::string smimeSignature =
        "Content-Type: application/pkcs7-signature; name=smime.p7s\r\n"
        "Content-Disposition: attachment; filename=smime.p7s\r\nContent-Transfer-Encoding: base64";
    const std::string blankNamed = part("b", "Content-Type: text/plain; name=\" \"", "Notes");
    const std::string cNamed = base64Part("application/octet-stream; name=c.bin", pdf);
    const std::string external =
        part("b",
             "Content-Type: message/external-body; access-type=local-file; "
             "name=\"/u/photo.png\"",
             "Content-Type: image/png\r\n");
    const std::string dNamed = base64Part("application/octet-stream; name=d.bin", png);
    std::string spaced = base64(pdf);
    spaced.replace(spaced.find("\r\n"), 2, "\r\n\r\n");
    const std::string hqx = part("b", "Content-Type: application/mac-binhex40; name=\"fork.hqx\"",
                                 DbxTest::binHex({"Fork.txt", png, "resource"}));
    std::string stream = DbxTest::binHexStream({"Bad fork.txt", pdf, ""});
    stream[stream.size() - DbxTest::withCrc("").size() - 1] ^= 1; // the data fork's CRC
    DbxTest::TnefWriter files;
    files
        .file("QUARTE~1.PDF", pdf,
              DbxTest::propertyList({DbxTest::variableProperty(0x001E, 0x3707, "Quarterly.pdf")}))
        .file("A.TXT", "text");
    DbxTest::TnefWriter textOnly;
    textOnly.attribute(DbxTest::TnefWriter::message, 0x0001800C, "formatted text");
    return {
        {"a PGP-signed message: the file saved, kept, the signature neither",
         signedMessage("application/pgp-signature", base64Part("application/pdf; name=s.pdf", pdf),
                       pgpSignature),
         {{"s.pdf", pdf}},
         {},
         1},
        {"an S/MIME-signed message the same",
         signedMessage("application/pkcs7-signature", base64Part("image/png; name=t.png", png),
                       smimeSignature),
         {{"t.png", png}},
         {},
         1},
        {"a PGP-encrypted message: its payload saved, nothing cut",
         "Subject: secret\r\nContent-Type: multipart/encrypted; "
         "protocol=\"application/pgp-encrypted\"; boundary=e\r\n\r\n" +
             part("e", "Content-Type: application/pgp-encrypted", "Version: 1") +
             part("e", "Content-Type: application/octet-stream", armored) + "--e--\r\n",
         {{"encrypted.asc", armored}},
         {},
         1},
        {"an S/MIME-encrypted message",
         "Subject: secret\r\nContent-Type: application/pkcs7-mime; smime-type=enveloped-data\r\n"
         "Content-Transfer-Encoding: base64\r\n\r\n" +
             base64(png) + "\r\n",
         {{"smime.p7m", png}},
         {},
         1},
        {"a text named by a blank is body text: neither saved nor cut",
         mixed(blankNamed + cNamed),
         {{"c.bin", pdf}},
         {cNamed},
         0},
        {"an external body is a pointer: neither saved nor cut",
         mixed(external + dNamed),
         {{"d.bin", png}},
         {dNamed},
         0},
        {"base64 with blank lines between its lines: saved whole, kept",
         mixed(part("b",
                    "Content-Type: application/pdf; name=e.pdf\r\n"
                    "Content-Transfer-Encoding: base64",
                    spaced)),
         {{"e.pdf", pdf}},
         {},
         1},
        {"BinHex: the data fork, named by its header, the part cut",
         mixed(hqx),
         {{"Fork.txt", png}},
         {hqx},
         0},
        {"BinHex whose checksum fails: saved, kept",
         mixed(part("b", "Content-Type: application/mac-binhex40",
                    DbxTest::binHexText(DbxTest::binHexRuns(stream)))),
         {{"Bad fork.txt", pdf}},
         {},
         1},
        {"TNEF: each file under its name, winmail.dat kept",
         mixed(base64Part("application/ms-tnef; name=winmail.dat", files.bytes)),
         {{"Quarterly.pdf", pdf}, {"A.TXT", "text"}},
         {},
         2},
        {"TNEF without a file: winmail.dat itself, kept",
         mixed(base64Part("application/ms-tnef", textOnly.bytes)),
         {{"winmail.dat", textOnly.bytes}},
         {},
         1},
        {"a message of headers only that names a file: a 0-byte file",
         "Subject: h\r\nContent-Type: application/pdf; name=h1.pdf\r\n",
         {{"h1.pdf", ""}},
         {},
         1},
        {"the same with an empty body",
         "Subject: h\r\nContent-Type: application/pdf; name=h2.pdf\r\n\r\n",
         {{"h2.pdf", ""}},
         {},
         1},
    };
}

std::string without(std::string text, const std::vector<std::string>& parts) {
    for (const std::string& what : parts) {
        const size_t at = text.find(what);
        EXPECT_NE(at, std::string::npos) << what;
        if (at != std::string::npos)
            text.erase(at, what.size());
    }
    return text;
}

} // namespace

TEST_F(JobTest, OnlyWhatIsAnAttachmentIsSavedAndOnlyWhatMayGoIsCut) {
    view.cut = true;
    const std::vector<Row> table = rows();
    std::map<std::string, std::string> files;
    int kept = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        addMailbox("Box" + std::to_string(i), {table[i].message});
        files.insert(table[i].files.begin(), table[i].files.end());
        kept += table[i].kept;
    }
    runJob();

    EXPECT_EQ(folderFiles(root / "out"), files);
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].what);
        const auto texts = mailboxTexts(root / "store" / ("Box" + std::to_string(i) + ".dbx"));
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], without(table[i].message, table[i].cut));
    }
    EXPECT_EQ(job.counts().keptInMessage, kept);
    EXPECT_EQ(job.counts().saveFailures, 0);
    EXPECT_EQ(job.counts().writeFailures, 0);
}
