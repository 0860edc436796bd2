#include "formats/Decoding.h"
#include "MimeTestUtil.h"
#include "formats/MimePart.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>

using namespace TOVK_Internet;
using TOVK_Utils::Block;

namespace {

std::string base64(const std::string& in, bool breakLines) {
    static const char* alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0, column = 0;
    for (; i + 3 <= in.size(); i += 3) {
        const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        for (int k = 3; k >= 0; --k)
            out += alphabet[(v >> (6 * k)) & 63];
        column += 4;
        if (breakLines && column == 76) {
            out += "\r\n";
            column = 0;
        }
    }
    if (in.size() - i == 1) {
        const uint32_t v = uint8_t(in[i]) << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (in.size() - i == 2) {
        const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += "=";
    }
    return out;
}

struct Decoded {
    std::string bytes;
    bool clean;
    bool operator==(const Decoded& o) const { return bytes == o.bytes && clean == o.clean; }
};

std::ostream& operator<<(std::ostream& out, const Decoded& d) {
    return out << '"' << d.bytes << "\" " << (d.clean ? "clean" : "unclean");
}

Decoded decoded64(const std::string& in) {
    Block out;
    auto v = view(in);
    const bool clean = decodeBase64(v, out);
    return {str(out), clean};
}

Decoded decodedQP(const std::string& in) {
    Block out;
    auto v = view(in);
    const bool clean = decodeQuotedPrintable(v, out);
    return {str(out), clean};
}

struct Row64 {
    const char* body;
    Decoded decoded;
};

} // namespace

TEST(Base64, GroupsAndPadding) {
    EXPECT_EQ(decoded64("QUJD"), (Decoded{"ABC", true}));
    EXPECT_EQ(decoded64("QUI="), (Decoded{"AB", true}));
    EXPECT_EQ(decoded64("QQ=="), (Decoded{"A", true}));
    EXPECT_EQ(decoded64(""), (Decoded{"", true}));
    EXPECT_EQ(decoded64("QU\r\nJD\r\n\r\n"), (Decoded{"ABC", true}));
    // Missing or wrong padding decodes what there is, but is not exact.
    EXPECT_EQ(decoded64("QQ"), (Decoded{"A", false}));
    EXPECT_EQ(decoded64("Q"), (Decoded{"", false}));
    EXPECT_EQ(decoded64("QQ="), (Decoded{"A", false}));
    EXPECT_EQ(decoded64("QUJD="), (Decoded{"ABC", false}));
    // Junk is skipped, and makes the data unclean.
    EXPECT_EQ(decoded64(" Q*U!J D "), (Decoded{"ABC", false}));
}

TEST(Base64, TheDataEndsAtItsEnd) {
    // Padding ends the data: what follows is not decoded.
    EXPECT_EQ(decoded64("QQ==QQ=="), (Decoded{"A", false}));
    EXPECT_EQ(decoded64("QQ==\r\nQUJD\r\n"), (Decoded{"A", false}));
    // A footer after a blank line, or after a short last line, is text, not data, though
    // its letters are all base64.
    const std::string line(76, 'Q');
    const std::string data = decoded64(line + "\r\n" + line + "\r\n").bytes;
    EXPECT_EQ(decoded64(line + "\r\n" + line + "\r\nQUJD\r\nThanks\r\n"),
              (Decoded{data + "ABC", false}));
    EXPECT_EQ(decoded64(line + "\r\n" + line + "\r\n\r\nThanks\r\n"), (Decoded{data, false}));
    EXPECT_EQ(decoded64(line + "\r\n" + line + "\r\nQUJD\r\n\r\n"), (Decoded{data + "ABC", true}));
    // A body that is not base64 at all.
    EXPECT_FALSE(decoded64("This is plain text, not base64.\r\nSecond line.\r\n").clean);
}

namespace {

// Base64 of the data in lines of `width` characters, each followed by `separator`.
std::string inLines(const std::string& data, size_t width, const std::string& separator) {
    const std::string flat = base64(data, false);
    std::string out;
    for (size_t i = 0; i < flat.size(); i += width)
        out += flat.substr(i, width) + separator;
    return out;
}

} // namespace

TEST(Base64, LinesSeparatedByBlankLinesDecodeWholeButNotClean) {
    std::string data(200, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + 3);
    const std::string first = base64(data, false).substr(0, 76);
    struct Row {
        const char* what;
        std::string body;
        Decoded decoded;
    };
    const Row rows[] = {
        {"a blank line after every line", inLines(data, 76, "\r\n\r\n"), {data, false}},
        {"with LF only, and several blank lines", inLines(data, 76, "\n\n\n"), {data, false}},
        {"a short file: 26 bytes in 4-character lines",
         inLines(data.substr(0, 26), 4, "\r\n\r\n"),
         {data.substr(0, 26), false}},
        {"a footer after the data still ends it",
         inLines(data, 76, "\r\n\r\n") + "Thanks\r\n",
         {decoded64(first).bytes, false}},
        {"text after a blank line ends it at that line",
         first + "\r\n\r\n" + first + "\r\n\r\n-- \r\nsignature\r\n",
         {decoded64(first).bytes, false}},
        {"a short line before more data ends it",
         first + "\r\n\r\nQUJD\r\n\r\n" + first + "\r\n",
         {decoded64(first).bytes, false}},
        {"blank lines after the data alone are clean",
         inLines(data, 76, "\r\n") + "\r\n\r\n",
         {data, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(decoded64(row.body), row.decoded);
    }
}

TEST(Base64, DataAfterThePaddingIsNeverClean) {
    // Whole groups after the padding: counting pad characters alone would pass these.
    const Row64 rows[] = {
        {"QQ==QUJD", {"A", false}},
        {"QUI=QUJD", {"AB", false}},
        {"QQ==QQ==", {"A", false}},
        {"QQ==\r\n\r\nQUJD\r\n", {"A", false}},
        {"QUJD\r\nQQ==\r\n\r\nQUJD\r\n", {"ABCA", false}},
    };
    for (const Row64& row : rows) {
        SCOPED_TRACE(row.body);
        EXPECT_EQ(decoded64(row.body), row.decoded);
    }
}

TEST(Base64, RandomDataSurvivesLineBreaksAtAnyAlignment) {
    std::mt19937 random(7);
    for (size_t size : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 65537u}) {
        std::string data(size, '\0');
        for (auto& c : data)
            c = static_cast<char>(random());
        EXPECT_EQ(decoded64(base64(data, false)), (Decoded{data, true})) << size;
        EXPECT_EQ(decoded64(base64(data, true)), (Decoded{data, true})) << size;
        EXPECT_EQ(decoded64(base64(data, true) + "\n"), (Decoded{data, true})) << size;
        // Junk between the characters must not disturb the groups.
        std::string spaced;
        for (char c : base64(data, false)) {
            spaced += c;
            if (random() % 2)
                spaced += " *"[random() % 2];
        }
        EXPECT_EQ(decoded64(spaced).bytes, data) << size;
        EXPECT_EQ(decoded64(spaced).clean, size == 0) << size;
    }
}

TEST(QuotedPrintable, SoftBreaksEscapesAndLeftovers) {
    EXPECT_EQ(decodedQP("caf=C3=A9"), (Decoded{"caf\xC3\xA9", true}));
    EXPECT_EQ(decodedQP("long=\r\nline"), (Decoded{"longline", true}));
    EXPECT_EQ(decodedQP("long= \nline"), (Decoded{"longline", true}));
    EXPECT_EQ(decodedQP("a=3d=3D"), (Decoded{"a==", true}));
    EXPECT_EQ(decodedQP("line1\r\nline2"), (Decoded{"line1\r\nline2", true}));
    EXPECT_EQ(decodedQP("end="), (Decoded{"end", true}));
    EXPECT_EQ(decodedQP("keep =ZZ and =4"), (Decoded{"keep =ZZ and =4", false}));
}

TEST(DecodeContent, FollowsTheTransferEncoding) {
    const std::string message = "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                                "--b\r\nContent-Type: text/plain; name=a.txt\r\n"
                                "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n"
                                "--b\r\nContent-Type: text/plain; name=b.txt\r\n"
                                "Content-Transfer-Encoding:  Quoted-Printable \r\n\r\nx=3Dy\r\n"
                                "--b\r\nContent-Type: message/rfc822; name=c.eml\r\n"
                                "Content-Transfer-Encoding: 7bit\r\n\r\nSubject: QUJD\r\n\r\nhi\r\n"
                                "--b\r\nContent-Type: text/plain; name=d.txt\r\n"
                                "Content-Transfer-Encoding:\r\n base64\r\n\r\nQUJD\r\n"
                                "--b--\r\n";
    MimePart root;
    auto text = view(message);
    ASSERT_TRUE(root.parse(text));
    ASSERT_EQ(root.allParts.size(), 5u); // the forwarded message is a part of its own
    Block out;
    EXPECT_TRUE(decodeContent(*root.allParts[0], out));
    EXPECT_EQ(str(out), "ABC");
    EXPECT_TRUE(decodeContent(*root.allParts[1], out));
    EXPECT_EQ(str(out), "x=y");
    // An attached message is saved as it stands, never run through base64.
    EXPECT_TRUE(decodeContent(*root.allParts[2], out));
    EXPECT_EQ(str(out), "Subject: QUJD\r\n\r\nhi");
    // A folded encoding header still names base64.
    EXPECT_TRUE(decodeContent(*root.allParts[4], out));
    EXPECT_EQ(str(out), "ABC");
}

TEST(DecodeContent, SaysWhenItDidNotUnderstand) {
    auto cleanly = [](const std::string& headers, const std::string& body, std::string* out) {
        const std::string message = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                    "Content-Type: application/octet-stream; name=f\r\n" +
                                    headers + "\r\n" + body + "\r\n--b--\r\n";
        MimePart root;
        auto text = view(message);
        root.parse(text);
        Block decoded;
        const bool clean = decodeContent(*root.allParts.at(0), decoded);
        *out = str(decoded);
        return clean;
    };
    std::string out;
    // An encoding nobody here decodes is saved as it stands and never clean.
    EXPECT_FALSE(cleanly("Content-Transfer-Encoding: x-gzip64\r\n", "begin 644 f\r\nend", &out));
    EXPECT_EQ(out, "begin 644 f\r\nend");
    EXPECT_TRUE(cleanly("Content-Transfer-Encoding: 8bit\r\n", "caf\xE9", &out));
    EXPECT_TRUE(cleanly("", "as it stands", &out));
    // Base64 that gives nothing out of something.
    EXPECT_FALSE(cleanly("Content-Transfer-Encoding: base64\r\n", "====", &out));
    EXPECT_EQ(out, "");
    EXPECT_TRUE(cleanly("Content-Transfer-Encoding: base64\r\n", "", &out));
}
