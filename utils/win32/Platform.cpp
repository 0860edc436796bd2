// Windows backend: VirtualAlloc for the memory store, the ANSI code page for 8-bit text,
// the system's boxes for the stops.
#include "utils/Platform.h"

#include <cstring>
#include <string>
#include <vector>
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

// The value of one environment variable; false when it is not set.
static bool environmentValue(const std::string& name, std::string& value) {
    std::vector<char> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD needed =
            GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) {
            value.clear();
            return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        }
        if (needed < buffer.size()) {
            value.assign(buffer.data(), needed);
            return true;
        }
        buffer.resize(needed); // the variable may grow between the calls: ask again
    }
}

// Replaces each %NAME% whose variable is set by its value, the way the system's
// expansion does: a reference to an unset name (or "%%") stays as written, closing "%"
// included, and the scan goes on behind it. Done here because ExpandEnvironmentStringsA silently
// cuts its result near 32 KiB, and a folder text must come back whole or not at all.
std::string expandEnvironment(const char* text) {
    std::string out;
    const char* p = text;
    while (*p) {
        const char* end = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
        if (!end) {
            out.push_back(*p++);
            continue;
        }
        std::string name(p + 1, end);
        std::string value;
        if (!name.empty() && environmentValue(name, value))
            out += value;
        else
            out.append(p, end + 1);
        p = end + 1;
    }
    return out;
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
