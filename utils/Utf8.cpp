#include "Utf8.h"

namespace TOVK_Utils {

int utf8SequenceLength(const uint8_t* s, int32_t n, uint32_t& value) {
    const uint8_t lead = s[0];
    int length;
    uint32_t minimum;
    if (lead < 0x80) {
        value = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((s[k] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (s[k] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace TOVK_Utils
