// Cutting arbitrary text: the input's bytes choose which named parts are dropped. Whatever
// the input, the cut text never grows, every part that stays keeps its header and body
// bytes (found at its old place less the bytes cut before it), and a cut of parts with an
// exact extent always passes the check that guards the writes.
#include "formats/MessageCut.h"
#include "formats/MimePart.h"
#include "utils/LightBlock.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace TOVK_Internet;
using TOVK_Utils::Block;

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// The view's bytes sit at the same place in the cut text, moved back by what was cut
// before them.
void requireMoved(const Block& view, const uint8_t* original, const Block& cut,
                  const std::vector<std::pair<int64_t, int64_t>>& ranges) {
    if (view.byteSize() == 0)
        return;
    const int64_t at = view.rawPointer() - original;
    int64_t removed = 0;
    for (const auto& [start, end] : ranges)
        if (end <= at)
            removed += end - start;
    const int64_t moved = at - removed;
    require(moved >= 0 && moved + view.byteSize() <= cut.byteSize());
    require(std::memcmp(cut.rawPointer() + moved, view.rawPointer(),
                        static_cast<size_t>(view.byteSize())) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20))
        return 0;
    TOVK_Utils::LightBlock text(data, static_cast<int32_t>(size));
    MimePart root;
    root.parse(text);
    if (root.isUnparseable())
        return 0;
    std::vector<std::pair<int64_t, int64_t>> ranges;
    size_t choice = 0;
    for (auto& part : root.allParts) {
        if (!part->isAttachment() || !part->hasExactExtent() || !(data[choice++ % size] & 1))
            continue;
        part->drop();
        ranges.emplace_back(part->partStart, part->partEnd);
    }
    Block cut;
    require(spliceOutDropped(root, text, cut));
    require(cut.byteSize() <= text.byteSize());
    int64_t removed = 0;
    for (const auto& [start, end] : ranges)
        removed += end - start;
    require(cut.byteSize() == text.byteSize() - removed);
    for (auto& part : root.allParts) {
        bool kept = true;
        for (const MimePart* p = part.get(); p; p = p->parent)
            kept = kept && p->keep;
        if (!kept)
            continue;
        requireMoved(part->headerText, data, cut, ranges);
        requireMoved(part->body, data, cut, ranges);
    }
    require(cutKeepsTheRest(root, cut));
    return 0;
}
