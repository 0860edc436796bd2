// Charset: a character set as a mail header names it, and the conversion of text in it to
// Unicode through the system's own converter (MultiByteToWideChar on Windows, iconv on
// POSIX). The foundation knows the names and the Windows code page numbers; the tables
// of characters are the system's.
#pragma once

#include "Block.h"
#include "String.h"

#include <string>

namespace TOVK_Utils {

class Charset {
public:
    // Looks a label up: ASCII case, surrounding white space and quotes do not matter, and
    // an RFC 2231 language suffix ("utf-8*en") is ignored.
    explicit Charset(const Block& label);

    // The Windows code page number of the label; 0 when the table does not know it.
    unsigned codePage() const { return codePage_; }
    // Known to the table and convertible by this system (Wine, for one, lacks some of the
    // code pages that Windows has).
    bool isAvailable() const;
    // The bytes read in this character set, as UTF-16; false, and out empty, when the set
    // is not available. Bytes the converter cannot read become U+FFFD on POSIX and what
    // the system gives on Windows.
    bool toUtf16(const Block& bytes, std::u16string& out) const;

private:
    unsigned codePage_ = 0;
    const char* converter_ = nullptr; // the set's name for iconv
};

// The code page to give String::toNarrow for UTF-8 (on POSIX every 8-bit text is UTF-8).
constexpr unsigned Utf8CodePage = 65001;

// Whether the bytes are UTF-8 as RFC 3629 has it (no overlong forms, no surrogates).
bool isValidUtf8(const Block& bytes);

// An attachment's name: its bytes converted from the declared charset to the form the
// system's file names take (UTF-16 on Windows, UTF-8 on POSIX; the ANSI code page on a
// Windows without the wide calls). A charset that is unknown or that this system cannot
// convert, a missing one, and US-ASCII with 8-bit bytes in it, all mean raw 8-bit bytes,
// and so does UTF-8 that is not valid UTF-8: those are UTF-8 when they are valid UTF-8
// with a byte above 0x7F, UTF-8 with each broken byte read as U+FFFD when they hold at
// least as many valid sequences of several bytes as broken spots, and otherwise the ANSI
// code page on Windows and windows-1252 elsewhere.
void nameFromCharset(String& out, const Block& bytes, const Block& charset);

} // namespace TOVK_Utils
