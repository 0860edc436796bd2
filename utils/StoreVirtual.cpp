#include "utils/StoreVirtual.h"

#include "utils/Fatal.h"
#include "utils/Platform.h"

#include <cstdint>
#include <cstring>

namespace TOVK_Utils {

namespace {

// Whole pages covering the amount; 64-bit so that doubling a 32-bit size cannot overflow.
uint64_t pages(uint64_t bytes) {
    uint64_t page = StoreVirtual<Block>::pageSize();
    return (bytes + page - 1) / page * page;
}

uint8_t* reserveBytes(uint64_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX)
        return nullptr;
    return static_cast<uint8_t*>(Platform::reserve(static_cast<size_t>(bytes)));
}

} // namespace

StoreVirtual<Block>::StoreVirtual() {
    // The plain Block release must never hand these pages to free().
    flags_ |= NotOwned;
}

StoreVirtual<Block>::~StoreVirtual() {
    if (base_)
        Platform::releaseRange(base_, reserved_);
    base_ = nullptr;
    ptr_ = nullptr;
}

size_t StoreVirtual<Block>::pageSize() {
    static const size_t size = Platform::pageSize();
    return size;
}

void StoreVirtual<Block>::placeAt(uint8_t* base, size_t reserved) {
    base_ = base;
    ptr_ = base;
    reserved_ = reserved;
}

void StoreVirtual<Block>::reserveAddressSpace(int32_t n, Growth growth) {
    reserveRange(static_cast<uint64_t>(checkedSize(n)) * (growth == Growth::Doubling ? 2 : 1));
}

void StoreVirtual<Block>::reserveRange(uint64_t bytes) {
    if (base_)
        Platform::releaseRange(base_, reserved_);
    placeAt(nullptr, 0);
    committed_ = 0;
    size_ = 0;
    capacity_ = 0;
    // At least one page, so that even an empty store has a valid base address.
    uint64_t want = bytes > 0 ? pages(bytes) : pageSize();
    uint8_t* base = reserveBytes(want);
    if (!base)
        fatalError("Out of virtual address space.");
    placeAt(base, static_cast<size_t>(want));
}

void StoreVirtual<Block>::storageAlloc(int32_t bytes) {
    checkedSize(bytes);
    if (static_cast<uint64_t>(bytes) > reserved_)
        reserveRange(uint64_t{2} * bytes);
    size_t want = static_cast<size_t>(pages(bytes));
    if (want > committed_) {
        if (!Platform::commit(base_ + committed_, want - committed_))
            fatalLastError();
    } else if (want < committed_) {
        if (!Platform::decommit(base_ + want, committed_ - want))
            fatalLastError();
    }
    ptr_ = base_;
    committed_ = want;
    capacity_ = bytes;
}

void StoreVirtual<Block>::storageRealloc(int32_t bytes) {
    checkedSize(bytes);
    size_t want = static_cast<size_t>(pages(bytes));
    if (static_cast<uint64_t>(bytes) > reserved_) {
        uint64_t roomy = pages(uint64_t{2} * bytes);
        uint8_t* base = reserveBytes(roomy);
        if (!base) {
            roomy = want;
            base = reserveBytes(roomy);
            if (!base)
                fatalError("Out of virtual address space.");
            debugMessage("Virtual address space is running low.");
        }
        if (want > 0 && !Platform::commit(base, want))
            fatalError("Out of memory.");
        int32_t keep = size_ < bytes ? size_ : bytes;
        if (ptr_ && keep > 0)
            std::memcpy(base, ptr_, keep);
        if (base_)
            Platform::releaseRange(base_, reserved_);
        placeAt(base, static_cast<size_t>(roomy));
    } else if (want > committed_) {
        if (!Platform::commit(base_ + committed_, want - committed_))
            fatalLastError();
    } else if (want + pageSize() <= committed_) {
        if (!Platform::decommit(base_ + want, committed_ - want))
            fatalLastError();
    }
    ptr_ = base_;
    committed_ = want;
    capacity_ = bytes;
}

void StoreVirtual<Block>::release() {
    if (committed_ > 0 && !Platform::decommit(base_, committed_))
        fatalLastError();
    ptr_ = base_;
    committed_ = 0;
    size_ = 0;
    capacity_ = 0;
    flags_ |= SizeKnown;
}

void StoreVirtual<Block>::allocateNarrow(int32_t n) {
    setWide(false);
    reserveAddressSpace(n, (flags_ & Doubling) != 0 ? Growth::Doubling : Growth::Exact);
}

void StoreVirtual<Block>::takeFrom(Block& other) {
    if (&other == this)
        return;
    Block moved;
    moved.takeFrom(other);
    setWide(moved.isWide());
    assign(moved.rawPointer(), moved.length());
}

} // namespace TOVK_Utils
