// Arbitrary bytes as a winmail.dat: read without reading outside them, and every file
// found lies inside them.
#include "formats/Tnef.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace TOVK_Internet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20))
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TnefContent content = Tnef::read(bytes);
    for (const TnefFile& file : content.files) {
        const bool inside = file.data.empty() ||
                            (file.data.data() >= bytes.data() &&
                             file.data.data() + file.data.size() <= bytes.data() + bytes.size());
        if (!inside || !content.isTnef)
            __builtin_trap();
    }
    return 0;
}
