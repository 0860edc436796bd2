#include "formats/DbxCarver.h"

#include "formats/DbxBlockHeader.h"
#include "formats/DbxMailbox.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace TOVK_Internet {

namespace {

constexpr uint32_t headerBytes = DbxBlockHeader::size;
constexpr uint64_t offsetLimit = uint64_t(1) << 32; // the format's offsets are 32-bit

// Eight bytes at once, the first in the lowest bits, as the format stores its numbers.
static_assert(std::endian::native == std::endian::little, "the scan reads words in file order");
uint64_t get64(const uint8_t* p) {
    uint64_t value;
    std::memcpy(&value, p, 8);
    return value;
}

constexpr uint64_t everyByte = 0x0101010101010101ull;
constexpr uint64_t lowBits = 0x7F7F7F7F7F7F7F7Full;

// The top bit of each zero byte of a word, and no other bit.
uint64_t zeroBytes(uint64_t word) {
    return ~(((word & lowBits) + lowBits) | word | lowBits);
}

// The blocks found, in file order, as two arrays: a block is found by a binary search of
// its offset, which costs far less memory than a map of millions of blocks.
struct Blocks {
    std::vector<uint32_t> offsets;
    std::vector<uint32_t> links;

    static constexpr uint32_t none = UINT32_MAX;

    uint32_t find(uint32_t offset) const {
        const auto found = std::lower_bound(offsets.begin(), offsets.end(), offset);
        return found != offsets.end() && *found == offset ? uint32_t(found - offsets.begin())
                                                          : none;
    }
};

} // namespace

bool DbxCarver::plausibleBlock(const uint8_t* raw, uint64_t offset, uint64_t size) {
    const DbxBlockHeader header = DbxBlockHeader::decode(raw);
    const uint32_t next = header.next;
    return header.isWholeBlockAt(offset, size) && offset >= DbxMailbox::headerSize &&
           header.capacity > 0 &&
           (next == 0 || (next >= DbxMailbox::headerSize && next + uint64_t(headerBytes) <= size));
}

namespace {

// The plausible block headers among the first positions bytes of data, which holds the
// source from start on.
void findBlocksIn(const uint8_t* data, uint32_t positions, uint64_t start, uint64_t size,
                  Blocks& blocks) {
    const uint32_t base = static_cast<uint32_t>(start);
    auto consider = [&](uint32_t i) {
        if (get32(data + i) == base + i && DbxCarver::plausibleBlock(data + i, start + i, size)) {
            blocks.offsets.push_back(base + i);
            blocks.links.push_back(get32(data + i + 12));
        }
    };
    // Within 64 KiB the upper half of every offset is the same, so a block's third and
    // fourth bytes are known: eight positions at a time are ruled out by comparing those
    // two bytes, and only the few where both match are looked at closely.
    for (uint32_t i = 0; i < positions;) {
        const uint32_t offset = base + i;
        const uint32_t windowEnd =
            static_cast<uint32_t>(std::min<uint64_t>(positions, i + 0x10000 - (offset & 0xFFFF)));
        const uint64_t third = everyByte * ((offset >> 16) & 0xFF);
        const uint64_t fourth = everyByte * (offset >> 24);
        // Reads up to i + 11, within the buffer: positions end 15 bytes before its data.
        for (; i + 8 <= windowEnd; i += 8) {
            uint64_t match =
                zeroBytes(get64(data + i + 2) ^ third) & zeroBytes(get64(data + i + 3) ^ fourth);
            while (match) {
                consider(i + static_cast<uint32_t>(std::countr_zero(match) >> 3));
                match &= match - 1;
            }
        }
        for (; i < windowEnd; ++i)
            consider(i);
    }
}

Blocks findBlocks(const DbxCarver::Reader& read, uint64_t size, uint32_t chunk) {
    Blocks blocks;
    const uint64_t end = std::min(size, offsetLimit);
    chunk = std::max(chunk, headerBytes);
    // No larger than the source: a small file needs no megabytes of buffer.
    std::vector<uint8_t> buffer(size_t(std::min<uint64_t>(chunk, size)) + headerBytes);
    // Chunks start at multiples of their size, the first at the end of the file header;
    // each takes the next chunk's first bytes too, so a header across the seam is seen.
    for (uint64_t start = DbxMailbox::headerSize; start + headerBytes <= end;) {
        const uint64_t chunkEnd = std::min<uint64_t>((start / chunk + 1) * chunk, end);
        const uint32_t want = static_cast<uint32_t>(
            std::min<uint64_t>(chunkEnd - start + headerBytes - 1, size - start));
        const uint32_t got = read(start, buffer.data(), want);
        if (got < headerBytes)
            break;
        const uint32_t positions =
            std::min<uint32_t>(got - headerBytes + 1, static_cast<uint32_t>(chunkEnd - start));
        findBlocksIn(buffer.data(), positions, start, size, blocks);
        if (got < want)
            break; // the source ended early
        start = chunkEnd;
    }
    return blocks;
}

// A block that another block links to starts no chain.
std::vector<DbxCarver::Chain> linkChains(const Blocks& blocks) {
    const uint32_t count = static_cast<uint32_t>(blocks.offsets.size());
    std::vector<uint32_t> successor(count, Blocks::none);
    std::vector<uint8_t> linkedTo(count, 0);
    for (uint32_t b = 0; b < count; ++b) {
        if (blocks.links[b] == 0)
            continue;
        successor[b] = blocks.find(blocks.links[b]);
        if (successor[b] != Blocks::none)
            linkedTo[successor[b]] = 1;
    }
    std::vector<DbxCarver::Chain> chains;
    std::vector<uint8_t> walked(count, 0); // a block walked once ends any walk that meets it
    for (uint32_t first = 0; first < count; ++first) {
        if (linkedTo[first])
            continue;
        DbxCarver::Chain chain;
        chain.first = blocks.offsets[first];
        for (uint32_t b = first;;) {
            walked[b] = 1;
            ++chain.blocks;
            if (blocks.links[b] == 0) {
                chain.complete = true;
                break;
            }
            b = successor[b];
            if (b == Blocks::none || walked[b])
                break;
        }
        chains.push_back(chain);
    }
    return chains;
}

} // namespace

std::vector<DbxCarver::Chain> DbxCarver::carve(const Reader& read, uint64_t size, uint32_t chunk) {
    return linkChains(findBlocks(read, size, chunk));
}

} // namespace TOVK_Internet
