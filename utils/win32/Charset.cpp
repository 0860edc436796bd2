// Windows backend of the character-set conversions: MultiByteToWideChar with the set's
// code page, which the system must know (IsValidCodePage).
#include "utils/Iso2022Jp.h"
#include "utils/Platform.h"

#include <windows.h>

namespace TOVK_Utils::Platform {

namespace {

constexpr unsigned Iso2022Jp = 50220;
constexpr unsigned Utf16le = 1200; // the system's own form, which MultiByteToWideChar does not take

void fromUtf16le(const char* bytes, int32_t n, std::u16string& out) {
    out.clear();
    for (int32_t i = 0; i + 1 < n; i += 2)
        out.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                            (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    if (n % 2)
        out.push_back(u'\uFFFD');
}

bool convertWith(unsigned codePage, const char* bytes, int32_t n, std::u16string& out) {
    out.clear();
    if (n <= 0)
        return true;
    const UINT cp = codePage == 0 ? CP_ACP : codePage;
    // The ISO-2022 and GB18030 converters take no flags; the others need none either.
    const int needed = MultiByteToWideChar(cp, 0, bytes, n, nullptr, 0);
    if (needed <= 0)
        return false;
    out.resize(static_cast<size_t>(needed));
    MultiByteToWideChar(cp, 0, bytes, n, reinterpret_cast<wchar_t*>(out.data()), needed);
    return true;
}

// ISO-2022-JP and its extensions. The system's ISO-2022-JP code page reads what it knows
// (Wine has none); anything else goes set by set through the code pages of those sets.
bool convertIso2022Jp(const char* bytes, int32_t n, std::u16string& out) {
    if (IsValidCodePage(Iso2022Jp) && isPlainIso2022Jp(bytes, n))
        return convertWith(Iso2022Jp, bytes, n, out);
    out.clear();
    std::u16string piece;
    for (const Iso2022JpRun& run : splitIso2022Jp(bytes, n)) {
        if (run.codePage != 0 && IsValidCodePage(run.codePage) &&
            convertWith(run.codePage, run.bytes.data(), static_cast<int32_t>(run.bytes.size()),
                        piece)) {
            out.append(piece);
            continue;
        }
        const size_t unreadable = run.codePage == 0 ? run.unreadable : run.bytes.size();
        out.append(unreadable, u'\uFFFD');
    }
    return true;
}

} // namespace

bool hasConverter(unsigned codePage, const char*) {
    if (codePage == Utf16le)
        return true;
    if (codePage == Iso2022Jp)
        return IsValidCodePage(Iso2022Jp) || IsValidCodePage(932);
    return codePage == 0 || IsValidCodePage(codePage);
}

bool convertToUtf16(const char* bytes, int32_t n, unsigned codePage, const char*,
                    std::u16string& out) {
    out.clear();
    if (!hasConverter(codePage, nullptr))
        return false;
    if (codePage == Iso2022Jp)
        return convertIso2022Jp(bytes, n, out);
    if (codePage == Utf16le) {
        fromUtf16le(bytes, n, out);
        return true;
    }
    return convertWith(codePage, bytes, n, out);
}

unsigned rawTextCodePage() {
    return 0;
}

} // namespace TOVK_Utils::Platform
