// POSIX backend of the character-set conversions: iconv, by the set's iconv name.
#include "utils/Platform.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace TOVK_Utils::Platform {

namespace {

// One conversion descriptor, closed when it goes.
class Converter {
public:
    explicit Converter(const char* name)
        : descriptor_(name ? iconv_open("UTF-16LE", name) : invalid()) {}
    ~Converter() {
        if (ok())
            iconv_close(descriptor_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return descriptor_ != invalid(); }
    iconv_t get() const { return descriptor_; }

private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t descriptor_;
};

void appendUtf16le(std::u16string& out, const char* bytes, size_t n) {
    for (size_t i = 0; i + 1 < n; i += 2)
        out.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                            (static_cast<uint8_t>(bytes[i + 1]) << 8)));
}

} // namespace

bool hasConverter(unsigned, const char* converterName) {
    return Converter(converterName).ok();
}

bool convertToUtf16(const char* bytes, int32_t n, unsigned, const char* converterName,
                    std::u16string& out) {
    out.clear();
    Converter converter(converterName);
    if (!converter.ok())
        return false;
    char* in = const_cast<char*>(bytes);
    size_t inLeft = n > 0 ? static_cast<size_t>(n) : 0;
    char buffer[256];
    for (;;) {
        char* to = buffer;
        size_t toLeft = sizeof buffer;
        // A null input ends the text: a stateful set (ISO-2022-JP) writes what it holds.
        const size_t done = inLeft > 0 ? iconv(converter.get(), &in, &inLeft, &to, &toLeft)
                                       : iconv(converter.get(), nullptr, nullptr, &to, &toLeft);
        const int error = done == static_cast<size_t>(-1) ? errno : 0;
        appendUtf16le(out, buffer, sizeof buffer - toLeft);
        if (error == E2BIG)
            continue;
        if (error == EILSEQ || error == EINVAL) {
            // A byte the set does not know, or a character cut off at the end: one
            // replacement character, and the reading goes on behind it.
            out.push_back(u'\uFFFD');
            ++in;
            --inLeft;
            continue;
        }
        if (inLeft == 0 && error == 0 && sizeof buffer - toLeft == 0)
            return true;
        if (error != 0)
            return false;
    }
}

unsigned rawTextCodePage() {
    return 1252;
}

} // namespace TOVK_Utils::Platform
