#include "Charset.h"

#include "FileSystem.h"
#include "Platform.h"
#include "Utf8.h"

#include <cstring>

namespace TOVK_Utils {

namespace {

constexpr unsigned Utf8 = 65001;
constexpr unsigned UsAscii = 20127;
constexpr unsigned Utf16le = 1200;

// The labels mail uses, lower case, with Windows' number of each set. ISO-8859-1 is
// read as windows-1252, as browsers do: mailers label windows-1252 text so, and the sets
// differ only where ISO-8859-1 has control characters.
struct Label {
    const char* name;
    unsigned codePage;
    const char* converter = nullptr; // iconv's name, when not that of the code page
};
const Label labels[] = {
    {"utf-8", Utf8},
    {"utf8", Utf8},
    {"unicode-1-1-utf-8", Utf8},
    {"x-unicode20utf8", Utf8},
    {"utf-16le", Utf16le},
    {"us-ascii", UsAscii},
    {"ascii", UsAscii},
    {"us", UsAscii},
    {"ansi_x3.4-1968", UsAscii},
    {"iso646-us", UsAscii},
    {"iso-ir-6", UsAscii},
    {"cp367", UsAscii},
    {"ibm367", UsAscii},
    {"csascii", UsAscii},
    {"iso-8859-1", 1252},
    {"iso8859-1", 1252},
    {"iso_8859-1", 1252},
    {"iso_8859-1:1987", 1252},
    {"latin1", 1252},
    {"l1", 1252},
    {"iso-ir-100", 1252},
    {"cp819", 1252},
    {"ibm819", 1252},
    {"csisolatin1", 1252},
    {"iso-8859-2", 28592},
    {"iso8859-2", 28592},
    {"iso_8859-2", 28592},
    {"latin2", 28592},
    {"l2", 28592},
    {"csisolatin2", 28592},
    {"iso-8859-3", 28593},
    {"iso8859-3", 28593},
    {"iso_8859-3", 28593},
    {"latin3", 28593},
    {"l3", 28593},
    {"iso-8859-4", 28594},
    {"iso8859-4", 28594},
    {"iso_8859-4", 28594},
    {"latin4", 28594},
    {"l4", 28594},
    {"iso-8859-5", 28595},
    {"iso8859-5", 28595},
    {"iso_8859-5", 28595},
    {"cyrillic", 28595},
    {"iso-8859-6", 28596},
    {"iso8859-6", 28596},
    {"iso_8859-6", 28596},
    {"arabic", 28596},
    {"iso-8859-7", 28597},
    {"iso8859-7", 28597},
    {"iso_8859-7", 28597},
    {"greek", 28597},
    {"greek8", 28597},
    {"iso-8859-8", 28598},
    {"iso8859-8", 28598},
    {"iso_8859-8", 28598},
    {"iso-8859-8-i", 28598},
    {"hebrew", 28598},
    {"iso-8859-9", 28599},
    {"iso8859-9", 28599},
    {"iso_8859-9", 28599},
    {"latin5", 28599},
    {"l5", 28599},
    {"iso-8859-13", 28603},
    {"iso8859-13", 28603},
    {"iso_8859-13", 28603},
    {"latin7", 28603},
    {"l7", 28603},
    {"iso-8859-15", 28605},
    {"iso8859-15", 28605},
    {"iso_8859-15", 28605},
    {"latin-9", 28605},
    {"latin9", 28605},
    {"l9", 28605},
    {"windows-1250", 1250},
    {"cp1250", 1250},
    {"x-cp1250", 1250},
    {"windows-1251", 1251},
    {"cp1251", 1251},
    {"x-cp1251", 1251},
    {"windows-1252", 1252},
    {"cp1252", 1252},
    {"x-cp1252", 1252},
    {"windows-1253", 1253},
    {"cp1253", 1253},
    {"windows-1254", 1254},
    {"cp1254", 1254},
    {"windows-1255", 1255},
    {"cp1255", 1255},
    {"windows-1256", 1256},
    {"cp1256", 1256},
    {"windows-1257", 1257},
    {"cp1257", 1257},
    {"windows-1258", 1258},
    {"cp1258", 1258},
    {"macintosh", 10000},
    {"mac", 10000},
    {"x-mac-roman", 10000},
    {"csmacintosh", 10000},
    {"koi8-r", 20866},
    {"koi8", 20866},
    {"cskoi8r", 20866},
    {"koi8-u", 21866},
    {"koi8-ru", 21866},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"ms_kanji", 932},
    {"csshiftjis", 932},
    {"windows-31j", 932},
    {"cp932", 932},
    {"ms932", 932},
    {"euc-jp", 20932},
    {"x-euc-jp", 20932},
    {"cseucpkdfmtjapanese", 20932},
    {"iso-2022-jp", 50220},
    {"csiso2022jp", 50220},
    // Windows reads the extensions through its ISO-2022-JP code page where it can, the
    // rest of them set by set (Iso2022Jp.h). iconv has no ISO-2022-JP-1; -2 extends it.
    {"iso-2022-jp-1", 50220, "ISO-2022-JP-2"},
    {"iso-2022-jp-2", 50220, "ISO-2022-JP-2"},
    {"csiso2022jp2", 50220, "ISO-2022-JP-2"},
    {"iso-2022-jp-3", 50220, "ISO-2022-JP-3"},
    {"gb2312", 936},
    {"gbk", 936},
    {"x-gbk", 936},
    {"cp936", 936},
    {"ms936", 936},
    {"windows-936", 936},
    {"csgb2312", 936},
    {"euc-cn", 936},
    {"x-euc-cn", 936},
    {"gb_2312-80", 936},
    {"chinese", 936},
    {"iso-ir-58", 936},
    {"gb18030", 54936},
    {"big5", 950},
    {"cn-big5", 950},
    {"x-x-big5", 950},
    {"csbig5", 950},
    {"cp950", 950},
    {"euc-kr", 949},
    {"cseuckr", 949},
    {"ks_c_5601-1987", 949},
    {"ks_c_5601-1989", 949},
    {"ksc5601", 949},
    {"ksc_5601", 949},
    {"iso-ir-149", 949},
    {"korean", 949},
    {"cp949", 949},
    {"windows-949", 949},
    {"uhc", 949},
};

// Each code page's name for iconv. Code page 932 is iconv's CP932, not SHIFT_JIS: its
// backslash and tilde are Windows' (SHIFT_JIS reads 0x5C as the yen sign), and 936, 949
// and 950 are Windows' supersets of GB2312, EUC-KR and Big5 as well.
struct Converter {
    unsigned codePage;
    const char* name;
};
const Converter converters[] = {
    {Utf8, "UTF-8"},        {Utf16le, "UTF-16LE"},  {UsAscii, "ASCII"},    {1250, "CP1250"},
    {1251, "CP1251"},       {1252, "CP1252"},       {1253, "CP1253"},      {1254, "CP1254"},
    {1255, "CP1255"},       {1256, "CP1256"},       {1257, "CP1257"},      {1258, "CP1258"},
    {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {20866, "KOI8-R"},     {10000, "MACINTOSH"},
    {21866, "KOI8-U"},      {932, "CP932"},         {20932, "EUC-JP"},     {50220, "ISO-2022-JP"},
    {936, "CP936"},         {54936, "GB18030"},     {950, "CP950"},        {949, "CP949"},
};

const char* converterOf(unsigned codePage) {
    for (const Converter& c : converters)
        if (c.codePage == codePage)
            return c.name;
    return nullptr;
}

// The label as the table writes it: lower case, without white space, quotes or an
// RFC 2231 language.
std::string normalised(const Block& label) {
    std::string text;
    for (int32_t i = 0; i < label.length(); ++i) {
        uint32_t c = label.charAt(i);
        if (c == '*')
            break;
        if (c == ' ' || c == '\t' || c == '"')
            continue;
        if (c >= 'A' && c <= 'Z')
            c += 'a' - 'A';
        if (c > 0x7E)
            return std::string(); // no label of the table has such a character
        text.push_back(static_cast<char>(c));
    }
    return text;
}

bool isAscii(const Block& bytes) {
    const uint8_t* s = bytes.rawPointer();
    for (int32_t i = 0; i < bytes.byteSize(); ++i)
        if (s[i] >= 0x80)
            return false;
    return true;
}

// How much of a text reads as UTF-8: its sequences of more than one byte, and its broken
// spots (runs of bytes that start no sequence).
struct Utf8Reading {
    int32_t multiByte = 0;
    int32_t brokenSpots = 0;
};

Utf8Reading readAsUtf8(const Block& bytes) {
    Utf8Reading reading;
    const uint8_t* s = bytes.rawPointer();
    const int32_t n = bytes.byteSize();
    bool inBroken = false;
    for (int32_t i = 0; i < n;) {
        uint32_t value;
        const int length = utf8SequenceLength(s + i, n - i, value);
        if (length == 0) {
            reading.brokenSpots += inBroken ? 0 : 1;
            inBroken = true;
            ++i;
            continue;
        }
        reading.multiByte += length > 1 ? 1 : 0;
        inBroken = false;
        i += length;
    }
    return reading;
}

// UTF-8 with its broken bytes read as U+FFFD, one each; the valid runs between them go
// through the system's converter.
void lenientUtf8ToUtf16(const Block& bytes, std::u16string& out) {
    const char* s = reinterpret_cast<const char*>(bytes.rawPointer());
    const int32_t n = bytes.byteSize();
    std::u16string piece;
    int32_t runStart = 0;
    auto flushRun = [&](int32_t end) {
        if (end > runStart &&
            Platform::convertToUtf16(s + runStart, end - runStart, Utf8, converterOf(Utf8), piece))
            out.append(piece);
    };
    for (int32_t i = 0; i < n;) {
        uint32_t value;
        const int length =
            utf8SequenceLength(reinterpret_cast<const uint8_t*>(s) + i, n - i, value);
        if (length > 0) {
            i += length;
            continue;
        }
        flushRun(i);
        out.push_back(u'\uFFFD');
        runStart = ++i;
    }
    flushRun(n);
}

// Bytes whose label does not hold: UTF-8 when they are UTF-8, even with a few broken bytes
// (a name cut inside a character, a stray byte), since text in any other set seldom holds
// even one valid sequence of UTF-8; otherwise the system's choice for raw 8-bit text.
void rawToUtf16(const Block& bytes, std::u16string& out) {
    out.clear();
    const Utf8Reading reading = readAsUtf8(bytes);
    if (reading.brokenSpots > 0 && reading.multiByte >= reading.brokenSpots) {
        lenientUtf8ToUtf16(bytes, out);
        return;
    }
    const unsigned raw = reading.brokenSpots == 0 ? Utf8 : Platform::rawTextCodePage();
    Platform::convertToUtf16(reinterpret_cast<const char*>(bytes.rawPointer()), bytes.byteSize(),
                             raw, converterOf(raw), out);
}

} // namespace

Charset::Charset(const Block& label) {
    const std::string name = normalised(label);
    for (const Label& l : labels) {
        if (name == l.name) {
            codePage_ = l.codePage;
            converter_ = l.converter ? l.converter : converterOf(codePage_);
            return;
        }
    }
}

bool Charset::isAvailable() const {
    return codePage_ != 0 && Platform::hasConverter(codePage_, converter_);
}

bool Charset::toUtf16(const Block& bytes, std::u16string& out) const {
    out.clear();
    if (!isAvailable())
        return false;
    return Platform::convertToUtf16(reinterpret_cast<const char*>(bytes.rawPointer()),
                                    bytes.byteSize(), codePage_, converter_, out);
}

bool isValidUtf8(const Block& bytes) {
    const uint8_t* s = bytes.rawPointer();
    const int32_t n = bytes.byteSize();
    for (int32_t i = 0; i < n;) {
        uint32_t value;
        const int length = utf8SequenceLength(s + i, n - i, value);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void nameFromCharset(String& out, const Block& bytes, const Block& charset) {
    std::u16string unicode;
    if (isAscii(bytes)) {
        // Every set of the table reads ASCII as ASCII, except ISO-2022-JP's escapes.
        const Charset declared(charset);
        if (!declared.toUtf16(bytes, unicode))
            for (int32_t i = 0; i < bytes.byteSize(); ++i)
                unicode.push_back(bytes.rawPointer()[i]);
    } else {
        const Charset declared(charset);
        const bool trusted = declared.isAvailable() && declared.codePage() != UsAscii &&
                             (declared.codePage() != Utf8 || isValidUtf8(bytes));
        if (!trusted || !declared.toUtf16(bytes, unicode))
            rawToUtf16(bytes, unicode);
    }
    String wide;
    wide.setWide(true);
    wide.assign(unicode.data(), static_cast<int32_t>(unicode.size()));
    if (widePathsPreferred())
        out.takeFrom(wide);
    else
        out.toNarrow(wide);
}

} // namespace TOVK_Utils
