#include "utils/Block.h"
#include "utils/LightBlock.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace TOVK_Utils;

namespace {

std::string text(const Block &b) {
    return b.length() ? std::string(reinterpret_cast<const char *>(b.rawPointer()), b.length())
                      : std::string();
}

void fill(Block &b, const char *chars) {
    b.assign(chars, static_cast<int32_t>(strlen(chars)));
}

} // namespace

TEST(BlockTest, NewBlockHasNoStorageAndDefaultPolicy) {
    Block b;
    EXPECT_EQ(b.rawPointer(), nullptr);
    EXPECT_EQ(b.byteSize(), 0);
    EXPECT_EQ(b.flags(), Block::ShrinkAllowed | Block::SizeKnown);
}

TEST(BlockTest, ResizeFollowsTheDoublingFlag) {
    Block plain;
    plain.setPolicy(false, false);
    plain.resize(10);
    EXPECT_EQ(plain.capacity(), 10);

    Block doubling;
    doubling.setPolicy(true, false);
    doubling.resize(10);
    EXPECT_EQ(doubling.capacity(), 20);
    doubling.resize(15); // fits: storage left alone
    EXPECT_EQ(doubling.capacity(), 20);
    doubling.resize(21);
    EXPECT_EQ(doubling.capacity(), 42);
    EXPECT_EQ(doubling.length(), 21);
}

TEST(BlockTest, ShrinkGivesMemoryBackOnlyBelowHalfTheCapacity) {
    Block b;
    b.setPolicy(false, true);
    b.setSize(100);
    for (int i = 0; i < 100; ++i)
        b.setCharAt(i, 'a' + i % 26);
    b.resize(80);
    ASSERT_EQ(b.capacity(), 100);

    b.resize(50);
    EXPECT_EQ(b.capacity(), 100);
    b.resize(80); // back up without reallocating
    b.resize(49);
    EXPECT_EQ(b.capacity(), 98);
    for (int i = 0; i < 49; ++i)
        ASSERT_EQ(b.charAt(i), uint32_t('a' + i % 26)) << i;

    Block keep;
    keep.setPolicy(false, false);
    keep.setSize(100);
    keep.resize(10);
    EXPECT_EQ(keep.capacity(), 100);
    keep.setPolicy(false, true);
    keep.resize(20); // growing, even far below the capacity, never reallocates
    EXPECT_EQ(keep.capacity(), 100);
}

TEST(BlockTest, WideSizesCountCharacters) {
    Block b;
    b.setWide(true);
    b.setSize(10);
    EXPECT_EQ(b.byteSize(), 20);
    EXPECT_EQ(b.length(), 10);
    b.setCharAt(9, 0x20AC);
    EXPECT_EQ(b.charAt(9), 0x20ACu);
    EXPECT_EQ(b.charAt(10), 0u); // outside reads as nothing
    EXPECT_EQ(b.charAt(-1), 0u);
    b.grow(5);
    EXPECT_EQ(b.length(), 15);
    EXPECT_EQ(b.charAt(9), 0x20ACu);
}

TEST(BlockTest, TakeFromMovesStorageAndLeavesTheSourceEmpty) {
    Block source;
    source.setWide(true);
    source.setSize(4);
    source.setCharAt(3, 'z');
    const uint8_t *storage = source.rawPointer();

    Block target;
    fill(target, "old");
    target.takeFrom(source);
    EXPECT_EQ(target.rawPointer(), storage);
    EXPECT_TRUE(target.isWide());
    EXPECT_EQ(target.length(), 4);
    EXPECT_EQ(target.charAt(3), uint32_t('z'));

    EXPECT_EQ(source.rawPointer(), nullptr);
    EXPECT_EQ(source.byteSize(), 0);
    EXPECT_FALSE(source.isWide());
    source.release(); // frees nothing: the sanitizer build would report a double free
}

TEST(BlockTest, TakeFromAStringLeavesItsTerminatorBehind) {
    String s("hello");
    s.resize(5); // own storage
    Block b;
    b.takeFrom(s);
    EXPECT_EQ(text(b), "hello");
    EXPECT_EQ(s.length(), 0);
    EXPECT_STREQ(s.c_str(), "");
}

TEST(BlockTest, WrappedTextIsMeasuredLazilyAndNeverFreed) {
    static const char constant[] = "abc";
    Block b(constant);
    EXPECT_FALSE(b.flags() & Block::SizeKnown);
    EXPECT_EQ(b.byteSize(), 3);
    EXPECT_EQ(b.rawPointer(), reinterpret_cast<const uint8_t *>(constant));
    b.release();
    EXPECT_EQ(b.rawPointer(), reinterpret_cast<const uint8_t *>(constant));

    b.resize(5); // writing needs storage of its own; the constant stays as it was
    EXPECT_NE(b.rawPointer(), reinterpret_cast<const uint8_t *>(constant));
    EXPECT_EQ(text(b).substr(0, 3), "abc");
    EXPECT_STREQ(constant, "abc");

    Block none(nullptr);
    EXPECT_EQ(none.byteSize(), 0);
}

TEST(BlockTest, SubstringClampsAndTakesTheWidth) {
    Block b;
    fill(b, "abcdef");
    String out;
    b.substring(out, 5, 2);
    EXPECT_EQ(out.length(), 0);
    b.substring(out, 2, 100);
    EXPECT_STREQ(out.c_str(), "cdef");
    b.substring(out, -3, 2);
    EXPECT_STREQ(out.c_str(), "ab");
    b.tail(out, 4);
    EXPECT_STREQ(out.c_str(), "ef");

    LightBlock view;
    b.substring(view, 1, 3);
    EXPECT_EQ(view.rawPointer(), b.rawPointer() + 1);
    EXPECT_EQ(text(view), "bc");

    String wide;
    wide.toWide(String("wxyz"));
    Block part;
    wide.substring(part, 1, 3);
    EXPECT_TRUE(part.isWide());
    EXPECT_EQ(part.length(), 2);
    EXPECT_EQ(part.charAt(0), uint32_t('x'));

    b.substring(b, 1, 4); // source and target the same block
    EXPECT_EQ(text(b), "bcd");
}

TEST(BlockTest, StartsWithAtClampsThePosition) {
    Block b;
    fill(b, "Content-Type");
    EXPECT_TRUE(b.startsWithAt("Content", 0));
    EXPECT_TRUE(b.startsWithAt("Content", -5));
    EXPECT_TRUE(b.startsWithAt("Type", 8));
    EXPECT_FALSE(b.startsWithAt("type", 8));
    EXPECT_FALSE(b.startsWithAt("TypeX", 8)); // runs past the end
    EXPECT_FALSE(b.startsWithAt("e", 100));   // clamped to the end
    EXPECT_FALSE(b.startsWithAt("", 0));
}

TEST(BlockTest, MatchesAtWithAndWithoutCase) {
    Block b;
    fill(b, "multipart/MIXED");
    Block mixed("mixed");
    EXPECT_TRUE(b.startsWithAtNoCase(mixed, 10));
    EXPECT_FALSE(b.matchesAt(mixed, 10));
    EXPECT_TRUE(b.matchesAt(Block("MIXED"), 10));
    EXPECT_FALSE(b.startsWithAtNoCase(mixed, 11)); // fewer characters remain
    EXPECT_FALSE(b.startsWithAtNoCase(Block(""), 0));
    EXPECT_FALSE(b.matchesAt(Block(""), 0));
}

TEST(BlockTest, EqualityComparesByteCountsAndFoldsOnlyAscii) {
    Block b;
    fill(b, "content-type");
    EXPECT_TRUE(b.equals("content-type"));
    EXPECT_FALSE(b.equals("Content-Type"));
    EXPECT_TRUE(b.equalsNoCase("Content-TYPE"));
    EXPECT_FALSE(b.equalsNoCase("Content-Type "));
    EXPECT_TRUE(b.equalsNoCase(Block("CONTENT-TYPE")));

    Block latin;
    fill(latin, "\xC4@[");
    EXPECT_FALSE(latin.equalsNoCase("\xE4@[")); // only A-Z and a-z fold
    EXPECT_FALSE(latin.equalsNoCase("\xC4`{")); // '@'/'`' and '['/'{' are 32 apart, not letters
    EXPECT_TRUE(Block().equals(""));
}

TEST(BlockTest, FindAndReplaceChar) {
    Block b;
    fill(b, "--boundary--boundary");
    EXPECT_EQ(b.find("boundary", 0), 2);
    EXPECT_EQ(b.find("boundary", 3), 12);
    EXPECT_EQ(b.find("boundary", 13), -1);
    EXPECT_EQ(b.find("nothing", 0), -1);
    EXPECT_EQ(b.find("", 0), -1);
    EXPECT_EQ(b.find("--", -4), 0);

    String wide;
    wide.toWide(String("a/b/c"));
    EXPECT_EQ(wide.find(Block("/c"), 0), 3);
    EXPECT_EQ(wide.replaceChar('/', '\\', 2), 1);
    EXPECT_EQ(wide.charAt(1), uint32_t('/'));
    EXPECT_EQ(wide.charAt(3), uint32_t('\\'));
    EXPECT_EQ(b.replaceChar('-', '_', 0), 4);
    EXPECT_EQ(text(b), "__boundary__boundary");
}

TEST(BlockTest, AppendConvertsToTheReceiversWidth) {
    String s("ab");
    s.append(Block("cd"));
    EXPECT_STREQ(s.c_str(), "abcd");

    String wide;
    wide.setWide(true);
    const char16_t chars[] = {u'x', 0xD800, u'y'}; // a lone surrogate has no 8-bit form
    wide.assign(chars, 3);
    s.append(wide);
    EXPECT_STREQ(s.c_str(), "abcdx#y");

    String w;
    w.toWide(String("1"));
    w.append(Block("23"));
    EXPECT_EQ(w.length(), 3);
    EXPECT_EQ(w.charAt(2), uint32_t('3'));
    EXPECT_EQ(w.w_str()[3], 0);

    s.append(s); // the source moves while the receiver grows
    EXPECT_STREQ(s.c_str(), "abcdx#yabcdx#y");
    s.appendText("!");
    EXPECT_STREQ(s.c_str(), "abcdx#yabcdx#y!");
}

TEST(BlockTest, TrimAndUnquote) {
    Block b;
    fill(b, " \t \"a b\" \t");
    String out;
    b.trim(out);
    EXPECT_STREQ(out.c_str(), "\"a b\"");
    EXPECT_TRUE(b.unquote(out));
    EXPECT_STREQ(out.c_str(), "a b");

    LightBlock view;
    b.trim(view);
    EXPECT_EQ(view.rawPointer(), b.rawPointer() + 3);

    Block blank;
    fill(blank, " \t\t ");
    blank.trim(out);
    EXPECT_EQ(out.length(), 0);
    EXPECT_FALSE(blank.unquote(out));
    EXPECT_STREQ(out.c_str(), " \t\t ");

    // Only the quote that is there is removed; the other side keeps its white space.
    fill(b, "  \"name.txt  ");
    EXPECT_TRUE(b.unquote(out));
    EXPECT_STREQ(out.c_str(), "name.txt  ");
    fill(b, "  name.txt\" ");
    EXPECT_FALSE(b.unquote(out));
    EXPECT_STREQ(out.c_str(), "  name.txt");
    fill(b, "\"");
    EXPECT_TRUE(b.unquote(out));
    EXPECT_EQ(out.length(), 0);
}

TEST(BlockTest, LightBlockIsAViewThatNeverFreesItsBytes) {
    char buffer[] = "view me";
    {
        LightBlock view(buffer, 4);
        EXPECT_EQ(view.rawPointer(), reinterpret_cast<uint8_t *>(buffer));
        view.setCharAt(0, 'V');
        view.clear();
        EXPECT_EQ(view.length(), 0);
    }
    EXPECT_STREQ(buffer, "View me"); // still there: the view's end freed nothing

    String s("copy");
    LightBlock view;
    view.assign(s);
    EXPECT_EQ(view.rawPointer(), s.rawPointer());
    EXPECT_EQ(view.length(), 4);
}
