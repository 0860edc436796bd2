// ISO-2022-JP and its extensions (-1, -2, -3) taken apart for a system whose converters
// read only some of their character sets: the text becomes runs of one set each, written
// the way a code page of that set reads it. The rewriting is the standard arithmetic of
// ISO 2022 (JIS X 0208 as Shift_JIS, a 94x94 set as its EUC form, a 96 set as its high
// half); the characters themselves are the system's converters' business.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace TOVK_Utils {

struct Iso2022JpRun {
    // The code page that reads the bytes: 20127 ASCII, 932 JIS X 0208 and the katakana of
    // JIS X 0201 (as Shift_JIS), 936 GB 2312, 949 KS C 5601 (as EUC), 28591 and 28597 the
    // high halves of ISO-8859-1 and -7. 0: characters no code page reads (JIS X 0212, the
    // second plane of JIS X 0213, unknown escapes, bytes out of place), one U+FFFD each.
    unsigned codePage = 0;
    std::string bytes;
    int32_t unreadable = 0; // characters, for code page 0
};

// The runs of the text, in order.
std::vector<Iso2022JpRun> splitIso2022Jp(const char* text, int32_t n);

// Whether the text holds only what ISO-2022-JP itself allows (ASCII, JIS X 0201 and
// JIS X 0208, in 7 bits): what Windows' ISO-2022-JP code pages read whole.
bool isPlainIso2022Jp(const char* text, int32_t n);

} // namespace TOVK_Utils
