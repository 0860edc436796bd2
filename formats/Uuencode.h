// Uuencoded files: "begin MODE NAME", lines of data, an empty data line and "end". Mailers
// put them into the text of a message (Outlook Express could send attachments so, and
// newsgroup folders are full of them) or into a part in x-uuencode.
#pragma once

#include "utils/Block.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace TOVK_Internet {

// Offsets are relative to the text that was searched.
struct UuencodedBlock {
    int64_t start = 0;     // the begin line's first byte
    int64_t end = 0;       // past the end line's line break (or the text's end)
    int64_t dataStart = 0; // the first data line's first byte
    int64_t dataEnd = 0;   // the end line's first byte (or where the data stopped)
    std::string_view name; // as the begin line gives it
    bool ended = false;    // an "end" line closed it
};

// The uuencoded files in a text, in order. A begin line counts only when a data line
// follows it, so that prose that happens to begin with "begin 644 " is left alone.
std::vector<UuencodedBlock> findUuencodedBlocks(std::string_view text);

// Decodes a block's data. Clean: every data line well formed, an empty data line or the
// end line after the data, and the end line there.
bool decodeUuencoded(std::string_view text, const UuencodedBlock& block, TOVK_Utils::Block& output);

// The content of a part in x-uuencode: its first block. Clean when the block is clean and
// the body holds nothing else but blank lines. Without a begin line the body's lines are
// decoded as data, and that is never clean.
bool decodeUuencodedBody(std::string_view body, TOVK_Utils::Block& output);

} // namespace TOVK_Internet
