// BinHex 4.0, the Macintosh's way of mailing a file (application/mac-binhex40): after the
// line "(This file must be converted with BinHex 4.0)", text between two colons in an
// alphabet of 64 characters, 6 bits each. The bytes they give are run-length coded (0x90
// repeats the byte before it) and hold a header (name, type, creator, flags, the lengths
// of the two forks) and then the data fork and the resource fork, each of the three with
// a CRC-16 (CCITT polynomial, XMODEM variant). The data fork is the file a user expects;
// the resource fork is checked but not kept.
#pragma once

#include "utils/Block.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace TOVK_Internet {

struct BinHexFile {
    bool found = false; // a colon began the data and a whole header followed
    // Everything held: the marker line before the data with nothing but blank lines
    // before it, only the alphabet and line breaks between the colons, the closing colon
    // with nothing but white space after it, the three CRCs, and not a byte more or less
    // than the header's lengths.
    bool clean = false;
    std::string name; // from the header, in the Macintosh's own character set (nameCharset)
    uint32_t type = 0;
    uint32_t creator = 0;
    uint16_t flags = 0;
    uint32_t dataLength = 0; // as the header gives them
    uint32_t resourceLength = 0;
};

class BinHex {
public:
    // The charset label of the names in BinHex headers, for Charset.
    static constexpr const char* nameCharset = "macintosh";
    // A data fork beyond this is not kept: run-length coding lets a few megabytes of mail
    // claim gigabytes, and Macintosh files sent by mail never came near it.
    static constexpr int32_t maxDataFork = 1 << 28;

    // Decodes the BinHex file in the text: its data fork goes into dataFork (replacing
    // its content; empty when nothing was found). Never reads outside the text.
    static BinHexFile decode(std::string_view text, TOVK_Utils::Block& dataFork);
};

} // namespace TOVK_Internet
