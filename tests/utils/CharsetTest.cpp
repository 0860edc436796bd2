// Attachment names from their bytes and declared charset, through the system's own
// converters: the same results natively (iconv) and under Wine (MultiByteToWideChar).
#include "utils/Charset.h"
#include "utils/FileSystem.h"
#include "utils/LightBlock.h"
#include "utils/Path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace TOVK_Utils;

namespace {

// A name as UTF-8, whatever form the system's names take.
std::string utf8(const String& name) {
    String narrow;
    narrow.toNarrow(name, 65001);
    return std::string(narrow.c_str(), size_t(narrow.length()));
}

std::string nameOf(const std::string& bytes, const char* charset) {
    String out;
    nameFromCharset(out, LightBlock(bytes.data(), int32_t(bytes.size())), String(charset));
    return utf8(out);
}

// What the system makes of 8-bit text of unknown origin: the ANSI code page on Windows
// (what the program always did), windows-1252 elsewhere.
std::string rawOf(const std::string& bytes) {
    String wide;
    wide.toWide(LightBlock(bytes.data(), int32_t(bytes.size())));
    return hostPathRules.driveAndNetworkRoots ? utf8(wide) : nameOf(bytes, "windows-1252");
}

struct Sample {
    const char* charset;
    std::string bytes;
    std::string utf8;
};

// Python's codecs made these bytes; ISO-8859-1 is read as windows-1252 (the euro sign at
// 0x80), Shift_JIS as code page 932, GB2312 as 936, Big5 as 950, EUC-KR as 949.
const std::vector<Sample> samples = {
    {"utf-8", "R\xC3\xA9sum\xC3\xA9", "R\xC3\xA9sum\xC3\xA9"},
    {"iso-8859-1", "R\xE9sum\xE9 \x80", "R\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC"},
    {"iso-8859-2", "\xAF\xF3\xB3w", "\xC5\xBB\xC3\xB3\xC5\x82w"},
    {"iso-8859-3",
     "\xA1"
     "a\xF5"
     "ar",
     "\xC4\xA6"
     "a\xC4\xA1"
     "ar"},
    {"iso-8859-4", "\xABimene", "\xC4\xA2imene"},
    {"iso-8859-5", "\xBF\xE0\xD8\xD2\xD5\xE2", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
    {"iso-8859-6", "\xE5\xD1\xCD\xC8\xC7", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"},
    {"iso-8859-7", "\xC5\xEB\xEB\xDC\xE4\xE1", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1"},
    {"iso-8859-8", "\xF9\xEC\xE5\xED", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
    {"iso-8859-9", "\xDEi\xFEli", "\xC5\x9Ei\xC5\x9Fli"},
    {"iso-8859-13", "\xC0\xFEuolas", "\xC4\x84\xC5\xBEuolas"},
    {"iso-8859-15", "\xA4uro \xBCuvre", "\xE2\x82\xACuro \xC5\x92uvre"},
    {"windows-1250", "\xAF\xF3\xB3w", "\xC5\xBB\xC3\xB3\xC5\x82w"},
    {"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2",
     "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
    {"windows-1252", "R\xE9sum\xE9 \x80", "R\xC3\xA9sum\xC3\xA9 \xE2\x82\xAC"},
    {"windows-1253", "\xC5\xEB\xEB\xDC\xE4\xE1",
     "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1"},
    {"windows-1254", "\xDEi\xFEli", "\xC5\x9Ei\xC5\x9Fli"},
    {"windows-1255", "\xF9\xEC\xE5\xED", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},
    {"windows-1256", "\xE3\xD1\xCD\xC8\xC7", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"},
    {"windows-1257", "\xC0\xFEuolas", "\xC4\x84\xC5\xBEuolas"},
    {"windows-1258", "\xD0\xF4ng", "\xC4\x90\xC3\xB4ng"},
    // TNEF's Unicode names.
    {"utf-16le", std::string("R\0\xE9\0s\0\x3C\x8A", 8), "R\xC3\xA9s\xE8\xA8\xBC"},
    // The Macintosh's own set, in which BinHex headers name their files.
    {"macintosh", "Caf\x8E \xA5", "Caf\xC3\xA9 \xE2\x80\xA2"},
    {"koi8-r", "\xD4\xC5\xD3\xD4", "\xD1\x82\xD0\xB5\xD1\x81\xD1\x82"},
    {"koi8-u", "\xEB\xC9\xA7\xD7", "\xD0\x9A\xD0\xB8\xD1\x97\xD0\xB2"},
    {"shift_jis", "\x95\\\x8Cv\x8EZ", "\xE8\xA1\xA8\xE8\xA8\x88\xE7\xAE\x97"},
    {"euc-jp", "\xC6\xFC\xCB\xDC\xB8\xEC", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    {"iso-2022-jp", "\x1B$BF|K\\8l\x1B(B", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    {"gb2312", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
    {"gbk", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
    // A four-byte sequence, which GBK does not have.
    {"gb18030",
     "\xD6\xD0\xCE\xC4\x81"
     "0\x84"
     "6",
     "\xE4\xB8\xAD\xE6\x96\x87\xC2\xA5"},
    {"big5", "\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87"},
    {"euc-kr", "\xC7\xD1\xB1\xB9\xBE\xEE", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
    {"ks_c_5601-1987", "\xC7\xD1\xB1\xB9\xBE\xEE", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"},
};

} // namespace

// --- Declared charsets ---

TEST(CharsetTest, EveryCharsetOfTheTableGivesItsNameOrCountsAsUnknown) {
    std::string missing;
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.charset);
        const Charset charset{String(s.charset)};
        EXPECT_NE(charset.codePage(), 0u);
        if (charset.isAvailable()) {
            EXPECT_EQ(nameOf(s.bytes, s.charset), s.utf8);
        } else {
            // The system lacks the converter: the name is read as if no charset were given.
            missing += std::string(" ") + s.charset;
            EXPECT_EQ(nameOf(s.bytes, s.charset), nameOf(s.bytes, "x-no-such-charset"));
        }
    }
    // iconv has them all; Wine lacks some of Windows' code pages (GB18030 among them).
    if (!hostPathRules.driveAndNetworkRoots) {
        EXPECT_EQ(missing, "");
    }
    if (!missing.empty())
        std::printf("charsets this system cannot convert, read as unknown:%s\n", missing.c_str());
}

TEST(CharsetTest, LabelsAreFoundWhateverTheirCaseQuotesAndLanguage) {
    struct Row {
        const char* label;
        unsigned codePage; // 0: not in the table
    };
    const Row rows[] = {
        {"UTF-8", 65001},
        {" \"Utf-8\" ", 65001},
        {"utf-8*en", 65001},
        {"Shift_JIS", 932},
        {"SJIS", 932},
        {"windows-31j", 932},
        {"GB2312", 936},
        {"GBK", 936},
        {"KS_C_5601-1987", 949},
        {"EUC-KR", 949},
        {"Big5", 950},
        {"ISO-8859-15", 28605},
        {"latin1", 1252},
        {"x-no-such-charset", 0},
        {"", 0},
        {"utf-88", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(Charset(String(row.label)).codePage(), row.codePage);
    }
    EXPECT_FALSE(Charset(String("x-no-such-charset")).isAvailable());
}

TEST(CharsetTest, TheExtensionsOfIso2022JpConvertOnEverySystem) {
    struct Row {
        const char* charset;
        std::string bytes;
        std::string utf8;
    };
    const std::string encodeTest = "\xE3\x82\xA8\xE3\x83\xB3\xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x89"
                                   "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.txt";
    const std::string jis = "\x1B$B%(%s%3!<%I%F%9%H\x1B(B.txt";
    const Row rows[] = {
        {"ISO-2022-JP", jis, encodeTest},
        {"ISO-2022-JP-1", jis, encodeTest},
        {"ISO-2022-JP-2", jis, encodeTest},
        {"csISO2022JP2", jis, encodeTest},
        {"ISO-2022-JP-3", jis, encodeTest},
        {"iso-2022-jp-2", "caf\x1B.A\x1BNi.txt", "caf\xC3\xA9.txt"},
        {"iso-2022-jp-2", "\x1B.F\x1BNa\x1BNb", "\xCE\xB1\xCE\xB2"},
        {"iso-2022-jp-2", "\x1B$AVPND\x1B(B", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"iso-2022-jp-2", "\x1B$(CGQ19\x1B(B", "\xED\x95\x9C\xEA\xB5\xAD"},
        {"iso-2022-jp-3", "\x1B$(QF|K\\\x1B(B", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"iso-2022-jp-2", "\x1B(I6@\x1B(B", "\xEF\xBD\xB6\xEF\xBE\x80"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.charset) + ": " + row.utf8);
        EXPECT_TRUE(Charset(String(row.charset)).isAvailable());
        EXPECT_EQ(nameOf(row.bytes, row.charset), row.utf8);
    }
}

TEST(CharsetTest, ShiftJisKeepsItsBackslashBytesInsideTheirCharacters) {
    // The second byte of each of these is 0x5C; alone, 0x5C and 0x7E are Windows'
    // backslash and tilde in code page 932, not the yen sign and the overline.
    EXPECT_EQ(nameOf("\x95\\\x83\\", "shift_jis"), "\xE8\xA1\xA8\xE3\x82\xBD");
    EXPECT_EQ(nameOf("a\\b~", "shift_jis"), "a\\b~");
}

TEST(CharsetTest, ACharacterCutOffAtTheEndStillLeavesTheRestOfTheName) {
    const std::string name = nameOf("\x95\\\x95", "shift_jis");
    EXPECT_EQ(name.rfind("\xE8\xA1\xA8", 0), 0u);
    EXPECT_GT(name.size(), 3u);
}

// --- Unknown, missing and wrong charsets ---

TEST(CharsetTest, UnknownCharsetIsUtf8WhenItIsValidUtf8) {
    for (const char* charset : {"", "x-no-such-charset", "unknown-8bit"}) {
        SCOPED_TRACE(charset);
        EXPECT_EQ(nameOf("R\xC3\xA9sum\xC3\xA9.txt", charset), "R\xC3\xA9sum\xC3\xA9.txt");
        EXPECT_EQ(nameOf("report.pdf", charset), "report.pdf");
    }
}

TEST(CharsetTest, UnknownCharsetOtherwiseIsTheSystemsRawCodePage) {
    const std::string latin1 = "R\xE9sum\xE9.txt";
    EXPECT_EQ(nameOf(latin1, ""), rawOf(latin1));
    EXPECT_EQ(nameOf(latin1, "x-no-such-charset"), rawOf(latin1));
    if (!hostPathRules.driveAndNetworkRoots) {
        EXPECT_EQ(nameOf(latin1, ""), "R\xC3\xA9sum\xC3\xA9.txt");
    }
}

TEST(CharsetTest, EightBitBytesUnderAnAsciiOrUtf8LabelAreRaw) {
    // Mailers write UTF-8 or Latin-1 names and label them US-ASCII; a Latin-1 name may
    // also carry a UTF-8 label.
    EXPECT_EQ(nameOf("R\xC3\xA9sum\xC3\xA9", "us-ascii"), "R\xC3\xA9sum\xC3\xA9");
    EXPECT_EQ(nameOf("R\xE9sum\xE9", "us-ascii"), rawOf("R\xE9sum\xE9"));
    EXPECT_EQ(nameOf("R\xE9sum\xE9", "utf-8"), rawOf("R\xE9sum\xE9"));
    EXPECT_EQ(nameOf("plain.txt", "us-ascii"), "plain.txt");
}

TEST(CharsetTest, Utf8WithAFewBrokenBytesIsReadAsUtf8) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Row {
        const char* what;
        const char* charset;
        std::string bytes;
        std::string utf8; // empty: read as raw 8-bit text
    };
    const Row rows[] = {
        {"a name cut inside its last character", "", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA",
         "\xE6\x97\xA5\xE6\x9C\xAC" + fffd + fffd},
        {"one broken last byte after a long name", "utf-8",
         "R\xC3\xA9sum\xC3\xA9 of the year, final version \xC3",
         "R\xC3\xA9sum\xC3\xA9 of the year, final version " + fffd},
        {"a stray byte inside", "us-ascii", "caf\xC3\xA9\x80.txt", "caf\xC3\xA9" + fffd + ".txt"},
        {"an overlong form is broken too", "", "\xC3\xA9\xC0\xAF.txt",
         "\xC3\xA9" + fffd + fffd + ".txt"},
        {"Latin-1 holds no UTF-8 sequence", "utf-8", "R\xE9sum\xE9.txt", ""},
        {"more broken spots than sequences", "", "\xC3\xA9 d\xE9j\xE0 vu", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(nameOf(row.bytes, row.charset), row.utf8.empty() ? rawOf(row.bytes) : row.utf8);
    }
}

TEST(CharsetTest, NamesTakeTheFormOfTheSystemsFileNames) {
    String out;
    nameFromCharset(out, String("\xE8\xA1\xA8.txt"), String("utf-8"));
    EXPECT_EQ(out.isWide(), widePathsPreferred());
    EXPECT_EQ(out.length(), widePathsPreferred() ? 5 : 7);
}

TEST(CharsetTest, ValidUtf8IsTheStrictForm) {
    struct Row {
        const char* bytes;
        bool valid;
    };
    const Row rows[] = {
        {"", true},
        {"ascii", true},
        {"\xC3\xA9\xE8\xA1\xA8\xF0\x9F\x98\x80", true},
        {"\xC0\xAF", false},         // overlong slash
        {"\xE0\x80\xAF", false},     // overlong, three bytes
        {"\xED\xA0\x80", false},     // a surrogate
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xE8\xA1", false},         // cut off
        {"\xE9t\xE9", false},        // Latin-1
        {"\x80", false},             // a lone continuation byte
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(row.bytes)));
        EXPECT_EQ(isValidUtf8(String(row.bytes)), row.valid);
    }
}
