// Windows backend: VirtualAlloc for the memory store, the ANSI code page for 8-bit text,
// the system's boxes for the stops.
#include "utils/Platform.h"

#include <cstring>
#include <windows.h>

namespace TOVK_Utils::Platform {

size_t pageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void* reserve(size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_READWRITE);
}

bool commit(void* at, size_t bytes) {
    return VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

bool decommit(void* at, size_t bytes) {
    return VirtualFree(at, bytes, MEM_DECOMMIT) != 0;
}

void releaseRange(void* at, size_t) {
    VirtualFree(at, 0, MEM_RELEASE);
}

namespace {
UINT systemCodePage(unsigned codePage) {
    return codePage == 0 ? CP_ACP : codePage;
}
} // namespace

std::u16string toWide(const char* chars, int32_t n, unsigned codePage) {
    if (n <= 0)
        return {};
    UINT cp = systemCodePage(codePage);
    int needed = MultiByteToWideChar(cp, 0, chars, n, nullptr, 0);
    std::u16string out(needed > 0 ? needed : 0, u'\0');
    if (needed > 0)
        MultiByteToWideChar(cp, 0, chars, n, reinterpret_cast<wchar_t*>(out.data()), needed);
    return out;
}

std::string toNarrow(const char16_t* chars, int32_t n, unsigned codePage) {
    if (n <= 0)
        return {};
    UINT cp = systemCodePage(codePage);
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(chars);
    // UTF-7 and UTF-8 refuse a default character; every other code page takes '#'.
    const char* fallback = (cp == CP_UTF8 || cp == CP_UTF7) ? nullptr : "#";
    int needed = WideCharToMultiByte(cp, 0, wide, n, nullptr, 0, fallback, nullptr);
    std::string out(needed > 0 ? needed : 0, '\0');
    if (needed > 0)
        WideCharToMultiByte(cp, 0, wide, n, out.data(), needed, fallback, nullptr);
    return out;
}

std::string expandEnvironment(const char* text) {
    // The first call tells the size the expansion needs; the environment may change
    // between the calls, so repeat until the result fits.
    std::string out(MAX_PATH, '\0');
    for (;;) {
        DWORD needed = ExpandEnvironmentStringsA(text, out.data(), static_cast<DWORD>(out.size()));
        if (needed == 0)
            return text;
        if (needed <= out.size()) {
            // The count includes the terminator and, for some code pages, is only an upper
            // bound: measure what was written.
            out.resize(std::strlen(out.c_str()));
            return out;
        }
        out.resize(needed);
    }
}

unsigned long lastError() {
    return GetLastError();
}

void fatalStop(const char* text) {
    FatalAppExitA(0, text);
    ExitProcess(3); // FatalAppExitA does not return; this only tells the compiler so
}

void debugMessage(const char* text) {
    MessageBoxA(nullptr, text, "Debug Message", MB_SYSTEMMODAL);
}

} // namespace TOVK_Utils::Platform
