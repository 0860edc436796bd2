// Reading UTF-8 one sequence at a time, strictly as RFC 3629 has it. Both the check that
// decides whether a name is UTF-8 and the POSIX code page conversion read it this way, so
// that a name counted as UTF-8 always converts without a replacement character.
#pragma once

#include <cstdint>

namespace TOVK_Utils {

// The length (1 to 4) of the UTF-8 sequence that starts s, of which n > 0 bytes are
// readable, with its code point in value; 0 when no valid sequence starts there: a stray
// continuation byte, a lead byte without its continuation bytes (also one cut off by the
// end), an overlong form, an encoded surrogate or a value above U+10FFFF.
int utf8SequenceLength(const uint8_t* s, int32_t n, uint32_t& value);

} // namespace TOVK_Utils
