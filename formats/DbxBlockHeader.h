// DbxBlockHeader: the 16 bytes in front of every data block's body, and the little-endian
// words the mailbox format stores all its numbers in. The reader, the writer and the
// carver all take a block header from here, so that what counts as a block is decided once.
#pragma once

#include <cstdint>

namespace TOVK_Internet {

inline uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void put32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

struct DbxBlockHeader {
    static constexpr uint32_t size = 16;

    uint32_t self = 0;     // the block's own file offset
    uint32_t capacity = 0; // bytes of body the block has room for
    uint32_t length = 0;   // bytes of it the message uses
    uint32_t next = 0;     // the chain's next block, 0 at its end

    static DbxBlockHeader decode(const uint8_t* raw) {
        return {get32(raw), get32(raw + 4), get32(raw + 8), get32(raw + 12)};
    }
    void encode(uint8_t* raw) const {
        put32(raw, self);
        put32(raw + 4, capacity);
        put32(raw + 8, length);
        put32(raw + 12, next);
    }
    // The block at offset in a file of fileSize bytes, whole: it names its own offset, uses
    // no more than its capacity (a damaged length must never pull another message's bytes
    // into this one), and its body lies within the file.
    bool isWholeBlockAt(uint64_t offset, uint64_t fileSize) const {
        return self == offset && length <= capacity &&
               offset + size + uint64_t(capacity) <= fileSize;
    }
};

} // namespace TOVK_Internet
