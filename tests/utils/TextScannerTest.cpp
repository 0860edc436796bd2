#include "utils/TextScanner.h"
#include "utils/LightBlock.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace TOVK_Utils;

namespace {

// Each line, with "+" when nextLine said more follow and "." for the last one.
std::vector<std::string> lines(const char* text) {
    String source(text);
    LineReader reader(source);
    std::vector<std::string> out;
    LightBlock line;
    bool more;
    do {
        more = reader.nextLine(line);
        out.push_back(std::string(reinterpret_cast<const char*>(line.rawPointer()), line.length()) +
                      (more ? "+" : "."));
    } while (more);
    return out;
}

std::vector<std::string> tokens(const char* text, const char* separators, Tokenizer::Empty empty,
                                Tokenizer::Quotes quotes) {
    String source(text);
    Tokenizer tokenizer(source, separators, empty, quotes);
    std::vector<std::string> out;
    String token;
    while (tokenizer.nextToken(token))
        out.push_back(token.c_str());
    EXPECT_EQ(token.length(), 0); // the final call leaves the token empty
    return out;
}

using Texts = std::vector<std::string>;
constexpr Tokenizer::Empty kept = Tokenizer::Empty::Kept, skipped = Tokenizer::Empty::Skipped;
constexpr Tokenizer::Quotes plain = Tokenizer::Quotes::Plain, grouping = Tokenizer::Quotes::Group;

} // namespace

TEST(TextScannerTest, LinesDropLfAndTheCrJustBeforeIt) {
    EXPECT_EQ(lines("a\r\n\r\nb"), (Texts{"a+", "+", "b."}));
    EXPECT_EQ(lines("a\nb\n"), (Texts{"a+", "b+", "."}));
    EXPECT_EQ(lines("x\ry\r\r\n"), (Texts{"x\ry\r+", "."}));
    EXPECT_EQ(lines("tail\r"), (Texts{"tail\r."}));

    String text("one\ntwo");
    LineReader reader(text);
    LightBlock line;
    reader.nextLine(line);
    EXPECT_EQ(reader.position(), 4);
    reader.nextLine(line);
    EXPECT_EQ(line.rawPointer(), text.rawPointer() + 4); // a view, not a copy
}

TEST(TextScannerTest, Tokens) {
    EXPECT_EQ(tokens("a;;b", ";", kept, plain), (Texts{"a", "", "b"}));
    EXPECT_EQ(tokens("a;;b", ";", skipped, plain), (Texts{"a", "b"}));
    EXPECT_EQ(tokens(";a;", ";", kept, plain), (Texts{"", "a"}));
    EXPECT_EQ(tokens(" ;; a b;", "; ", skipped, plain), (Texts{"a", "b"}));
    EXPECT_EQ(tokens(";;;", ";", skipped, plain), Texts{});
    EXPECT_EQ(tokens("x=\"a=b\"", "=", kept, plain), (Texts{"x", "\"a", "b\""}));
    EXPECT_EQ(tokens("a;\"b;c\"d;e", ";", kept, grouping), (Texts{"a", "\"b;c\"d", "e"}));
    EXPECT_EQ(tokens("a;\"open;end", ";", kept, grouping), (Texts{"a", "\"open;end"}));
}

TEST(TextScannerTest, PositionAfterTheSeparatorStartsTheQuotedRest) {
    String text("x=\"a=b\"");
    Tokenizer tokenizer(text, "=", Tokenizer::Empty::Kept, Tokenizer::Quotes::Group);
    String token;
    ASSERT_TRUE(tokenizer.nextToken(token));
    EXPECT_STREQ(token.c_str(), "x");
    EXPECT_EQ(tokenizer.position(), 2);
    ASSERT_TRUE(tokenizer.nextToken(token));
    EXPECT_STREQ(token.c_str(), "\"a=b\"");
    EXPECT_FALSE(tokenizer.nextToken(token));
}

TEST(TextScannerTest, ScannerModes) {
    String text("  a\tb  ");
    TextScanner find(text, TextScanner::FindChar, 0, ' ');
    std::vector<int32_t> found;
    while (find.next())
        found.push_back(find.found());
    EXPECT_EQ(found, (std::vector<int32_t>{0, 1, 5, 6}));

    TextScanner forward(text, TextScanner::SkipSpaceForward, 3);
    ASSERT_TRUE(forward.next());
    EXPECT_EQ(forward.found(), 4); // the tab is white space too

    TextScanner backward(text, TextScanner::SkipSpaceBackward, 100);
    found.clear();
    while (backward.next())
        found.push_back(backward.found());
    EXPECT_EQ(found, (std::vector<int32_t>{4, 2}));

    String wide;
    wide.toWide(String("k=v"));
    TextScanner equals(wide, TextScanner::FindChar, 0, '=');
    ASSERT_TRUE(equals.next());
    EXPECT_EQ(equals.found(), 1);
    TextScanner high(text, TextScanner::FindChar, 0, 0x120); // no 8-bit character matches
    EXPECT_FALSE(high.next());
}

TEST(TextScannerTest, CursorWritesInsideOrGrowsWhenAsked) {
    String text("ab");
    CharCursor cursor(text, 1);
    cursor.put('B', CharCursor::Beyond::Ignore);
    cursor.forward();
    EXPECT_FALSE(cursor.inside());
    cursor.put('x', CharCursor::Beyond::Ignore); // outside and not asked to grow: nothing happens
    EXPECT_STREQ(text.c_str(), "aB");
    cursor.setPosition(3);
    cursor.put('d', CharCursor::Beyond::Grow);
    EXPECT_EQ(text.length(), 4);
    EXPECT_EQ(text.charAt(3), uint32_t('d'));
    EXPECT_EQ(text.c_str()[4], 0);
}
