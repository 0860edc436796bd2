// Arbitrary text as a BinHex 4.0 file: decoded without reading outside it, and what it
// says of itself holds (a clean file's data fork has the length its header gives).
#include "formats/BinHex.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace TOVK_Internet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20))
        return 0;
    TOVK_Utils::Block dataFork;
    const BinHexFile file =
        BinHex::decode(std::string_view(reinterpret_cast<const char*>(data), size), dataFork);
    if (dataFork.byteSize() > BinHex::maxDataFork || (file.clean && !file.found) ||
        (file.clean && static_cast<uint32_t>(dataFork.byteSize()) != file.dataLength) ||
        (!file.found && dataFork.byteSize() != 0))
        __builtin_trap();
    return 0;
}
