#include "utils/LightBlock.h"

#include "utils/Fatal.h"

namespace TOVK_Utils {

LightBlock::LightBlock(const void* chars, int32_t n, Width width) {
    setWide(width == Width::Wide);
    assign(chars, n);
}

// A view has no storage of its own to change: asking it to allocate is a programming error.
void LightBlock::setSize(int32_t) {
    fatalLastError();
}
void LightBlock::resize(int32_t) {
    fatalLastError();
}
void LightBlock::storageAlloc(int32_t) {
    fatalLastError();
}
void LightBlock::storageRealloc(int32_t) {
    fatalLastError();
}

void LightBlock::assign(const void* chars, int32_t n) {
    int32_t bytes = checkedSize(int64_t{n} * charSize());
    release(); // frees only storage this view took over from an owning block
    ptr_ = static_cast<uint8_t*>(const_cast<void*>(chars));
    size_ = bytes;
    capacity_ = 0;
    flags_ = (flags_ & ~Constant) | NotOwned | SizeKnown;
}

} // namespace TOVK_Utils
