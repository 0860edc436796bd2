#include "utils/String.h"
#include "utils/LightBlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace TOVK_Utils;

namespace {

String wideOf(const char *text) {
    String w;
    w.toWide(String(text));
    return w;
}

std::u16string wideText(const String &s) {
    return std::u16string(s.w_str(), s.length());
}

} // namespace

TEST(StringTest, WrappedConstantIsMeasuredOnFirstRequest) {
    static const char constant[] = "abc";
    String s(constant);
    EXPECT_EQ(s.c_str(), constant);
    EXPECT_EQ(s.length(), 3);
    EXPECT_EQ(s.byteSize(), 3);
    s.release();
    EXPECT_EQ(s.c_str(), constant);

    s.resize(4);
    s.setCharAt(3, 'd');
    EXPECT_STREQ(s.c_str(), "abcd");
    EXPECT_STREQ(constant, "abc");

    // Changing characters in place copies a constant first (literals are read-only).
    String path("dir/file");
    EXPECT_EQ(path.replaceChar('/', '\\', 0), 1);
    EXPECT_STREQ(path.c_str(), "dir\\file");
    String letter("x");
    letter.setCharAt(0, 'y');
    EXPECT_STREQ(letter.c_str(), "y");

    String none(nullptr);
    EXPECT_EQ(none.length(), 0);
    EXPECT_STREQ(none.c_str(), "");
}

TEST(StringTest, EveryResizeKeepsTheTerminator) {
    String s;
    EXPECT_STREQ(s.c_str(), "");
    s.setSize(0);
    ASSERT_NE(s.rawPointer(), nullptr);
    EXPECT_EQ(s.rawPointer()[0], 0);

    s.assign("hello world", 11);
    EXPECT_STREQ(s.c_str(), "hello world");
    s.resize(5);
    EXPECT_STREQ(s.c_str(), "hello");
    s.setPolicy(true, true);
    s.grow(3);
    EXPECT_EQ(s.c_str()[8], 0);
    EXPECT_EQ(s.byteSize(), 8);

    s.clear();
    EXPECT_STREQ(s.c_str(), "");
    s.allocate(50);
    EXPECT_EQ(s.length(), 0);
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
    EXPECT_STREQ(b.c_str(), "First");

    a = b;
    EXPECT_STREQ(a.c_str(), "First");
    const uint8_t *storage = a.rawPointer();
    String c(std::move(a));
    EXPECT_EQ(c.rawPointer(), storage);
    EXPECT_STREQ(c.c_str(), "First");
    EXPECT_EQ(a.length(), 0);
    EXPECT_STREQ(a.c_str(), "");

    String w = wideOf("wide");
    String d;
    d.takeFrom(w);
    EXPECT_TRUE(d.isWide());
    EXPECT_EQ(wideText(d), u"wide");
    EXPECT_FALSE(w.isWide());
    EXPECT_EQ(w.length(), 0);

    Block block;
    block.assign("xyz", 3);
    String e;
    e.takeFrom(block); // copies, then the block lets go of its storage
    EXPECT_STREQ(e.c_str(), "xyz");
    EXPECT_EQ(block.rawPointer(), nullptr);

    String f = c.toString();
    EXPECT_STREQ(f.c_str(), "First");
    EXPECT_NE(f.rawPointer(), c.rawPointer());
}

TEST(StringTest, SetDecimalRendersSignedValues) {
    String s;
    struct Case {
        int64_t value;
        const char *digits;
    };
    for (Case c :
         {Case{0, "0"}, Case{7, "7"}, Case{1234567890, "1234567890"}, Case{-42, "-42"},
          Case{INT64_MAX, "9223372036854775807"}, Case{INT64_MIN, "-9223372036854775808"}}) {
        s.setDecimal(c.value);
        EXPECT_STREQ(s.c_str(), c.digits);
    }
    s.toWide(String("x"));
    s.setDecimal(5); // always 8-bit
    EXPECT_FALSE(s.isWide());
    EXPECT_STREQ(s.c_str(), "5");
}

TEST(StringTest, FormatDirectives) {
    String out;
    String inbox("Inbox");
    format(out, "Processing message %d of %d of %s.dbx", false, 3, 10, inbox);
    EXPECT_STREQ(out.c_str(), "Processing message 3 of 10 of Inbox.dbx");

    format(out, "%x%s 100%% %D%", false, inbox, -7);
    EXPECT_STREQ(out.c_str(), "Inbox 100% -7");

    format(out, "%S and %s", false, wideOf("wide"), String("narrow"));
    EXPECT_STREQ(out.c_str(), "wide and narrow");

    format(out, "%d bytes", false, int64_t{5000000000});
    EXPECT_STREQ(out.c_str(), "5000000000 bytes");

    format(out, "%d %d", false, 1); // a missing argument writes nothing
    EXPECT_STREQ(out.c_str(), "1 ");

    format(out, "", false);
    EXPECT_EQ(out.length(), 0);

    format(out, "%s.txt", true, String("name"));
    EXPECT_TRUE(out.isWide());
    EXPECT_EQ(wideText(out), u"name.txt");
}

TEST(StringTest, FormatOutputMayOutgrowTheScratchReservation) {
    String big;
    big.setSize(300000);
    for (int32_t i = 0; i < big.length(); ++i)
        big.setCharAt(i, 'a' + i % 26);
    String out;
    format(out, "<%s><%s>", false, big, big);
    ASSERT_EQ(out.length(), 600004);
    EXPECT_EQ(out.charAt(1), uint32_t('a'));
    EXPECT_EQ(out.charAt(300002), uint32_t('<'));
    EXPECT_EQ(out.charAt(600003), uint32_t('>'));

    format(out, "short %d", false, 1); // the next call starts from an empty scratch
    EXPECT_STREQ(out.c_str(), "short 1");
}

TEST(StringTest, ThreadsFormatWithoutSharingScratch) {
    // Both threads start together and format long texts, so that a shared scratch buffer
    // would mix their output.
    std::atomic<int> ready{0};
    auto work = [&ready](char letter, bool *ok) {
        std::string expected(5000, letter);
        String fill(expected.c_str());
        String out;
        ++ready;
        while (ready < 2) {
        }
        for (int i = 0; i < 3000 && *ok; ++i) {
            format(out, "%s%d", false, fill, i);
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

    for (int size : {4095, 4096, 4097, 8192, 10000}) {
        std::string expected(size, 'q');
        s.printFormatted("%s", expected.c_str());
        ASSERT_EQ(s.length(), size);
        EXPECT_EQ(std::string(s.c_str()), expected);
    }
}

TEST(StringTest, LineBreaksAreNormalised) {
    const char *mixed = "a\r\nb\rc\nd\r\r\n";
    String s(mixed);
    s.normaliseLineBreaks(true, true);
    EXPECT_STREQ(s.c_str(), "a\r\nb\r\nc\r\nd\r\n\r\n");
    s = String(mixed);
    s.normaliseLineBreaks(false, true);
    EXPECT_STREQ(s.c_str(), "a\nb\nc\nd\n\n");
    s = String(mixed);
    s.normaliseLineBreaks(true, false);
    EXPECT_STREQ(s.c_str(), "a\rb\rc\rd\r\r");
    s = String(mixed);
    s.normaliseLineBreaks(false, false);
    EXPECT_STREQ(s.c_str(), "abcd");

    String w = wideOf("x\ry\n");
    w.normaliseLineBreaks(true, true);
    EXPECT_EQ(wideText(w), u"x\r\ny\r\n");
}

TEST(StringTest, ConversionsBetweenWidths) {
    String w = wideOf("plain ASCII");
    EXPECT_TRUE(w.isWide());
    EXPECT_EQ(w.length(), 11);
    EXPECT_EQ(w.w_str()[11], 0);
    String n;
    n.toNarrow(w);
    EXPECT_FALSE(n.isWide());
    EXPECT_STREQ(n.c_str(), "plain ASCII");

    String same;
    same.toWide(w); // already wide: a copy
    EXPECT_EQ(wideText(same), u"plain ASCII");

    String broken;
    broken.setWide(true);
    const char16_t lone[] = {u'a', 0xDC00, u'b'};
    broken.assign(lone, 3);
    n.toNarrow(broken);
    EXPECT_STREQ(n.c_str(), "a#b");

    n.toNarrow(String(""));
    EXPECT_EQ(n.length(), 0);
}

TEST(StringTest, WideForSystemHandsOverATerminatedText) {
    String w = wideOf("already wide");
    WideForSystem own(w);
    EXPECT_EQ(own.get(), w.w_str()); // no copy
    EXPECT_EQ(own.length(), 12);

    std::string longText(1000, 'k');
    String narrow(longText.c_str());
    WideForSystem converted(narrow);
    ASSERT_EQ(converted.length(), 1000);
    EXPECT_EQ(std::u16string(converted.get()), std::u16string(1000, u'k'));

    WideForSystem copy = converted; // a copy points at its own characters
    EXPECT_NE(copy.get(), converted.get());
    EXPECT_EQ(std::u16string(copy.get()), std::u16string(1000, u'k'));

    Block wideBlock; // wide but not a String: no terminator to rely on
    wideBlock.setWide(true);
    wideBlock.assign(u"abc", 2);
    auto fromBlock = wideForSystem(wideBlock);
    EXPECT_EQ(std::u16string(fromBlock.get()), u"ab");

    EXPECT_EQ(std::u16string(wideForSystem(Block()).get()), u"");
}

TEST(StringTest, ExpandEnvironmentGivesTheWholeExpansion) {
    const char *path = std::getenv("PATH");
    ASSERT_NE(path, nullptr);
    std::string pattern, expected;
    while (expected.size() < 1000) { // far past a 260-character buffer
        pattern += "[%PATH%]";
        expected += std::string("[") + path + "]";
    }
    String s;
    s.expandEnvironment(String(pattern.c_str()));
    EXPECT_EQ(std::string(s.c_str()), expected);

    s.expandEnvironment(String("%TOVK_SURELY_UNSET_VARIABLE%\\x"));
    EXPECT_STREQ(s.c_str(), "%TOVK_SURELY_UNSET_VARIABLE%\\x");

    s.expandEnvironment(wideOf("no variables"));
    EXPECT_FALSE(s.isWide());
    EXPECT_STREQ(s.c_str(), "no variables");
}
