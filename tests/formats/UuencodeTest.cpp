#include "formats/Uuencode.h"
#include "MimeTestUtil.h"
#include "Uuencoder.h"

#include <gtest/gtest.h>

#include <random>

using namespace TOVK_Internet;
using DbxTest::uuencode;

namespace {

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = char(random());
    return s;
}

struct Found {
    std::string name;
    std::string data;
    bool clean;
    std::string range; // the block's bytes
};

std::vector<Found> found(const std::string& text) {
    std::vector<Found> out;
    for (const auto& block : findUuencodedBlocks(text)) {
        TOVK_Utils::Block data;
        const bool clean = decodeUuencoded(text, block, data);
        out.push_back({std::string(block.name), str(data), clean,
                       text.substr(size_t(block.start), size_t(block.end - block.start))});
    }
    return out;
}

} // namespace

TEST(Uuencode, BlocksInTextRoundTrip) {
    for (size_t size : {0u, 1u, 2u, 3u, 44u, 45u, 46u, 1000u}) {
        const std::string data = randomBytes(size, unsigned(size));
        const std::string block = uuencode("file name.bin", data, size % 2 ? "\n" : "\r\n");
        const auto blocks = found("Hello,\r\nsee below.\r\n\r\n" + block + "\r\nBye\r\n");
        ASSERT_EQ(blocks.size(), 1u) << size;
        EXPECT_EQ(blocks[0].name, "file name.bin");
        EXPECT_EQ(blocks[0].data, data) << size;
        EXPECT_TRUE(blocks[0].clean) << size;
        EXPECT_EQ(blocks[0].range, block); // from the begin line through the end line's break
    }
    // Two blocks, the last one ending the text without a line break.
    const auto two =
        found(uuencode("a", "first") + "between\n" + uuencode("b", "second", "\n").substr(0, 30));
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].data, "first");
    EXPECT_TRUE(two[0].clean);
}

TEST(Uuencode, OnlyRealBlocksAreFound) {
    // Prose that begins like a block, a begin line without data, and "begin" mid-line.
    EXPECT_TRUE(found("begin 644 the meeting at noon\r\nas agreed.\r\n").empty());
    EXPECT_TRUE(found("begin 644 x\r\n\r\nend\r\n").empty());
    EXPECT_TRUE(found("we begin 644 x\r\n#86)C\r\n`\r\nend\r\n").empty());
    EXPECT_TRUE(found("begin 64 x\r\n#86)C\r\n`\r\nend\r\n").empty());
    EXPECT_EQ(found("begin 0644 x\r\n#86)C\r\n`\r\nend\r\n").size(), 1u);
}

TEST(Uuencode, DamagedBlocksAreDecodedButNotClean) {
    const std::string good = uuencode("f", "abcdefgh");
    // No end line.
    auto blocks = found(good.substr(0, good.find("end")));
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].data, "abcdefgh");
    EXPECT_FALSE(blocks[0].clean);
    // Text breaks in before the end: the block stops there.
    blocks = found("begin 644 f\r\n#86)C\r\nHello there, how are you?\r\nend\r\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].data, "abc");
    EXPECT_FALSE(blocks[0].clean);
    // A data line that lost its trailing characters.
    blocks = found("begin 644 f\r\n&86)C\r\n`\r\nend\r\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].data, std::string("abc\0\0\0", 6));
    EXPECT_FALSE(blocks[0].clean);
    // Data after the empty data line.
    blocks = found("begin 644 f\r\n#86)C\r\n`\r\n#86)C\r\nend\r\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_FALSE(blocks[0].clean);
}

TEST(Uuencode, APartInXUuencode) {
    TOVK_Utils::Block out;
    const std::string body = uuencode("r.pdf", "%PDF-1.4");
    EXPECT_TRUE(decodeUuencodedBody(body, out));
    EXPECT_EQ(str(out), "%PDF-1.4");
    EXPECT_TRUE(decodeUuencodedBody("\r\n" + body + "\r\n", out));
    EXPECT_FALSE(decodeUuencodedBody("Note:\r\n" + body, out));
    EXPECT_EQ(str(out), "%PDF-1.4");
    EXPECT_FALSE(decodeUuencodedBody(body + body, out));
    EXPECT_FALSE(decodeUuencodedBody("#86)C\r\n", out)); // no begin line
    EXPECT_EQ(str(out), "abc");
}
