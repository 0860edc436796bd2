#include "utils/String.h"

#include "utils/Fatal.h"
#include "utils/LightBlock.h"
#include "utils/Platform.h"
#include "utils/StoreVirtual.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace TOVK_Utils {

String::String() {
    setSize(0);
}

String::String(const char* text) : Block(text ? text : "") {}

String::String(const Block& block) {
    setWide(block.isWide());
    assign(block.rawPointer(), block.length());
}

String::String(const String& other) : String(static_cast<const Block&>(other)) {}

String::String(String&& other) noexcept {
    takeFrom(other);
}

String& String::operator=(const String& other) {
    Block::assign(other);
    return *this;
}

String& String::operator=(String&& other) noexcept {
    takeFrom(other);
    return *this;
}

String::~String() = default;

void String::measure() const {
    if (flags_ & SizeKnown)
        return;
    int32_t n = 0;
    if (isWide()) {
        while (charAtUnchecked(n) != 0)
            ++n;
    } else {
        n = static_cast<int32_t>(std::strlen(reinterpret_cast<const char*>(ptr_)));
    }
    length_ = n;
    size_ = (n + 1) * charSize();
    flags_ |= SizeKnown;
}

void String::terminate() {
    if (isWide()) {
        char16_t zero = 0;
        std::memcpy(ptr_ + int64_t{length_} * 2, &zero, 2);
    } else {
        ptr_[length_] = 0;
    }
}

void String::setSize(int32_t n) {
    Block::setSize(checkedSize(int64_t{n} + 1));
    length_ = n;
    terminate();
}

void String::resize(int32_t n) {
    measure();
    Block::resize(checkedSize(int64_t{n} + 1));
    length_ = n;
    terminate();
}

void String::allocate(int32_t n) {
    Block::allocate(checkedSize(int64_t{n} + 1));
    length_ = 0;
    size_ = charSize();
    terminate();
}

void String::allocateAgain(int32_t n) {
    allocate(n);
}

void String::clear() {
    if (!ptr_) {
        length_ = 0;
        return;
    }
    resize(0);
}

void String::release() {
    Block::release();
    if (!ptr_)
        length_ = 0;
}

int32_t String::byteSize() const {
    measure();
    return length_ * charSize();
}

int32_t String::length() const {
    measure();
    return length_;
}

String String::toString() const {
    return String(*this);
}

void String::takeFrom(Block& block) {
    if (&block == this)
        return;
    Block::assign(block);
    block.release();
}

void String::takeFrom(String& other) {
    if (&other == this)
        return;
    release();
    ptr_ = other.ptr_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    flags_ = (flags_ & (Doubling | ShrinkAllowed)) |
             (other.flags_ & (Wide | NotOwned | SizeKnown | Constant));
    length_ = other.length_;
    forgetStorage(other);
    other.length_ = 0;
}

const char* String::c_str() const {
    return ptr_ ? reinterpret_cast<const char*>(ptr_) : "";
}

const char16_t* String::w_str() const {
    return ptr_ ? reinterpret_cast<const char16_t*>(ptr_) : u"";
}

void String::setDecimal(int64_t n) {
    char digits[24];
    int at = sizeof digits;
    // Through unsigned, so that the most negative value has a magnitude too.
    uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
    do {
        digits[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (n < 0)
        digits[--at] = '-';
    setWide(false);
    assign(digits + at, static_cast<int32_t>(sizeof digits - at));
}

void String::expandEnvironment(const Block& text) {
    String narrow;
    narrow.toNarrow(text);
    std::string expanded = Platform::expandEnvironment(narrow.c_str());
    setWide(false);
    assign(expanded.data(), checkedSize(static_cast<int64_t>(expanded.size())));
}

namespace {

template <class Char>
std::basic_string<Char> withLineBreaks(const Char* text, int32_t n, bool cr, bool lf) {
    std::basic_string<Char> out;
    out.reserve(n);
    for (int32_t i = 0; i < n; ++i) {
        Char c = text[i];
        if (c != '\r' && c != '\n') {
            out.push_back(c);
            continue;
        }
        if (c == '\r' && i + 1 < n && text[i + 1] == '\n')
            ++i;
        if (cr)
            out.push_back('\r');
        if (lf)
            out.push_back('\n');
    }
    return out;
}

// A copy of a block's UTF-16 characters; a view may start at an odd address.
std::u16string wideChars(const Block& block) {
    std::u16string chars(block.length(), u'\0');
    if (!chars.empty())
        std::memcpy(chars.data(), block.rawPointer(), chars.size() * 2);
    return chars;
}

} // namespace

void String::normaliseLineBreaks(LineBreak lineBreak) {
    const bool cr = lineBreak == LineBreak::Cr || lineBreak == LineBreak::CrLf;
    const bool lf = lineBreak == LineBreak::Lf || lineBreak == LineBreak::CrLf;
    if (isWide()) {
        std::u16string chars = wideChars(*this);
        std::u16string out = withLineBreaks(chars.data(), length(), cr, lf);
        assign(out.data(), static_cast<int32_t>(out.size()));
    } else {
        std::string out = withLineBreaks(c_str(), length(), cr, lf);
        assign(out.data(), static_cast<int32_t>(out.size()));
    }
}

void String::toNarrow(const Block& block, unsigned codePage) {
    if (!block.isWide()) {
        Block::assign(block);
        return;
    }
    std::u16string chars = wideChars(block);
    std::string narrow =
        Platform::toNarrow(chars.data(), static_cast<int32_t>(chars.size()), codePage);
    setWide(false);
    assign(narrow.data(), checkedSize(static_cast<int64_t>(narrow.size())));
}

void String::toWide(const Block& block, unsigned codePage) {
    if (block.isWide()) {
        Block::assign(block);
        return;
    }
    std::u16string wide = Platform::toWide(reinterpret_cast<const char*>(block.rawPointer()),
                                           block.length(), codePage);
    setWide(true);
    assign(wide.data(), checkedSize(static_cast<int64_t>(wide.size())));
}

void String::printFormatted(const char* pattern, ...) {
    setWide(false);
    int32_t room = 4096;
    for (;;) {
        setSize(room);
        va_list args;
        va_start(args, pattern);
        int printed = std::vsnprintf(reinterpret_cast<char*>(data()), room + 1, pattern, args);
        va_end(args);
        if (printed < 0) { // an encoding error, not a lack of room
            setSize(0);
            return;
        }
        if (printed <= room) {
            resize(printed);
            return;
        }
        room = checkedSize(int64_t{room} + 4096);
    }
}

WideForSystem::WideForSystem(const Block& text) {
    const auto* string = dynamic_cast<const String*>(&text);
    if (string && string->isWide()) {
        // A wide String already ends with a zero character: hand over its own storage.
        chars_ = string->w_str();
        length_ = string->length();
        return;
    }
    copy_.toWide(text);
    converted_ = true;
    length_ = copy_.length();
}

namespace {

// The formatter's output area: one per call, since the worker and the user interface
// format their texts at the same time. (A thread_local one is not an option: with the
// MinGW runtime, thread_local objects with destructors corrupt memory once a second
// worker thread has come and gone.) Status texts are short, so a heap block that grows
// in 16,384-character steps costs less than mapping pages for every call. A wide output
// keeps wide arguments as they are: a name outside the 8-bit code page must reach a
// question box whole.
class FormatScratch {
public:
    explicit FormatScratch(Width width) {
        store_.setPolicy(Block::Growth::Exact, Block::Shrink::Never);
        store_.setWide(width == Width::Wide);
    }

    // 8-bit characters of the pattern or of a number.
    void put(const char* chars, int32_t n) {
        if (!store_.isWide()) {
            putChars(chars, n);
            return;
        }
        String wide;
        wide.toWide(LightBlock(chars, n));
        putChars(wide.rawPointer(), wide.length());
    }

    void putText(const Block& text) {
        String converted;
        if (store_.isWide())
            converted.toWide(text);
        else
            converted.toNarrow(text);
        putChars(converted.rawPointer(), converted.length());
    }

    LightBlock text() const {
        return LightBlock(store_.rawPointer(), used_,
                          store_.isWide() ? Width::Wide : Width::Narrow);
    }

private:
    void putChars(const void* chars, int32_t n) {
        if (n <= 0)
            return;
        while (int64_t{used_} + n > store_.length())
            store_.grow(16384);
        std::memcpy(store_.data() + int64_t{used_} * store_.charSize(), chars,
                    static_cast<size_t>(n) * store_.charSize());
        used_ += n;
    }

    Block store_;
    int32_t used_ = 0;
};

} // namespace

void formatArgs(String& target, const char* pattern, Width width,
                std::initializer_list<FormatArg> args) {
    FormatScratch scratch(width);
    const FormatArg* next = args.begin();
    for (const char* p = pattern; *p; ++p) {
        if (*p != '%') {
            const char* end = std::strchr(p, '%');
            const int32_t n = static_cast<int32_t>(end ? end - p : std::strlen(p));
            scratch.put(p, n);
            p += n - 1;
            continue;
        }
        char directive = p[1];
        if (directive == 0)
            break; // a trailing percent sign writes nothing
        ++p;
        if (directive == '%') {
            scratch.put("%", 1);
        } else if (directive == 's' || directive == 'S') {
            if (next != args.end() && next->text())
                scratch.putText(*next->text());
            if (next != args.end())
                ++next;
        } else if (directive == 'd' || directive == 'D') {
            if (next != args.end() && !next->text()) {
                String digits;
                digits.setDecimal(next->number());
                scratch.put(digits.c_str(), digits.length());
            }
            if (next != args.end())
                ++next;
        }
    }
    LightBlock output = scratch.text();
    if (width == Width::Wide)
        target.toWide(output);
    else
        target.toNarrow(output);
}

} // namespace TOVK_Utils
