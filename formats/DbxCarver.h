// DbxCarver: finds the messages of a mailbox without its index. Every data block begins
// with its own file offset, so a scan of the whole file finds the blocks; their links
// form chains, and a chain's first block is one that no other block links to. Carving
// cannot tell a live message from a deleted one, or from the tail of a message that was
// cut earlier (a cut ends a chain early and leaves the rest as a chain of its own).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace TOVK_Internet {

class DbxCarver {
public:
    // Reads up to count bytes at offset into buffer and returns how many came: fewer only
    // at the end of the source. A reader that fails returns 0, which ends the carve as the
    // end of the source would; the caller knows which it was.
    using Reader = std::function<uint32_t(uint64_t offset, uint8_t* buffer, uint32_t count)>;

    struct Chain {
        uint32_t first = 0;  // offset of the chain's first data block
        uint32_t blocks = 0; // blocks in it, the first included
        // It ends with a last block; otherwise it breaks off at a link to something that
        // is no block, or one that loops back into the chain.
        bool complete = false;
    };

    // Bytes read per system call: large enough that the scan runs at the disk's speed.
    static constexpr uint32_t chunkBytes = 4u << 20;

    // The chains of a source of size bytes, ordered by their first block's offset. Only
    // offsets behind the file header and below 4 GiB can hold a block. The source is read
    // in pieces of chunk bytes (at least 16).
    static std::vector<Chain> carve(const Reader& read, uint64_t size, uint32_t chunk = chunkBytes);

    // Whether the 16 bytes at offset are a plausible block header in a file of size bytes:
    // its own offset first, a body length within a non-zero capacity, the body within the
    // file, and a link that is none or could name a block.
    static bool plausibleBlock(const uint8_t* header, uint64_t offset, uint64_t size);
};

} // namespace TOVK_Internet
