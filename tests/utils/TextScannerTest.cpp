#include "utils/TextScanner.h"
#include "utils/LightBlock.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace TOVK_Utils;

namespace {

struct Line {
    std::string text;
    bool more;
    bool operator==(const Line &) const = default;
};

std::vector<Line> lines(const char *text) {
    String source(text);
    LineReader reader(source);
    std::vector<Line> out;
    LightBlock line;
    bool more;
    do {
        more = reader.nextLine(line);
        out.push_back(
            {std::string(reinterpret_cast<const char *>(line.rawPointer()), line.length()), more});
    } while (more);
    return out;
}

std::vector<std::string> tokens(const char *text, const char *separators, bool skipEmpty,
                                bool quotes) {
    String source(text);
    Tokenizer tokenizer(source, separators, skipEmpty, quotes);
    std::vector<std::string> out;
    String token;
    while (tokenizer.nextToken(token))
        out.push_back(token.c_str());
    EXPECT_EQ(token.length(), 0); // the final call leaves the token empty
    return out;
}

using Lines = std::vector<Line>;
using Tokens = std::vector<std::string>;

} // namespace

TEST(TextScannerTest, LinesDropLfAndTheCrJustBeforeIt) {
    EXPECT_EQ(lines("a\r\n\r\nb"), (Lines{{"a", true}, {"", true}, {"b", false}}));
    EXPECT_EQ(lines("a\nb\n"), (Lines{{"a", true}, {"b", true}, {"", false}}));
    EXPECT_EQ(lines("x\ry\r\r\n"), (Lines{{"x\ry\r", true}, {"", false}}));
    EXPECT_EQ(lines("tail only\r"), (Lines{{"tail only\r", false}}));
    EXPECT_EQ(lines(""), (Lines{{"", false}}));
}

TEST(TextScannerTest, LineIsAViewIntoTheText) {
    String text("one\ntwo");
    LineReader reader(text);
    LightBlock line;
    ASSERT_TRUE(reader.nextLine(line));
    EXPECT_EQ(reader.position(), 4);
    ASSERT_FALSE(reader.nextLine(line));
    EXPECT_EQ(line.rawPointer(), text.rawPointer() + 4);
    EXPECT_EQ(line.length(), 3);
}

TEST(TextScannerTest, TokensWithAndWithoutEmptyOnes) {
    EXPECT_EQ(tokens("a;;b", ";", false, false), (Tokens{"a", "", "b"}));
    EXPECT_EQ(tokens("a;;b", ";", true, false), (Tokens{"a", "b"}));
    EXPECT_EQ(tokens("a;", ";", false, false), (Tokens{"a"}));
    EXPECT_EQ(tokens(";a", ";", false, false), (Tokens{"", "a"}));
    EXPECT_EQ(tokens(" ;; a b;", "; ", true, false), (Tokens{"a", "b"}));
    EXPECT_EQ(tokens(";;;", ";", true, false), Tokens{});
    EXPECT_EQ(tokens("", ";", false, false), Tokens{});
}

TEST(TextScannerTest, QuotesKeepSeparatorsTogether) {
    String text("x=\"a=b\"");
    Tokenizer tokenizer(text, "=", false, true);
    String token;
    ASSERT_TRUE(tokenizer.nextToken(token));
    EXPECT_STREQ(token.c_str(), "x");
    EXPECT_EQ(tokenizer.position(), 2); // where the quoted rest starts
    ASSERT_TRUE(tokenizer.nextToken(token));
    EXPECT_STREQ(token.c_str(), "\"a=b\"");
    EXPECT_FALSE(tokenizer.nextToken(token));

    EXPECT_EQ(tokens("x=\"a=b\"", "=", false, false), (Tokens{"x", "\"a", "b\""}));
    EXPECT_EQ(tokens("a;\"b;c\"d;e", ";", false, true), (Tokens{"a", "\"b;c\"d", "e"}));
    EXPECT_EQ(tokens("a;\"open;end", ";", false, true), (Tokens{"a", "\"open;end"}));
}

TEST(TextScannerTest, ScannerModes) {
    String text("  a\tb  ");
    TextScanner find(text, TextScanner::FindChar, 0, ' ');
    std::vector<int32_t> spaces;
    while (find.next())
        spaces.push_back(find.found());
    EXPECT_EQ(spaces, (std::vector<int32_t>{0, 1, 5, 6}));
    EXPECT_TRUE(find.finished());

    TextScanner forward(text, TextScanner::SkipSpaceForward, 0);
    ASSERT_TRUE(forward.next());
    EXPECT_EQ(forward.found(), 2);
    ASSERT_TRUE(forward.next());
    EXPECT_EQ(forward.found(), 4); // the tab is white space too

    TextScanner backward(text, TextScanner::SkipSpaceBackward, 100);
    ASSERT_TRUE(backward.next());
    EXPECT_EQ(backward.found(), 4);
    ASSERT_TRUE(backward.next());
    EXPECT_EQ(backward.found(), 2);
    EXPECT_FALSE(backward.next());

    String blank(" \t ");
    TextScanner none(blank, TextScanner::SkipSpaceForward, 0);
    EXPECT_FALSE(none.next());
    none.setStart(0);
    EXPECT_FALSE(none.finished());

    String wide;
    wide.toWide(String("k=v"));
    TextScanner equals(wide, TextScanner::FindChar, 0, '=');
    ASSERT_TRUE(equals.next());
    EXPECT_EQ(equals.found(), 1);
    TextScanner high(text, TextScanner::FindChar, 0, 0x120); // no 8-bit character matches
    EXPECT_FALSE(high.next());
}

TEST(TextScannerTest, CursorReadsAndWrites) {
    String text("ab");
    CharCursor cursor(text);
    EXPECT_TRUE(cursor.inside());
    EXPECT_EQ(cursor.get(), uint32_t('a'));
    cursor.forward();
    cursor.put('B', false);
    cursor.forward();
    EXPECT_FALSE(cursor.inside());
    EXPECT_EQ(cursor.get(), 0u);
    cursor.put('x', false); // outside and not asked to grow: nothing happens
    EXPECT_STREQ(text.c_str(), "aB");
    cursor.setPosition(3);
    cursor.put('d', true);
    EXPECT_EQ(text.length(), 4);
    EXPECT_EQ(text.charAt(3), uint32_t('d'));
    EXPECT_EQ(text.c_str()[4], 0);
    cursor.back();
    EXPECT_EQ(cursor.position(), 2);
}
