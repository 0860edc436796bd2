// ISO-2022-JP taken apart set by set, as the Windows backend hands it to its code pages.
#include "utils/Iso2022Jp.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;

namespace {

// The runs as "codePage:bytes" or "?count", joined by spaces.
std::string runsOf(const std::string& text) {
    std::string out;
    for (const Iso2022JpRun& run : splitIso2022Jp(text.data(), int32_t(text.size()))) {
        if (!out.empty())
            out += ' ';
        out += run.codePage == 0 ? "?" + std::to_string(run.unreadable)
                                 : std::to_string(run.codePage) + ":" + run.bytes;
    }
    return out;
}

} // namespace

TEST(Iso2022JpTest, EachSetBecomesItsCodePagesForm) {
    struct Row {
        const char* what;
        std::string text;
        std::string runs;
        bool plain; // ISO-2022-JP itself
    };
    const Row rows[] = {
        {"ASCII", "a.txt", "20127:a.txt", true},
        {"JIS X 0208 as Shift_JIS", "\x1B$B%(%s%3!<%I\x1B(B.txt",
         "932:\x83\x47\x83\x93\x83\x52\x81\x5B\x83\x68 20127:.txt", true},
        {"the old JIS X 0208 and JIS-Roman", "\x1B$@F|\x1B(Jx", "932:\x93\xFA 20127:x", true},
        {"katakana, designated or shifted out", "\x1B(I6@\x1B(B\x0E\x36\x40\x0F",
         "932:\xB6\xC0\xB6\xC0", true},
        {"GB 2312 as EUC", "\x1B$AVPND\x1B(B", "936:\xD6\xD0\xCE\xC4", false},
        {"KS C 5601 as EUC", "\x1B$(CGQ19\x1B(B", "949:\xC7\xD1\xB1\xB9", false},
        {"Latin-1 one character at a time", "caf\x1B.A\x1BNi.txt",
         "20127:caf 28591:\xE9 20127:.txt", false},
        {"Greek", "\x1B.F\x1BNa\x1BNb", "28597:\xE1\xE2", false},
        {"JIS X 0212 has no code page", "\x1B$(D0!0\"\x1B(Bx", "?2 20127:x", false},
        {"the first plane of JIS X 0213 as JIS X 0208", "\x1B$(QF|\x1B(B", "932:\x93\xFA", false},
        {"controls and spaces stand for themselves", "\x1B$BF| F|\x1B(B",
         "932:\x93\xFA 20127:  932:\x93\xFA", true},
        {"an unknown escape, an 8-bit byte", "\x1B%Ga\xE9", "?1 20127:%Ga ?1", false},
        {"a character cut off", "\x1B$BF|K", "932:\x93\xFA ?1", true},
        {"ESC N without a set for it", "\x1BNa", "?1", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(runsOf(row.text), row.runs);
        EXPECT_EQ(isPlainIso2022Jp(row.text.data(), int32_t(row.text.size())), row.plain);
    }
}
