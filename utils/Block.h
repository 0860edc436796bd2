// Block: the one container for a run of 8-bit or 16-bit characters (file contents,
// message texts, decoded attachments, and through String all text).
#pragma once

#include <cstdint>

namespace TOVK_Utils {

class String;

// The width of characters a text holds or a call is to produce: 8-bit characters of the
// system's code page, or UTF-16.
enum class Width { Narrow, Wide };

class Block {
public:
    enum Flag : uint8_t {
        NotOwned = 0x01,      // storage belongs to someone else; release leaves it alone
        Wide = 0x02,          // content is 16-bit characters
        Doubling = 0x04,      // growth allocates twice the needed amount
        ShrinkAllowed = 0x08, // a resize well below the capacity gives memory back
        SizeKnown = 0x10,     // size field valid; clear = zero-terminated text, measured lazily
        Constant = 0x20,      // storage is a wrapped constant text: copied before any write
    };
    // The growth policy: how much a resize that needs more than the capacity allocates,
    // and whether one to well below the capacity gives memory back.
    enum class Growth { Exact, Doubling };
    enum class Shrink { Never, Allowed };

    Block();
    // Wraps a zero-terminated 8-bit text without copying and without owning it. The text is
    // taken as constant: setCharAt and replaceChar copy it first (data() does not).
    explicit Block(const char* text);
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    virtual ~Block();

    // Virtual operations; sizes are in characters (twice as many bytes when wide).
    virtual void setSize(int32_t n);                   // discard content, storage for n, size n
    virtual void resize(int32_t n);                    // keep content, growth policy applies
    virtual void allocate(int32_t n);                  // release, then capacity n, size 0
    virtual void storageAlloc(int32_t bytes);          // fresh storage of that many bytes
    virtual void allocateAgain(int32_t n);             // same as allocate
    virtual void storageRealloc(int32_t bytes);        // reallocate keeping the content
    virtual void clear();                              // size 0, storage kept
    virtual void release();                            // free owned storage
    virtual int32_t byteSize() const;                  // bytes in use (measures a wrapped text)
    virtual int32_t length() const;                    // characters in use
    virtual void allocateNarrow(int32_t n);            // 8-bit, then allocate
    virtual String toString() const;                   // a copy as a String
    virtual void assign(const void* chars, int32_t n); // copy n characters (a view for LightBlock)
    virtual void takeFrom(Block& other);               // move storage; other left empty and 8-bit

    // Storage pointer; asking for it while there is none is a fatal stop.
    uint8_t* data();
    const uint8_t* data() const;
    // The storage pointer or null, for code that must test for "no storage".
    const uint8_t* rawPointer() const { return ptr_; }

    void setPolicy(Growth growth, Shrink shrink);
    void setWide(bool wide);
    bool isWide() const { return (flags_ & Wide) != 0; }
    int32_t charSize() const { return isWide() ? 2 : 1; }
    int32_t capacity() const { return capacity_; }
    uint8_t flags() const { return flags_; }
    void grow(int32_t n); // resize(length() + n)
    uint32_t charAt(int32_t i) const;
    void setCharAt(int32_t i, uint32_t c);

    // Text operations shared by blocks and strings; positions and counts in characters.
    // A LightBlock target becomes a view of this block's characters instead of a copy.
    void assign(const Block& other);
    void append(const Block& other);           // converts to this block's width
    void append(const void* chars, int32_t n); // n characters of this block's width
    void appendText(const char* text);         // a zero-terminated 8-bit text
    void substring(Block& target, int32_t start, int32_t end) const;
    void tail(Block& target, int32_t start) const { substring(target, start, length()); }
    bool startsWithAt(const char* text, int32_t pos) const;
    bool startsWithAtNoCase(const Block& other, int32_t pos) const;
    bool matchesAt(const Block& other, int32_t pos) const;
    bool equals(const Block& other) const;
    bool equals(const char* text) const;
    bool equalsNoCase(const Block& other) const;
    bool equalsNoCase(const char* text) const;
    // -1 when absent; an empty needle is never found.
    int32_t find(const Block& needle, int32_t from) const;
    int32_t find(const char* needle, int32_t from) const;
    int32_t replaceChar(uint32_t oldChar, uint32_t newChar, int32_t from);
    void trim(Block& target) const;
    bool unquote(Block& target) const;

protected:
    // A size in bytes as the 32-bit fields hold it; anything outside 0..INT32_MAX is a
    // fatal stop, so an overflowing request can never turn into a small allocation.
    static int32_t checkedSize(int64_t bytes);
    static int32_t doubled(int32_t bytes);
    enum class Case { Exact, Folded }; // Folded: ASCII letters compare without case
    bool matchAt(const Block& other, int32_t pos, Case letterCase) const;
    // Leaves other without storage after its storage moved elsewhere.
    static void forgetStorage(Block& other);
    uint32_t charAtUnchecked(int32_t i) const;
    void makeWritable();

    // Lazily measured wrapped texts update these from const accessors.
    uint8_t* ptr_ = nullptr;
    mutable int32_t size_ = 0;
    int32_t capacity_ = 0;
    mutable uint8_t flags_ = ShrinkAllowed | SizeKnown;
};

} // namespace TOVK_Utils
