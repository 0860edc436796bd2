// Turning a part's stored body back into the bytes that were encoded.
#pragma once

#include "utils/Block.h"

namespace TOVK_Internet {

class MimePart;

// Decodes base64 text; bytes outside the alphabet (line breaks, "=", anything else) are
// skipped, and a pad character does not end the stream.
void decodeBase64(const TOVK_Utils::Block& input, TOVK_Utils::Block& output);

// Decodes quoted-printable text: "=" at a line end is a soft break, "=XY" with two hex
// digits is a byte, anything else stays as it is.
void decodeQuotedPrintable(const TOVK_Utils::Block& input, TOVK_Utils::Block& output);

// The attachment's bytes by the part's transfer encoding: base64, quoted-printable, or
// (7bit, 8bit, binary, none, unknown) the body unchanged. Decoding by the wrong rule
// would save garbage, and cutting would then replace the only copy with it.
void decodeContent(const MimePart& part, TOVK_Utils::Block& output);

} // namespace TOVK_Internet
