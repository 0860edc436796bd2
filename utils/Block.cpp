#include "utils/Block.h"

#include "utils/Fatal.h"
#include "utils/String.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace TOVK_Utils {

namespace {

bool isSpace(uint32_t c) {
    return c == ' ' || c == '\t';
}

uint32_t foldCase(uint32_t c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

int32_t clampPosition(int32_t pos, int32_t length) {
    return pos < 0 ? 0 : (pos > length ? length : pos);
}

// True when p points into [start, start + bytes).
bool pointsInto(const void* p, const uint8_t* start, int32_t bytes) {
    auto at = reinterpret_cast<uintptr_t>(p);
    auto begin = reinterpret_cast<uintptr_t>(start);
    return start && at >= begin && at < begin + static_cast<uintptr_t>(bytes);
}

} // namespace

int32_t Block::checkedSize(int64_t bytes) {
    if (bytes < 0 || bytes > INT32_MAX)
        fatalError("Block size out of range");
    return static_cast<int32_t>(bytes);
}

// Doubling only saves reallocations: near the size limit the exact amount must do, or a
// large but valid size would stop the process.
int32_t Block::doubled(int32_t bytes) {
    const int64_t twice = int64_t{bytes} * 2;
    return twice > INT32_MAX ? bytes : static_cast<int32_t>(twice);
}

void Block::forgetStorage(Block& other) {
    other.ptr_ = nullptr;
    other.size_ = 0;
    other.capacity_ = 0;
    other.flags_ = (other.flags_ & ~(Wide | Constant)) | SizeKnown;
}

Block::Block() = default;

Block::Block(const char* text) {
    ptr_ = reinterpret_cast<uint8_t*>(const_cast<char*>(text));
    flags_ = NotOwned | ShrinkAllowed | (text ? Constant : SizeKnown);
}

Block::~Block() {
    Block::release();
}

void Block::setSize(int32_t n) {
    int32_t bytes = checkedSize(int64_t{n} * charSize());
    int32_t amount = bytes;
    if (bytes > capacity_ && (flags_ & Doubling))
        amount = doubled(bytes);
    release();
    storageAlloc(amount);
    size_ = bytes;
    flags_ |= SizeKnown;
}

void Block::resize(int32_t n) {
    int32_t bytes = checkedSize(int64_t{n} * charSize());
    byteSize(); // a wrapped text is measured before its size is compared
    int32_t current = size_;
    if (bytes > capacity_) {
        storageRealloc((flags_ & Doubling) ? doubled(bytes) : bytes);
    } else if ((flags_ & ShrinkAllowed) && bytes < current && bytes < capacity_ / 2) {
        storageRealloc(bytes * 2);
    }
    size_ = bytes;
    flags_ |= SizeKnown;
}

void Block::allocate(int32_t n) {
    int32_t bytes = checkedSize(int64_t{n} * charSize());
    release();
    storageAlloc(bytes);
    size_ = 0;
    flags_ |= SizeKnown;
}

void Block::storageAlloc(int32_t bytes) {
    // Never a zero-byte request: malloc(0) may answer null, which would read as a failure.
    void* p = std::malloc(bytes > 0 ? bytes : 1);
    if (!p)
        fatalError("Block::ptr is null");
    ptr_ = static_cast<uint8_t*>(p);
    capacity_ = bytes;
    flags_ &= ~(NotOwned | Constant);
}

void Block::allocateAgain(int32_t n) {
    allocate(n);
}

void Block::storageRealloc(int32_t bytes) {
    size_t amount = bytes > 0 ? bytes : 1;
    void* p;
    if (ptr_ && !(flags_ & NotOwned)) {
        p = std::realloc(ptr_, amount);
    } else {
        // Someone else's bytes (a wrapped text, a view): copy them into storage of our own.
        byteSize();
        p = std::malloc(amount);
        int32_t keep = size_ < bytes ? size_ : bytes;
        if (p && ptr_ && keep > 0)
            std::memcpy(p, ptr_, keep);
    }
    if (!p)
        fatalError("Block::ptr is null");
    ptr_ = static_cast<uint8_t*>(p);
    capacity_ = bytes;
    flags_ &= ~(NotOwned | Constant);
}

void Block::clear() {
    size_ = 0;
    flags_ |= SizeKnown;
}

void Block::release() {
    if (flags_ & NotOwned)
        return;
    std::free(ptr_);
    ptr_ = nullptr;
    size_ = 0;
    capacity_ = 0;
    flags_ |= SizeKnown;
}

int32_t Block::byteSize() const {
    if (!(flags_ & SizeKnown)) {
        if (isWide()) {
            int32_t n = 0;
            while (charAtUnchecked(n) != 0)
                ++n;
            size_ = n * 2;
        } else {
            size_ = static_cast<int32_t>(std::strlen(reinterpret_cast<const char*>(ptr_)));
        }
        flags_ |= SizeKnown;
    }
    return size_;
}

int32_t Block::length() const {
    return byteSize() / charSize();
}

void Block::allocateNarrow(int32_t n) {
    setWide(false);
    allocate(n);
}

String Block::toString() const {
    return String(*this);
}

void Block::assign(const void* chars, int32_t n) {
    if (n > 0 && pointsInto(chars, ptr_, capacity_ > size_ ? capacity_ : size_)) {
        // The source is part of this block, which setSize is about to replace.
        std::vector<uint8_t> copy(static_cast<const uint8_t*>(chars),
                                  static_cast<const uint8_t*>(chars) + int64_t{n} * charSize());
        assign(copy.data(), n);
        return;
    }
    setSize(n);
    if (n > 0)
        std::memcpy(data(), chars, static_cast<size_t>(n) * charSize());
}

void Block::takeFrom(Block& other) {
    if (&other == this)
        return;
    int32_t bytes = other.byteSize();
    release();
    ptr_ = other.ptr_;
    size_ = bytes;
    capacity_ = other.capacity_;
    // Ownership travels with the storage: a wrapped text or view stays someone else's.
    flags_ = (flags_ & (Doubling | ShrinkAllowed)) | SizeKnown |
             (other.flags_ & (Wide | NotOwned | Constant));
    forgetStorage(other);
    other.clear();
}

uint8_t* Block::data() {
    if (!ptr_)
        fatalError("Block::ptr is null");
    return ptr_;
}

const uint8_t* Block::data() const {
    if (!ptr_)
        fatalError("Block::ptr is null");
    return ptr_;
}

void Block::setPolicy(Growth growth, Shrink shrink) {
    flags_ = (flags_ & ~(Doubling | ShrinkAllowed)) | (growth == Growth::Doubling ? Doubling : 0) |
             (shrink == Shrink::Allowed ? ShrinkAllowed : 0);
}

void Block::setWide(bool wide) {
    flags_ = wide ? (flags_ | Wide) : (flags_ & ~Wide);
}

void Block::grow(int32_t n) {
    resize(checkedSize(int64_t{length()} + n));
}

uint32_t Block::charAtUnchecked(int32_t i) const {
    if (!isWide())
        return ptr_[i];
    char16_t c;
    std::memcpy(&c, ptr_ + int64_t{i} * 2, 2); // views may start at an odd address
    return c;
}

uint32_t Block::charAt(int32_t i) const {
    if (i < 0 || i >= length())
        return 0;
    return charAtUnchecked(i);
}

void Block::makeWritable() {
    if (flags_ & Constant)
        resize(length()); // more than the zero capacity: the text moves into own storage
}

void Block::setCharAt(int32_t i, uint32_t c) {
    if (i < 0 || i >= length())
        return;
    makeWritable();
    if (isWide()) {
        auto wide = static_cast<char16_t>(c);
        std::memcpy(ptr_ + int64_t{i} * 2, &wide, 2);
    } else {
        ptr_[i] = static_cast<uint8_t>(c);
    }
}

void Block::assign(const Block& other) {
    if (&other == this)
        return;
    setWide(other.isWide());
    assign(other.rawPointer(), other.length());
}

void Block::append(const Block& other) {
    if (other.isWide() == isWide()) {
        append(other.rawPointer(), other.length());
        return;
    }
    String converted;
    if (isWide())
        converted.toWide(other);
    else
        converted.toNarrow(other);
    append(converted.rawPointer(), converted.length());
}

void Block::append(const void* chars, int32_t n) {
    if (n <= 0)
        return;
    if (pointsInto(chars, ptr_, capacity_ > size_ ? capacity_ : size_)) {
        // Growing may move this block's storage, and the source with it.
        std::vector<uint8_t> copy(static_cast<const uint8_t*>(chars),
                                  static_cast<const uint8_t*>(chars) + int64_t{n} * charSize());
        append(copy.data(), n);
        return;
    }
    int32_t old = length();
    grow(n);
    std::memcpy(data() + int64_t{old} * charSize(), chars, static_cast<size_t>(n) * charSize());
}

void Block::appendText(const char* text) {
    append(Block(text));
}

void Block::substring(Block& target, int32_t start, int32_t end) const {
    int32_t n = length();
    end = clampPosition(end, n);
    start = clampPosition(start, n);
    if (start > end)
        start = end;
    target.setWide(isWide());
    const uint8_t* from = end > start ? ptr_ + int64_t{start} * charSize() : ptr_;
    target.assign(from, end - start);
}

bool Block::startsWithAt(const char* text, int32_t pos) const {
    if (!text || !*text)
        return false;
    int32_t n = length();
    pos = clampPosition(pos, n);
    for (int32_t i = 0; text[i]; ++i) {
        if (pos + i >= n || charAtUnchecked(pos + i) != static_cast<unsigned char>(text[i]))
            return false;
    }
    return true;
}

// Whether other's characters stand at pos, with or without ASCII case folding.
bool Block::matchAt(const Block& other, int32_t pos, Case letterCase) const {
    int32_t n = length();
    int32_t m = other.length();
    pos = clampPosition(pos, n);
    if (m == 0 || n - pos < m)
        return false;
    for (int32_t i = 0; i < m; ++i) {
        uint32_t a = charAtUnchecked(pos + i), b = other.charAtUnchecked(i);
        if (letterCase == Case::Folded ? foldCase(a) != foldCase(b) : a != b)
            return false;
    }
    return true;
}

bool Block::startsWithAtNoCase(const Block& other, int32_t pos) const {
    return matchAt(other, pos, Case::Folded);
}

bool Block::matchesAt(const Block& other, int32_t pos) const {
    return matchAt(other, pos, Case::Exact);
}

bool Block::equals(const Block& other) const {
    int32_t bytes = byteSize();
    return bytes == other.byteSize() && (bytes == 0 || std::memcmp(ptr_, other.ptr_, bytes) == 0);
}

bool Block::equals(const char* text) const {
    return equals(Block(text));
}

bool Block::equalsNoCase(const Block& other) const {
    int32_t bytes = byteSize();
    if (bytes != other.byteSize())
        return false;
    for (int32_t i = 0; i < bytes; ++i) {
        if (foldCase(ptr_[i]) != foldCase(other.ptr_[i]))
            return false;
    }
    return true;
}

bool Block::equalsNoCase(const char* text) const {
    return equalsNoCase(Block(text));
}

int32_t Block::find(const Block& needle, int32_t from) const {
    int32_t n = length();
    int32_t m = needle.length();
    if (from < 0)
        from = 0;
    if (m == 0 || from > n - m)
        return -1;
    if (!isWide() && !needle.isWide()) {
        std::string_view hay(reinterpret_cast<const char*>(ptr_), n);
        size_t at = hay.find(std::string_view(reinterpret_cast<const char*>(needle.ptr_), m), from);
        return at == std::string_view::npos ? -1 : static_cast<int32_t>(at);
    }
    for (int32_t i = from; i <= n - m; ++i) {
        if (matchesAt(needle, i))
            return i;
    }
    return -1;
}

int32_t Block::find(const char* needle, int32_t from) const {
    return find(Block(needle), from);
}

int32_t Block::replaceChar(uint32_t oldChar, uint32_t newChar, int32_t from) {
    int32_t count = 0;
    int32_t n = length();
    for (int32_t i = from < 0 ? 0 : from; i < n; ++i) {
        if (charAtUnchecked(i) == oldChar) {
            makeWritable();
            setCharAt(i, newChar);
            ++count;
        }
    }
    return count;
}

void Block::trim(Block& target) const {
    int32_t n = length();
    int32_t first = 0;
    while (first < n && isSpace(charAtUnchecked(first)))
        ++first;
    int32_t last = n;
    while (last > first && isSpace(charAtUnchecked(last - 1)))
        --last;
    substring(target, first, last);
}

bool Block::unquote(Block& target) const {
    int32_t n = length();
    int32_t first = 0;
    while (first < n && isSpace(charAtUnchecked(first)))
        ++first;
    if (first == n) {
        substring(target, 0, n);
        return false;
    }
    int32_t last = n - 1;
    while (isSpace(charAtUnchecked(last)))
        --last;
    bool quoted = charAtUnchecked(first) == '"';
    int32_t start = quoted ? first + 1 : 0;
    int32_t end = charAtUnchecked(last) == '"' ? last : n;
    substring(target, start, end);
    return quoted;
}

} // namespace TOVK_Utils
