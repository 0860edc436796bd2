// Arbitrary bytes as a base64 body, the lenient reading of blank-line-separated lines
// included: decoded without reading outside them, never longer than they are, and a
// clean result is every alphabet character's bits.
#include "formats/Decoding.h"
#include "utils/LightBlock.h"

#include <cstddef>
#include <cstdint>

using namespace TOVK_Internet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20))
        return 0;
    const TOVK_Utils::LightBlock body(data, static_cast<int32_t>(size));
    TOVK_Utils::Block decoded;
    const bool clean = decodeBase64(body, decoded);
    size_t characters = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t c = data[i];
        characters += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '+' || c == '/';
    }
    if (static_cast<size_t>(decoded.byteSize()) > size ||
        (clean && static_cast<size_t>(decoded.byteSize()) != characters * 6 / 8))
        __builtin_trap();
    return 0;
}
