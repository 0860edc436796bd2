// Small helpers for the mail-format tests: std::string in and out of blocks.
#pragma once

#include "utils/Block.h"
#include "utils/LightBlock.h"
#include "utils/String.h"

#include <string>

inline std::string str(const TOVK_Utils::Block& block) {
    if (block.length() == 0)
        return std::string();
    return std::string(reinterpret_cast<const char*>(block.rawPointer()),
                       static_cast<size_t>(block.byteSize()));
}

// A view of a std::string's bytes; the string must outlive it.
inline TOVK_Utils::LightBlock view(const std::string& text) {
    return TOVK_Utils::LightBlock(text.data(), static_cast<int32_t>(text.size()));
}
