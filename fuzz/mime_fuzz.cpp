// Arbitrary text as a message: parse, walk every part, decode every named part, drop
// some, rebuild, and parse the result again.
#include "formats/Decoding.h"
#include "formats/MimePart.h"
#include "utils/LightBlock.h"

#include <cstdlib>

using namespace TOVK_Internet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20))
        return 0;
    TOVK_Utils::LightBlock text(data, static_cast<int32_t>(size));
    MimePart root;
    root.parse(text);
    TOVK_Utils::Block decoded;
    size_t i = 0;
    bool dropped = false;
    for (auto& part : root.allParts) {
        if (part->isAttachment()) {
            decodeContent(*part, decoded);
            if (size && (data[i++ % size] & 1)) {
                part->drop();
                dropped = true;
            }
        }
    }
    if (root.isUnparseable())
        return 0;
    TOVK_Utils::Block rebuilt;
    root.rebuild(rebuilt);
    MimePart again;
    again.parse(rebuilt);
    if (!dropped && again.allParts.size() < root.allParts.size()) {
        // Nothing was cut, so no part may be lost. (The epilogue may be.)
        bool inEpilogue = false;
        for (auto& part : root.allParts)
            inEpilogue |= part->parent && part->parent->childrenClosed;
        if (!inEpilogue)
            std::abort();
    }
    return 0;
}
