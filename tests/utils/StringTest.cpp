#include "utils/String.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

using namespace TOVK_Utils;

namespace {

String wideOf(const char* text) {
    String w;
    w.toWide(String(text));
    return w;
}

std::u16string wideText(const String& s) {
    return std::u16string(s.w_str(), s.length());
}

} // namespace

TEST(StringTest, WrappedConstantIsMeasuredLazilyAndCopiedBeforeWriting) {
    static const char constant[] = "dir/file";
    String s(constant);
    EXPECT_FALSE(s.flags() & Block::SizeKnown);
    EXPECT_EQ(s.length(), 8);
    s.release(); // not owned: nothing freed, nothing forgotten
    EXPECT_EQ(s.c_str(), constant);
    EXPECT_EQ(s.byteSize(), 8);
    EXPECT_EQ(s.replaceChar('/', '\\', 0), 1); // literals are read-only: a copy is changed
    EXPECT_STREQ(s.c_str(), "dir\\file");
    EXPECT_STREQ(constant, "dir/file");
    EXPECT_STREQ(String(nullptr).c_str(), "");
    EXPECT_EQ(Block(nullptr).byteSize(), 0);
}

TEST(StringTest, EverySizeChangeKeepsTheTerminator) {
    String s;
    s.setSize(0);
    ASSERT_NE(s.rawPointer(), nullptr);
    EXPECT_EQ(s.rawPointer()[0], 0);
    s.assign("hello world", 11);
    s.resize(5);
    EXPECT_STREQ(s.c_str(), "hello");
    s.grow(3);
    EXPECT_EQ(s.c_str()[8], 0);
    EXPECT_EQ(s.byteSize(), 8);
    s.allocate(50);
    EXPECT_STREQ(s.c_str(), "");

    String w;
    w.setWide(true);
    w.setSize(3);
    EXPECT_EQ(w.byteSize(), 6);
    EXPECT_EQ(w.w_str()[3], 0);
}

TEST(StringTest, CopiesAreIndependentAndMovesTransferStorage) {
    String a("first");
    String b(a);
    b.setCharAt(0, 'F');
    EXPECT_STREQ(a.c_str(), "first");
    a = b;
    const uint8_t* storage = a.rawPointer();
    String c(std::move(a));
    EXPECT_EQ(c.rawPointer(), storage);
    EXPECT_STREQ(a.c_str(), "");

    String w = wideOf("wide");
    c.takeFrom(w);
    EXPECT_EQ(wideText(c), u"wide");
    EXPECT_FALSE(w.isWide());
    EXPECT_EQ(w.length(), 0);

    Block block;
    block.assign("xyz", 3);
    c.takeFrom(block); // copies, then the block lets go of its storage
    EXPECT_STREQ(c.c_str(), "xyz");
    EXPECT_FALSE(c.isWide());
    EXPECT_EQ(block.rawPointer(), nullptr);
}

TEST(StringTest, SetDecimalRendersSignedValues) {
    String s = wideOf("x");
    struct Case {
        int64_t value;
        const char* digits;
    };
    for (Case c :
         {Case{0, "0"}, Case{1234567890, "1234567890"}, Case{-42, "-42"},
          Case{INT64_MAX, "9223372036854775807"}, Case{INT64_MIN, "-9223372036854775808"}}) {
        s.setDecimal(c.value);
        EXPECT_FALSE(s.isWide());
        EXPECT_STREQ(s.c_str(), c.digits);
    }
}

TEST(StringTest, FormatDirectives) {
    String out;
    String inbox("Inbox");
    format(out, "Processing message %d of %d of %s.dbx", 3, 10, inbox);
    EXPECT_STREQ(out.c_str(), "Processing message 3 of 10 of Inbox.dbx");
    format(out, "%x%s 100%% %D%", inbox, -7); // %x takes no argument
    EXPECT_STREQ(out.c_str(), "Inbox 100% -7");
    format(out, "%S+%d+%d", wideOf("wide"), int64_t{5000000000});
    EXPECT_STREQ(out.c_str(), "wide+5000000000+");
    out.setWide(true);
    format(out, "%s.txt", String("name"));
    EXPECT_EQ(wideText(out), u"name.txt");
}

// The target says which width the text takes; what it held before does not matter.
TEST(StringTest, FormatWritesInTheTargetsOwnWidth) {
    struct Case {
        const char* shows;
        bool targetWide; // the width the caller gave the target
        bool argumentWide;
        bool resultWide;
    };
    for (Case c : {
             Case{"a fresh String is 8-bit, and so is its text", false, false, false},
             Case{"a wide argument is narrowed for an 8-bit target", false, true, false},
             Case{"an 8-bit argument is widened for a wide target", true, false, true},
             Case{"a wide target with a wide argument stays wide", true, true, true},
         }) {
        String out(c.targetWide ? wideOf("old text") : String("old text"));
        String name = c.argumentWide ? wideOf("Inbox") : String("Inbox");
        format(out, "%s: %d of %d", name, 2, 7);
        EXPECT_EQ(out.isWide(), c.resultWide) << c.shows;
        String narrow;
        narrow.toNarrow(out);
        EXPECT_STREQ(narrow.c_str(), "Inbox: 2 of 7") << c.shows;
    }

    // A wrapped constant as target is replaced, never written into.
    static const char constant[] = "constant";
    String wrapped(constant);
    format(wrapped, "%d%%", 50);
    EXPECT_STREQ(wrapped.c_str(), "50%");
    EXPECT_STREQ(constant, "constant");

    // A width given to formatArgs decides, whatever the target was.
    String flagged = wideOf("wide before");
    formatArgs(flagged, "%s", Width::Narrow, {String("now 8-bit")});
    EXPECT_FALSE(flagged.isWide());
    EXPECT_STREQ(flagged.c_str(), "now 8-bit");
}

TEST(StringTest, WideFormatKeepsWideTextWhole) {
    // A name outside any 8-bit code page, as an error box must show it.
    String name;
    name.setWide(true);
    const std::u16string chars = u"\u8868\u8a08\u7b97.xls";
    name.assign(chars.data(), int32_t(chars.size()));
    String out;
    out.setWide(true);
    format(out, "Error saving file %s. Skipping attachment.", name);
    EXPECT_EQ(wideText(out), u"Error saving file \u8868\u8a08\u7b97.xls. Skipping attachment.");
    format(out, "%d%% of %s", 50, name);
    EXPECT_EQ(wideText(out), u"50% of \u8868\u8a08\u7b97.xls");
}

TEST(StringTest, FormatOutputMayOutgrowTheScratchReservation) {
    std::string big(300000, 'z');
    String out;
    format(out, "<%s><%s>", String(big.c_str()), String(big.c_str()));
    EXPECT_EQ(std::string(out.c_str()), "<" + big + "><" + big + ">");
    format(out, "short %d", 1);
    EXPECT_STREQ(out.c_str(), "short 1");
}

TEST(StringTest, ThreadsFormatWithoutSharingScratch) {
    // Both threads start together and format long texts, so that a shared scratch buffer
    // would mix their output.
    std::atomic<int> ready{0};
    auto work = [&ready](char letter, bool* ok) {
        std::string expected(5000, letter);
        String fill(expected.c_str());
        String out;
        ++ready;
        while (ready < 2) {
        }
        for (int i = 0; i < 3000 && *ok; ++i) {
            format(out, "%s%d", fill, i);
            *ok = out.equals((expected + std::to_string(i)).c_str());
        }
    };
    bool ok[2] = {true, true};
    std::thread first(work, 'a', &ok[0]);
    std::thread second(work, 'b', &ok[1]);
    first.join();
    second.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
}

TEST(StringTest, PrintFormattedRetriesUntilTheTextFits) {
    String s;
    s.printFormatted("%d KB, %.1f MB", 12, 1.26);
    EXPECT_STREQ(s.c_str(), "12 KB, 1.3 MB");
    for (int size : {4096, 4097, 8193, 10000}) {
        std::string expected(size, 'q');
        s.printFormatted("%s", expected.c_str());
        EXPECT_EQ(std::string(s.c_str(), s.length()), expected);
    }
}

TEST(StringTest, LineBreaksAreNormalised) {
    struct Case {
        String::LineBreak lineBreak;
        const char* expected;
    };
    for (Case c : {Case{String::LineBreak::CrLf, "a\r\nb\r\nc\r\nd\r\n\r\n"},
                   Case{String::LineBreak::Lf, "a\nb\nc\nd\n\n"},
                   Case{String::LineBreak::Cr, "a\rb\rc\rd\r\r"},
                   Case{String::LineBreak::Removed, "abcd"}}) {
        String s("a\r\nb\rc\nd\r\r\n");
        s.normaliseLineBreaks(c.lineBreak);
        EXPECT_STREQ(s.c_str(), c.expected);
    }
    String w = wideOf("x\ry\n");
    w.normaliseLineBreaks(String::LineBreak::CrLf);
    EXPECT_EQ(wideText(w), u"x\r\ny\r\n");
}

TEST(StringTest, WideForSystemHandsOverACompleteTerminatedText) {
    String w = wideOf("already wide");
    EXPECT_EQ(WideForSystem(w).get(), w.w_str()); // no copy

    std::string longText(1000, 'k');
    WideForSystem converted(String(longText.c_str()));
    EXPECT_EQ(converted.length(), 1000);
    WideForSystem copy = converted; // a copy points at its own characters
    EXPECT_NE(copy.get(), converted.get());
    EXPECT_EQ(std::u16string(copy.get()), std::u16string(1000, u'k'));

    Block wideBlock; // wide but not a String: no terminator to rely on
    wideBlock.setWide(true);
    wideBlock.assign(u"abc", 2);
    EXPECT_EQ(std::u16string(wideForSystem(wideBlock).get()), u"ab");
    EXPECT_EQ(std::u16string(wideForSystem(Block()).get()), u"");
}

TEST(StringTest, ExpandEnvironmentGivesTheWholeExpansion) {
    const char* path = std::getenv("PATH");
    ASSERT_NE(path, nullptr);
    std::string pattern, expected;
    while (expected.size() < 1000) { // far past a 260-character buffer
        pattern += "[%PATH%]";
        expected += std::string("[") + path + "]";
    }
    String s;
    s.expandEnvironment(String(pattern.c_str()));
    EXPECT_EQ(std::string(s.c_str()), expected);
    s.expandEnvironment(wideOf("%TOVK_SURELY_UNSET_VARIABLE%\\x"));
    EXPECT_FALSE(s.isWide());
    EXPECT_STREQ(s.c_str(), "%TOVK_SURELY_UNSET_VARIABLE%\\x");
}
