// StoreVirtual<Block>: a block whose storage is a reserved range of address space,
// committed page by page, so that a large buffer costs only the pages in use.
#pragma once

#include "Block.h"

#include <cstddef>

namespace TOVK_Utils {

template <class Base> class StoreVirtual;

template <> class StoreVirtual<Block> : public Block {
public:
    StoreVirtual();
    ~StoreVirtual() override;

    void storageAlloc(int32_t bytes) override;   // commit pages(bytes)
    void storageRealloc(int32_t bytes) override; // grow or shrink the committed range
    void release() override;                     // decommit everything, keep the reservation
    void allocateNarrow(int32_t n) override;     // reserveAddressSpace(n, the growth policy)
    // Pages cannot adopt a heap buffer: the content is copied, and other is left empty.
    void takeFrom(Block& other) override;

    // Releases any earlier reservation and reserves pages(n), or pages(2n) with doubling.
    void reserveAddressSpace(int32_t n, Growth growth);

    size_t reservedBytes() const { return reserved_; }
    size_t committedBytes() const { return committed_; }
    static size_t pageSize();

private:
    void reserveRange(uint64_t bytes);
    void placeAt(uint8_t* base, size_t reserved);
    // The reservation's base; kept apart from the storage pointer, which a block that
    // takes this one's content clears.
    uint8_t* base_ = nullptr;
    size_t reserved_ = 0;
    size_t committed_ = 0;
};

} // namespace TOVK_Utils
