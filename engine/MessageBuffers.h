// MessageBuffers: the raw text of the message being read and its cut text. Both reserve
// their address space once, for the life of the job object, and never give memory back,
// so that a message costs no heap growth and no page faults.
#pragma once

#include "utils/Block.h"
#include "utils/StoreVirtual.h"

#include <cstdint>

struct MessageBuffers {
    // Reserved address space of each buffer.
    static constexpr int32_t reserve = 0x1E00000;

    MessageBuffers() {
        message.allocateNarrow(reserve);
        rewrite.allocateNarrow(reserve);
        message.setPolicy(TOVK_Utils::Block::Growth::Doubling, TOVK_Utils::Block::Shrink::Never);
        rewrite.setPolicy(TOVK_Utils::Block::Growth::Doubling, TOVK_Utils::Block::Shrink::Never);
    }

    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> message;
    TOVK_Utils::StoreVirtual<TOVK_Utils::Block> rewrite;
};
