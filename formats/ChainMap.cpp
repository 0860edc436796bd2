#include "formats/ChainMap.h"

#include "formats/DbxBlockHeader.h"

#include <algorithm>
#include <utility>

namespace TOVK_Internet {

namespace {

// Three passes of 11 bits each sort the offsets, which are unsigned 32-bit numbers.
constexpr uint32_t radixBits = 11;
constexpr uint32_t radixMask = (1u << radixBits) - 1;

} // namespace

void ChainMap::clear() {
    extents_.clear();
    chainOf_.clear();
    chainSound_.clear();
    chainBlocks_.clear();
    mapped_ = false;
}

void ChainMap::release() {
    std::vector<Extent>().swap(extents_);
    std::unordered_map<uint32_t, uint32_t>().swap(chainOf_);
    std::vector<uint8_t>().swap(chainSound_);
    std::vector<uint32_t>().swap(chainBlocks_);
    mapped_ = false;
}

void ChainMap::noteIndex(uint64_t start, uint64_t end) {
    note(start, end, indexOwner);
}

// A length beyond 32 bits can only come from a damaged capacity in a file larger than
// 4 GiB; clipped, the extent still reaches past every offset the format can name.
void ChainMap::note(uint64_t start, uint64_t end, uint32_t owner) {
    if (end > start)
        extents_.push_back({static_cast<uint32_t>(start),
                            static_cast<uint32_t>(std::min<uint64_t>(end - start, UINT32_MAX)),
                            owner});
}

bool ChainMap::mapChains(const std::vector<uint32_t>& firsts, uint64_t fileSize,
                         HeaderReader& read) {
    mapped_ = false;
    // A sound mailbox holds fewer than size / 16 blocks. More steps than that mean chains
    // running into each other so often that walking on could take time quadratic in the
    // file: then nothing is written.
    uint64_t budget = fileSize / DbxBlockHeader::size + 1;
    chainSound_.assign(1, 0); // chain number 0 is the index
    chainBlocks_.assign(1, 0);
    for (const uint32_t first : firsts) {
        const auto [found, fresh] = chainOf_.emplace(first, uint32_t(chainSound_.size()));
        if (!fresh)
            continue; // two records naming one chain: one message, walked once
        if (!walkChain(first, found->second, fileSize, read, budget))
            return false;
    }
    findSharedBytes();
    mapped_ = true;
    return true;
}

bool ChainMap::walkChain(uint32_t first, uint32_t chain, uint64_t fileSize, HeaderReader& read,
                         uint64_t& budget) {
    bool sound = false;
    uint32_t blocks = 0;
    // Brent's cycle detection: the walk compares each link with a block it passed, moved on
    // at every power of two, so a loop ends the walk without a set of every block seen.
    uint32_t waiting = first;
    uint64_t power = 1, steps = 0;
    for (uint32_t at = first;;) {
        if (budget-- == 0)
            return false;
        uint8_t raw[DbxBlockHeader::size];
        if (!read.readHeader(at, raw))
            break;
        const DbxBlockHeader header = DbxBlockHeader::decode(raw);
        if (header.self != at) {
            // What the chain points at is its own all the same.
            note(at, uint64_t(at) + DbxBlockHeader::size, chain);
            break;
        }
        ++blocks;
        const uint64_t claimed = uint64_t(std::max(header.capacity, header.length));
        const uint64_t end = uint64_t(at) + DbxBlockHeader::size + claimed;
        note(at, std::min(end, fileSize), chain);
        if (header.length > header.capacity || end > fileSize)
            break;
        if (header.next == 0) {
            sound = true;
            break;
        }
        if (header.next == waiting)
            break;
        if (++steps == power) {
            waiting = header.next;
            power *= 2;
            steps = 0;
        }
        at = header.next;
    }
    chainSound_.push_back(sound);
    chainBlocks_.push_back(blocks);
    return true;
}

void ChainMap::findSharedBytes() {
    // A radix sort: a comparison sort of the hundreds of thousands of blocks of a large
    // mailbox cost more than walking them.
    std::vector<Extent> sorted(extents_.size());
    for (uint32_t shift = 0; shift < 31; shift += radixBits) {
        std::vector<uint32_t> first(size_t(1) << radixBits, 0);
        for (const Extent& e : extents_)
            ++first[(e.start >> shift) & radixMask];
        uint32_t total = 0;
        for (uint32_t& f : first)
            total += std::exchange(f, total);
        for (const Extent& e : extents_)
            sorted[first[(e.start >> shift) & radixMask]++] = e;
        extents_.swap(sorted);
    }
    // Sorted by start, an extent shares bytes with an earlier one exactly when it starts
    // before the furthest end so far; the extent holding that end shares them too.
    uint64_t reach = 0;
    uint32_t reacher = indexOwner;
    for (const Extent& e : extents_) {
        if (e.start < reach) {
            chainSound_[e.owner] = 0;
            chainSound_[reacher] = 0;
        }
        const uint64_t end = uint64_t(e.start) + e.length;
        if (end > reach) {
            reach = end;
            reacher = e.owner;
        }
    }
}

uint32_t ChainMap::soundChain(uint32_t first) const {
    if (!mapped_)
        return noChain;
    const auto found = chainOf_.find(first);
    return found != chainOf_.end() && chainSound_[found->second] ? found->second : noChain;
}

const ChainMap::Extent* ChainMap::extentAt(uint32_t start) const {
    const auto found =
        std::lower_bound(extents_.begin(), extents_.end(), start,
                         [](const Extent& e, uint32_t value) { return e.start < value; });
    return found != extents_.end() && found->start == start ? &*found : nullptr;
}

bool ChainMap::isBlockOf(uint32_t chain, uint32_t offset, uint32_t capacity) const {
    const Extent* extent = extentAt(offset);
    return extent && extent->owner == chain &&
           extent->length == DbxBlockHeader::size + uint64_t(capacity);
}

bool ChainMap::mayWrite(uint32_t chain, uint32_t offset, uint32_t length) const {
    const Extent* extent = extentAt(offset);
    return extent && extent->owner == chain && length <= extent->length;
}

} // namespace TOVK_Internet
