// On POSIX the 8-bit code page is UTF-8, converted by our own code.
#include "utils/String.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace TOVK_Utils;

namespace {

std::u16string wide(const char* utf8) {
    String w;
    w.toWide(String(utf8));
    return std::u16string(w.w_str(), w.length());
}

std::string narrow(const std::u16string& utf16) {
    String w;
    w.setWide(true);
    w.assign(utf16.data(), static_cast<int32_t>(utf16.size()));
    String n;
    n.toNarrow(w);
    return std::string(n.c_str(), n.length());
}

} // namespace

TEST(CodePageTest, Utf8RoundTripsEveryLength) {
    const char* text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"; // A, e acute, euro, emoji
    std::u16string expected = {u'A', 0x00E9, 0x20AC, 0xD83D, 0xDE00};
    EXPECT_EQ(wide(text), expected);
    EXPECT_EQ(narrow(expected), text);
}

TEST(CodePageTest, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(wide("a\xFF"
                   "b"),
              (std::u16string{u'a', 0xFFFD, u'b'}));
    EXPECT_EQ(wide("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));             // overlong
    EXPECT_EQ(wide("\xED\xA0\x80"), (std::u16string{0xFFFD, 0xFFFD, 0xFFFD})); // a surrogate
    EXPECT_EQ(wide("\xF4\x90\x80\x80").size(), 4u);                            // above U+10FFFF
    EXPECT_EQ(wide("x\xE2\x82"), (std::u16string{u'x', 0xFFFD, 0xFFFD}));      // cut short
}

TEST(CodePageTest, UnpairedSurrogatesNarrowToHash) {
    EXPECT_EQ(narrow({0xD83D}), "#");
    EXPECT_EQ(narrow({0xDE00, 0xD83D}), "##");
    EXPECT_EQ(narrow({0xD83D, u'x'}), "#x");
}

TEST(CodePageTest, WideCallsGetTheTrueCharacterCount) {
    String s("\xC3\xA9:\xE2\x82\xAC");
    WideForSystem call(s);
    EXPECT_EQ(call.length(), 3);
    EXPECT_EQ(std::u16string(call.get()), (std::u16string{0x00E9, u':', 0x20AC}));
}

TEST(CodePageTest, EnvironmentExpandsLikeWindows) {
    setenv("TOVK_TEST_VALUE", "v", 1);
    String s;
    s.expandEnvironment(String("%TOVK_TEST_UNSET%%TOVK_TEST_VALUE%, 100%% and 5% left"));
    EXPECT_STREQ(s.c_str(), "%TOVK_TEST_UNSET%v, 100%% and 5% left");
}
