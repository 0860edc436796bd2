#include "formats/Decoding.h"
#include "MimeTestUtil.h"
#include "formats/MimePart.h"

#include <gtest/gtest.h>

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

std::string decoded64(const std::string& in) {
    Block out;
    auto v = view(in);
    decodeBase64(v, out);
    return str(out);
}

std::string decodedQP(const std::string& in) {
    Block out;
    auto v = view(in);
    decodeQuotedPrintable(v, out);
    return str(out);
}

} // namespace

TEST(Base64, GroupsAndPadding) {
    EXPECT_EQ(decoded64("QUJD"), "ABC");
    EXPECT_EQ(decoded64("QUI="), "AB");
    EXPECT_EQ(decoded64("QQ=="), "A");
    EXPECT_EQ(decoded64("QQ"), "A");
    EXPECT_EQ(decoded64("Q"), "");
    EXPECT_EQ(decoded64(""), "");
    // Pad characters are skipped, not an end: the bit stream carries on.
    EXPECT_EQ(decoded64("QQ==QQ==").size(), 3u);
    EXPECT_EQ(decoded64("QU\r\nJD"), "ABC");
    EXPECT_EQ(decoded64(" Q*U!J D "), "ABC");
}

TEST(Base64, RandomDataSurvivesLineBreaksAtAnyAlignment) {
    std::mt19937 random(7);
    for (size_t size : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 65537u}) {
        std::string data(size, '\0');
        for (auto& c : data)
            c = static_cast<char>(random());
        EXPECT_EQ(decoded64(base64(data, false)), data) << size;
        EXPECT_EQ(decoded64(base64(data, true)), data) << size;
        // Junk between every character must not disturb the groups.
        std::string spaced;
        for (char c : base64(data, false)) {
            spaced += c;
            spaced += " \r\n"[random() % 3];
        }
        EXPECT_EQ(decoded64(spaced), data) << size;
    }
}

TEST(QuotedPrintable, SoftBreaksEscapesAndLeftovers) {
    EXPECT_EQ(decodedQP("caf=C3=A9"), "caf\xC3\xA9");
    EXPECT_EQ(decodedQP("long=\r\nline"), "longline");
    EXPECT_EQ(decodedQP("long=\nline"), "longline");
    EXPECT_EQ(decodedQP("a=3d=3D"), "a==");
    EXPECT_EQ(decodedQP("keep =ZZ and =4"), "keep =ZZ and =4");
    EXPECT_EQ(decodedQP("line1\r\nline2"), "line1\r\nline2");
    EXPECT_EQ(decodedQP("end="), "end");
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
    ASSERT_EQ(root.allParts.size(), 4u);
    Block out;
    decodeContent(*root.allParts[0], out);
    EXPECT_EQ(str(out), "ABC");
    decodeContent(*root.allParts[1], out);
    EXPECT_EQ(str(out), "x=y");
    // An attached message is saved as it stands, never run through base64.
    decodeContent(*root.allParts[2], out);
    EXPECT_EQ(str(out), "Subject: QUJD\r\n\r\nhi");
    // A folded encoding header still names base64.
    decodeContent(*root.allParts[3], out);
    EXPECT_EQ(str(out), "ABC");
}
