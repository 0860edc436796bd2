// Turning a part's stored body back into the bytes that were encoded.
#pragma once

#include "utils/Block.h"

namespace TOVK_Internet {

class MimePart;

// The value of one hexadecimal digit of either case, or -1 for any other byte. Quoted-printable
// bodies, Q encoded words and RFC 2231 "%XX" escapes all spell a byte this way.
constexpr int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Each decoder says whether the input was clean: exactly what its encoding allows, so
// that the decoded bytes are all the input held. Only a clean part may be cut out of its
// message; an unclean one is decoded as well as it can be and stays where it is.

// Decodes base64 lines. The data ends at the padding, at a blank line, or after a line
// shorter than the first; text after that end is not decoded. A blank line does not end
// it when everything after it is still base64 lines up to the end of the body (blank
// lines between the lines): that decodes whole but is not clean. Other bytes outside the
// alphabet are skipped. Clean: alphabet characters and line breaks only, whole groups,
// padding only at the very end and nothing but line breaks after the data.
bool decodeBase64(const TOVK_Utils::Block& input, TOVK_Utils::Block& output);

// Decodes quoted-printable text: "=" at a line end is a soft break, "=XY" with two hex
// digits is a byte, anything else stays as it is. Clean: no other "=".
bool decodeQuotedPrintable(const TOVK_Utils::Block& input, TOVK_Utils::Block& output);

// The attachment's bytes by the part's transfer encoding: base64, quoted-printable,
// uuencode (the body's first block), or (7bit, 8bit, binary, none, unknown) the body
// unchanged. Decoding by the wrong rule
// would save garbage, and cutting would then replace the only copy with it. An unknown
// encoding is never clean, and neither is a body that decoded to nothing.
bool decodeContent(const MimePart& part, TOVK_Utils::Block& output);

} // namespace TOVK_Internet
