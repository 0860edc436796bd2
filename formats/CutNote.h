// CutNote: the short text that takes a cut attachment's place in its message, so that a
// reader of the mail later learns where the file went. Made here from a sentence (UTF-8)
// and the part it replaces; CutPlan carries it, spliceOutDropped writes it, and
// cutKeepsTheRest expects exactly it where the part was.
#pragma once

#include "formats/MimePart.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace TOVK_Internet {

// A whole text/plain part under the boundary of the part's parent, to replace the part's
// byte range: its boundary line, its headers, a blank line, the sentence and the line
// break before the next boundary line, with the line breaks the part's headers use.
// Plain us-ascii when the sentence is 7-bit and no line is too long for mail; else UTF-8
// in quoted-printable, whose lines never begin with "-" (so never with a boundary).
// Control characters in the sentence become spaces. Empty when the part takes no note:
// it has no boundary above it, or it is an alternative of a multipart/alternative, where
// a reader would show the note instead of the message's text.
std::string notePart(const MimePart& part, std::string_view sentence);

// One line to replace a uuencoded block [start, end) of a text part's body: the sentence
// with the line break the block ended with (none at the body's end). The text keeps its
// own charset and encoding, so only a 7-bit sentence fits, and one that begins with "-"
// could read as a boundary line: empty for those.
std::string noteLine(const MimePart& textPart, int64_t start, int64_t end,
                     std::string_view sentence);

} // namespace TOVK_Internet
