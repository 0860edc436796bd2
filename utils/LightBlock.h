// LightBlock: a view of someone else's characters. It never allocates; assigning
// points it at the caller's bytes.
#pragma once

#include "Block.h"

namespace TOVK_Utils {

class LightBlock : public Block {
public:
    LightBlock() { flags_ |= NotOwned; }
    LightBlock(const void* chars, int32_t n, Width width = Width::Narrow);

    void setSize(int32_t n) override;                   // fatal stop
    void resize(int32_t n) override;                    // fatal stop
    void storageAlloc(int32_t bytes) override;          // fatal stop
    void storageRealloc(int32_t bytes) override;        // fatal stop
    void assign(const void* chars, int32_t n) override; // becomes a view, nothing copied
    using Block::assign;
};

} // namespace TOVK_Utils
