// POSIX backend: mmap for the memory store, UTF-8 as the 8-bit code page, standard error
// for the stops.
#include "utils/Platform.h"
#include "utils/Utf8.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace TOVK_Utils::Platform {

size_t pageSize() {
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<size_t>(size) : 4096;
}

void* reserve(size_t bytes) {
    void* at = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return at == MAP_FAILED ? nullptr : at;
}

bool commit(void* at, size_t bytes) {
    return mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0;
}

bool decommit(void* at, size_t bytes) {
    // DONTNEED drops the pages' contents at once; PROT_NONE makes a stray access fault
    // just as it would on an uncommitted Windows page.
    return madvise(at, bytes, MADV_DONTNEED) == 0 && mprotect(at, bytes, PROT_NONE) == 0;
}

void releaseRange(void* at, size_t bytes) {
    munmap(at, bytes);
}

namespace {

constexpr char16_t Replacement = 0xFFFD;

} // namespace

std::u16string toWide(const char* chars, int32_t n, unsigned) {
    std::u16string out;
    out.reserve(n);
    const auto* s = reinterpret_cast<const uint8_t*>(chars);
    for (int32_t i = 0; i < n;) {
        uint32_t value = 0;
        const int length = utf8SequenceLength(s + i, n - i, value);
        if (length == 0) {
            out.push_back(Replacement);
            ++i;
            continue;
        }
        i += length;
        if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
    }
    return out;
}

std::string toNarrow(const char16_t* chars, int32_t n, unsigned) {
    std::string out;
    out.reserve(n);
    for (int32_t i = 0; i < n; ++i) {
        uint32_t value = chars[i];
        if (value >= 0xD800 && value <= 0xDFFF) {
            bool pair =
                value <= 0xDBFF && i + 1 < n && chars[i + 1] >= 0xDC00 && chars[i + 1] <= 0xDFFF;
            if (!pair) {
                out.push_back('#'); // a lone surrogate has no UTF-8 form
                continue;
            }
            value = 0x10000 + ((value - 0xD800) << 10) + (chars[++i] - 0xDC00);
        }
        if (value < 0x80) {
            out.push_back(static_cast<char>(value));
        } else if (value < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (value >> 6)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else if (value < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (value >> 12)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (value >> 18)));
            out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
        }
    }
    return out;
}

std::string expandEnvironment(const char* text) {
    // Windows rules: %NAME% with a known NAME becomes its value; anything else, including
    // an unknown name and a lone '%', is copied as written.
    std::string out;
    const char* p = text;
    while (*p) {
        const char* open = std::strchr(p, '%');
        if (!open) {
            out.append(p);
            break;
        }
        out.append(p, open);
        const char* close = std::strchr(open + 1, '%');
        if (!close) {
            out.append(open);
            break;
        }
        std::string name(open + 1, close);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value)
            out.append(value);
        else
            out.append(open, close + 1);
        p = close + 1;
    }
    return out;
}

unsigned long lastError() {
    return static_cast<unsigned long>(errno);
}

namespace {
void writeLine(const char* prefix, const char* text) {
    std::string line = std::string(prefix) + (text ? text : "") + "\n";
    // write(2) rather than stdio: it works from any thread, with no buffer to flush.
    ssize_t ignored = write(STDERR_FILENO, line.data(), line.size());
    (void)ignored;
}
} // namespace

void fatalStop(const char* text) {
    writeLine("", text);
    _exit(3);
}

void debugMessage(const char* text) {
    writeLine("Debug Message: ", text);
}

} // namespace TOVK_Utils::Platform
