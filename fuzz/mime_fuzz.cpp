// Arbitrary text as a message: parse, walk every part and decode every named part.
#include "formats/Decoding.h"
#include "formats/MimePart.h"
#include "utils/LightBlock.h"

using namespace TOVK_Internet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20))
        return 0;
    TOVK_Utils::LightBlock text(data, static_cast<int32_t>(size));
    MimePart root;
    root.parse(text);
    TOVK_Utils::Block decoded;
    for (auto& part : root.allParts)
        if (part->isAttachment())
            decodeContent(*part, decoded);
    return 0;
}
