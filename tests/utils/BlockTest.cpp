#include "utils/Block.h"
#include "utils/LightBlock.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace TOVK_Utils;

namespace {

std::string text(const Block& b) {
    return b.length() ? std::string(reinterpret_cast<const char*>(b.rawPointer()), b.length())
                      : std::string();
}

void fill(Block& b, const char* chars) {
    b.assign(chars, static_cast<int32_t>(strlen(chars)));
}

} // namespace

TEST(BlockTest, GrowthPolicy) {
    Block plain, doubling;
    plain.setPolicy(Block::Growth::Exact, Block::Shrink::Never);
    doubling.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
    plain.resize(10);
    doubling.resize(10);
    EXPECT_EQ(plain.capacity(), 10);
    EXPECT_EQ(doubling.capacity(), 20);
    doubling.resize(15); // fits: storage left alone
    EXPECT_EQ(doubling.capacity(), 20);
    doubling.resize(21);
    EXPECT_EQ(doubling.capacity(), 42);

    Block wide;
    wide.setWide(true);
    wide.setSize(10);
    EXPECT_EQ(wide.byteSize(), 20);
    EXPECT_EQ(wide.length(), 10);
    wide.setCharAt(9, 0x20AC);
    wide.grow(5);
    EXPECT_EQ(wide.charAt(9), 0x20ACu);
    EXPECT_EQ(wide.charAt(15), 0u); // outside reads as nothing
}

TEST(BlockTest, ShrinkGivesMemoryBackOnlyBelowHalfTheCapacity) {
    Block b;
    b.setSize(100);
    for (int i = 0; i < 100; ++i)
        b.setCharAt(i, 'a' + i % 26);
    b.resize(80);
    b.resize(50);
    EXPECT_EQ(b.capacity(), 100);
    b.resize(80);
    b.resize(49);
    EXPECT_EQ(b.capacity(), 98);
    for (int i = 0; i < 49; ++i)
        ASSERT_EQ(b.charAt(i), uint32_t('a' + i % 26)) << i;

    Block keep;
    keep.setPolicy(Block::Growth::Exact, Block::Shrink::Never);
    keep.setSize(100);
    keep.resize(10);
    EXPECT_EQ(keep.capacity(), 100);
    keep.setPolicy(Block::Growth::Exact, Block::Shrink::Allowed);
    keep.resize(20); // growing, even far below the capacity, never reallocates
    EXPECT_EQ(keep.capacity(), 100);
}

TEST(BlockTest, TakeFromMovesStorageAndLeavesTheSourceEmpty) {
    Block source;
    source.setWide(true);
    source.setSize(4);
    const uint8_t* storage = source.rawPointer();
    Block target;
    fill(target, "old");
    target.takeFrom(source);
    EXPECT_EQ(target.rawPointer(), storage);
    EXPECT_TRUE(target.isWide());
    EXPECT_EQ(target.length(), 4);
    EXPECT_EQ(source.rawPointer(), nullptr);
    EXPECT_EQ(source.byteSize(), 0);
    EXPECT_FALSE(source.isWide());
    source.release(); // frees nothing: the sanitizer build would report a double free

    String s("hello");
    s.resize(5);
    target.takeFrom(s); // the string's terminator is not part of the content
    EXPECT_EQ(text(target), "hello");
    EXPECT_STREQ(s.c_str(), "");
}

TEST(BlockTest, SubstringClampsAndViewsShareTheBytes) {
    Block b;
    fill(b, "abcdef");
    String out;
    b.substring(out, 5, 2);
    EXPECT_STREQ(out.c_str(), "");
    b.substring(out, -3, 100);
    EXPECT_STREQ(out.c_str(), "abcdef");
    b.tail(out, 4);
    EXPECT_STREQ(out.c_str(), "ef");

    LightBlock view;
    b.substring(view, 1, 3);
    EXPECT_EQ(view.rawPointer(), b.rawPointer() + 1);
    EXPECT_EQ(view.length(), 2);

    String wide;
    wide.toWide(String("wxyz"));
    wide.substring(out, 1, 3);
    EXPECT_TRUE(out.isWide());
    EXPECT_EQ(out.charAt(0), uint32_t('x'));

    b.substring(b, 1, 4); // source and target the same block
    EXPECT_EQ(text(b), "bcd");
}

TEST(BlockTest, ComparisonsStayInsideTheText) {
    Block b;
    fill(b, "Content-Type");
    EXPECT_TRUE(b.startsWithAt("Content", -5)); // position clamped to 0
    EXPECT_TRUE(b.startsWithAt("Type", 8));
    EXPECT_FALSE(b.startsWithAt("type", 8));
    EXPECT_FALSE(b.startsWithAt("TypeX", 8));
    EXPECT_FALSE(b.startsWithAt("", 0));

    Block type("TYPE");
    EXPECT_TRUE(b.startsWithAtNoCase(type, 8));
    EXPECT_FALSE(b.matchesAt(type, 8));
    EXPECT_TRUE(b.matchesAt(Block("Type"), 8));
    EXPECT_FALSE(b.startsWithAtNoCase(type, 9)); // fewer characters remain
    EXPECT_FALSE(b.startsWithAtNoCase(Block(""), 0));

    EXPECT_TRUE(b.equalsNoCase("content-type"));
    EXPECT_FALSE(b.equalsNoCase("content-type "));
    EXPECT_FALSE(b.equals("Content-type"));
    Block latin;
    fill(latin, "\xC4@[");
    EXPECT_FALSE(latin.equalsNoCase("\xE4@[")); // only A-Z and a-z fold
    EXPECT_FALSE(latin.equalsNoCase("\xC4`{")); // 32 apart, but not letters
}

TEST(BlockTest, FindAndReplaceChar) {
    Block b;
    fill(b, "--boundary--boundary");
    EXPECT_EQ(b.find("boundary", 3), 12);
    EXPECT_EQ(b.find("boundary", 13), -1);
    EXPECT_EQ(b.find("", 0), -1);
    EXPECT_EQ(b.find("--", -4), 0);
    EXPECT_EQ(b.replaceChar('-', '_', 1), 3);
    EXPECT_EQ(text(b), "-_boundary__boundary");

    String wide;
    wide.toWide(String("a/b/c"));
    EXPECT_EQ(wide.find(Block("/c"), 0), 3);
    EXPECT_EQ(wide.replaceChar('/', '\\', 2), 1);
    EXPECT_EQ(wide.charAt(3), uint32_t('\\'));
}

TEST(BlockTest, AppendConvertsToTheReceiversWidth) {
    String s("ab");
    String wide;
    wide.setWide(true);
    const char16_t chars[] = {u'x', 0xD800, u'y'}; // a lone surrogate has no 8-bit form
    wide.assign(chars, 3);
    s.append(wide);
    EXPECT_STREQ(s.c_str(), "abx#y");
    s.append(s); // the source moves while the receiver grows
    EXPECT_STREQ(s.c_str(), "abx#yabx#y");

    wide.append(Block("z"));
    EXPECT_EQ(wide.length(), 4);
    EXPECT_EQ(wide.charAt(3), uint32_t('z'));
    EXPECT_EQ(wide.w_str()[4], 0);
}

TEST(BlockTest, TrimAndUnquote) {
    Block b;
    fill(b, " \t \"a b\" \t");
    String out;
    b.trim(out);
    EXPECT_STREQ(out.c_str(), "\"a b\"");
    EXPECT_TRUE(b.unquote(out));
    EXPECT_STREQ(out.c_str(), "a b");

    fill(b, " \t\t ");
    b.trim(out);
    EXPECT_STREQ(out.c_str(), "");
    EXPECT_FALSE(b.unquote(out));
    EXPECT_STREQ(out.c_str(), " \t\t ");

    // Only the quote that is there is removed; the other side keeps its white space.
    fill(b, "  \"name.txt  ");
    EXPECT_TRUE(b.unquote(out));
    EXPECT_STREQ(out.c_str(), "name.txt  ");
    fill(b, "  name.txt\" ");
    EXPECT_FALSE(b.unquote(out));
    EXPECT_STREQ(out.c_str(), "  name.txt");
}
