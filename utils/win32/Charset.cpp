// Windows backend of the character-set conversions: MultiByteToWideChar with the set's
// code page, which the system must know (IsValidCodePage).
#include "utils/Platform.h"

#include <windows.h>

namespace TOVK_Utils::Platform {

bool hasConverter(unsigned codePage, const char*) {
    return codePage == 0 || IsValidCodePage(codePage);
}

bool convertToUtf16(const char* bytes, int32_t n, unsigned codePage, const char*,
                    std::u16string& out) {
    out.clear();
    if (!hasConverter(codePage, nullptr))
        return false;
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

unsigned rawTextCodePage() {
    return 0;
}

} // namespace TOVK_Utils::Platform
