// The file names attachments are saved under, rule by rule; the same results natively and
// under Wine, where the names are wide.
#include "engine/AttachmentName.h"

#include "utils/Charset.h"
#include "utils/FileSystem.h"
#include "utils/LightBlock.h"

#include <gtest/gtest.h>

#include <string>

using TOVK_Utils::LightBlock;
using TOVK_Utils::String;

namespace {

std::string utf8(const String& name) {
    String narrow;
    narrow.toNarrow(name, 65001);
    return std::string(narrow.c_str(), size_t(narrow.length()));
}

std::string made(const std::string& bytes, const char* charset = "utf-8") {
    String out;
    AttachmentName::make(out, LightBlock(bytes.data(), int32_t(bytes.size())), String(charset));
    return utf8(out);
}

// A name in the system's form, from UTF-8.
String systemName(const std::string& text) {
    String out;
    TOVK_Utils::nameFromCharset(out, LightBlock(text.data(), int32_t(text.size())),
                                String("utf-8"));
    return out;
}

std::string cleaned(const std::string& text) {
    String name = systemName(text);
    AttachmentName::clean(name);
    return utf8(name);
}

// One name and what it must become.
struct Row {
    const char* name;
    const char* expected;
};

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

} // namespace

// --- Paths ---

TEST(AttachmentNameTest, APathKeepsItsLastComponent) {
    const Row rows[] = {
        {"C:\\TEMP\\nsmailEG.png", "nsmailEG.png"},
        {"/home/a/x.png", "x.png"},
        {"..\\..\\escape.txt", "escape.txt"},
        {"\\\\server\\share\\f.doc", "f.doc"},
        {"mixed/dir\\name.txt", "name.txt"},
        {"folder/", "folder"},
        {"/", "_"},
        {"a/..", "_"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(made(row.name), row.expected);
    }
}

TEST(AttachmentNameTest, TheNameIsConvertedBeforeItsPathIsStripped) {
    // The second byte of each character is 0x5C, a backslash in ASCII.
    const std::string shiftJis = "\x95\\\x8Cv\x8EZ.xls";
    EXPECT_EQ(made(shiftJis, "shift_jis"), "\xE8\xA1\xA8\xE8\xA8\x88\xE7\xAE\x97.xls");
    EXPECT_EQ(made("C:\\\x83\\\x83g\\\x95\\.txt", "Shift_JIS"), "\xE8\xA1\xA8.txt");
}

// --- Cleaning ---

TEST(AttachmentNameTest, ExactlyWhatWindowsForbidsBecomesAnUnderscore) {
    const Row rows[] = {
        {"a<b>c:d\"e/f\\g|h?i*j.txt", "a_b_c_d_e_f_g_h_i_j.txt"},
        {"tab\there\x01\x1F.txt", "tab_here__.txt"},
        // Allowed on Windows, so kept: the name stays as close to the sender's as it can.
        {"a;b,c=d+e[f]g{h}i'j!k#l$m%n&o~p\x7F.txt", "a;b,c=d+e[f]g{h}i'j!k#l$m%n&o~p\x7F.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(cleaned(row.name), row.expected);
    }
    EXPECT_EQ(made("a*b;c?.txt"), "a_b;c_.txt");
    EXPECT_EQ(made("R\xC3\xA9sum\xC3\xA9 <draft>.txt"), "R\xC3\xA9sum\xC3\xA9 _draft_.txt");
}

TEST(AttachmentNameTest, TrailingDotsAndSpacesAreDropped) {
    const Row rows[] = {
        {"report.pdf. . ", "report.pdf"},
        {" lead.txt", " lead.txt"},
        {"...", "_"},
        {"   ", "_"},
        {"", "_"},
        {".profile", ".profile"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(cleaned(row.name), row.expected);
    }
}

TEST(AttachmentNameTest, DeviceNamesGetAnUnderscoreInFront) {
    for (const char* device : {"CON", "con.txt", "NUL .txt", "Prn", "aux.tar.gz", "COM1.log",
                               "lpt9", "CONIN$", "conout$.x"}) {
        SCOPED_TRACE(device);
        EXPECT_EQ(cleaned(device), std::string("_") + device);
    }
    EXPECT_EQ(cleaned("NUL."), "_NUL"); // the dot goes first
    for (const char* ordinary : {"COM0", "COM10.txt", "CONSOLE.txt", "nul_.txt", "LPT", "xcon"}) {
        SCOPED_TRACE(ordinary);
        EXPECT_EQ(cleaned(ordinary), ordinary);
    }
}

// --- Charsets ---

TEST(AttachmentNameTest, NamesComeOutInUnicode) {
    struct CharsetRow {
        const char* name;
        const char* charset;
        const char* expected;
    };
    const CharsetRow rows[] = {
        {"R\xC3\xA9sum\xC3\xA9.txt", "UTF-8", "R\xC3\xA9sum\xC3\xA9.txt"},
        {"Pr\xE4sentation.ppt", "iso-8859-1", "Pr\xC3\xA4sentation.ppt"},
        {"\xD4\xC5\xD3\xD4.jpg", "koi8-r", "\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.jpg"},
        {"\xC7\xD1\xB1\xB9.hwp", "ks_c_5601-1987", "\xED\x95\x9C\xEA\xB5\xAD.hwp"},
        // Raw UTF-8 with no charset at all.
        {"\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.jpg", "", "\xD1\x82\xD0\xB5\xD1\x81\xD1\x82.jpg"},
    };
    for (const CharsetRow& row : rows) {
        SCOPED_TRACE(std::string(row.charset) + ": " + row.expected);
        EXPECT_EQ(made(row.name, row.charset), row.expected);
    }
    String name;
    AttachmentName::make(name, String("x.txt"), String(""));
    EXPECT_EQ(name.isWide(), TOVK_Utils::widePathsPreferred());
}

// --- Length ---

TEST(AttachmentNameTest, ALongNameIsShortenedKeepingItsExtension) {
    String name = systemName(repeated("x", 300) + ".txt");
    ASSERT_TRUE(AttachmentName::shorten(name, 255));
    EXPECT_EQ(utf8(name), repeated("x", 255 - AttachmentName::numberingRoom - 4) + ".txt");

    String fits = systemName(repeated("y", 250) + ".txt");
    ASSERT_TRUE(AttachmentName::shorten(fits, 254));
    EXPECT_EQ(utf8(fits), repeated("y", 250) + ".txt");

    // An "extension" of half the room and more is cut like the rest of the name.
    String odd = systemName(repeated("a", 100) + "." + repeated("b", 200));
    ASSERT_TRUE(AttachmentName::shorten(odd, 100));
    EXPECT_EQ(utf8(odd), repeated("a", 92));
}

TEST(AttachmentNameTest, AShortenedNameNeverEndsInsideACharacterOrInADotOrSpace) {
    // Three bytes a character in UTF-8, one unit in UTF-16; four bytes or two units.
    for (const char* piece : {"\xE8\xA1\xA8", "\xF0\x9F\x98\x80", "e\xCC\x81"}) {
        String name = systemName(repeated(piece, 150) + ".txt");
        ASSERT_TRUE(AttachmentName::shorten(name, 100));
        EXPECT_LE(name.length(), 100 - AttachmentName::numberingRoom);
        const std::string text = utf8(name);
        EXPECT_TRUE(TOVK_Utils::isValidUtf8(String(text.c_str())));
        EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos); // no broken character
        EXPECT_EQ(text.substr(text.size() - 4), ".txt");
    }
    String spaced = systemName(repeated("a", 91) + " . " + repeated("b", 50));
    ASSERT_TRUE(AttachmentName::shorten(spaced, 100));
    EXPECT_EQ(utf8(spaced), repeated("a", 91));
}

TEST(AttachmentNameTest, NoNameFitsARoomTooSmall) {
    String name = systemName(repeated("x", 40) + ".txt");
    EXPECT_FALSE(AttachmentName::shorten(name, AttachmentName::numberingRoom + 4 +
                                                   AttachmentName::shortestStem - 1));
    EXPECT_EQ(utf8(name), repeated("x", 40) + ".txt");
    EXPECT_TRUE(AttachmentName::shorten(name, AttachmentName::numberingRoom + 4 +
                                                  AttachmentName::shortestStem));
    EXPECT_EQ(utf8(name), repeated("x", AttachmentName::shortestStem) + ".txt");
}
