// ChainMap: which bytes of a mailbox belong to what, as the scan of a mailbox opened for
// cutting found them: the file header, every index node and record, and every block of
// every chain the index names. A write may go only into bytes that belong to its own
// message alone, so any two of these that share a byte make both unwritable: a block whose
// capacity reaches into a neighbour, two chains sharing a block, a record inside a body.
// A chain that is damaged anywhere is never written, but the bytes it claims are noted all
// the same: another chain that reaches into them is not written either.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

namespace TOVK_Internet {

class ChainMap {
public:
    static constexpr uint32_t noChain = UINT32_MAX;
    // Where the walk reads block headers from.
    class HeaderReader {
    public:
        // Puts the 16 bytes of the block header at offset into header; false when they are
        // not all in the file.
        virtual bool readHeader(uint32_t offset, uint8_t* header) = 0;

    protected:
        ~HeaderReader() = default;
    };

    // Empty and unmapped: nothing may be written.
    void clear();
    // The same, and the memory given back.
    void release();
    // Bytes [start, end) of the file header or of an index structure; noted before the
    // chains are mapped.
    void noteIndex(uint64_t start, uint64_t end);
    // Walks the chain of every first block once, from the block headers alone (two records
    // naming one chain are one message), and judges which bytes are shared. False, with
    // nothing mapped, when the chains run into each other so often that walking on could
    // take time quadratic in the file.
    bool mapChains(const std::vector<uint32_t>& firsts, uint64_t fileSize, HeaderReader& read);
    bool isMapped() const { return mapped_; }

    // The chain that starts at first, when it was read whole and shares no byte with
    // anything else; noChain otherwise, and always before mapChains succeeded.
    uint32_t soundChain(uint32_t first) const;
    // Blocks the walk found in the chain.
    uint32_t blocksOf(uint32_t chain) const { return chainBlocks_[chain]; }
    // The block at offset is one of the chain's, with this capacity when it was mapped.
    bool isBlockOf(uint32_t chain, uint32_t offset, uint32_t capacity) const;
    // May [offset, offset + length) be written for the chain: the bytes lie within one block
    // the walk gave to that chain, counted from the block's start.
    bool mayWrite(uint32_t chain, uint32_t offset, uint32_t length) const;

private:
    // Bytes [start, start + length) taken by one block or index structure.
    struct Extent {
        uint32_t start;
        uint32_t length;
        uint32_t owner; // indexOwner, or a chain's number
    };
    static constexpr uint32_t indexOwner = 0;

    void note(uint64_t start, uint64_t end, uint32_t owner);
    // Walks one chain, noting its blocks; false when the budget of steps ran out.
    bool walkChain(uint32_t first, uint32_t chain, uint64_t fileSize, HeaderReader& read,
                   uint64_t& budget);
    void findSharedBytes();
    const Extent* extentAt(uint32_t start) const;

    std::vector<Extent> extents_;                    // sorted by start once mapped
    std::unordered_map<uint32_t, uint32_t> chainOf_; // first block -> chain number
    std::vector<uint8_t> chainSound_;                // per chain number: read whole, shares no byte
    std::vector<uint32_t> chainBlocks_;              // per chain number: blocks found by the walk
    bool mapped_ = false;
};

} // namespace TOVK_Internet
