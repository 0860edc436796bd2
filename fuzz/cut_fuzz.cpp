// Cutting arbitrary text: the input's bytes choose which named parts and which uuencoded
// blocks of plain text parts are dropped, as the extraction would. Whatever
// the input, the cut text never grows, every part that stays keeps its header and body
// bytes (found at its old place less the bytes cut before it), and a cut of parts with an
// exact extent always passes the check that guards the writes.
#include "formats/CutPlan.h"
#include "formats/MessageCut.h"
#include "formats/MimePart.h"
#include "formats/Uuencode.h"
#include "utils/LightBlock.h"

#include <algorithm>
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
    CutPlan plan(root);
    std::vector<std::pair<int64_t, int64_t>> ranges;
    size_t choice = 0;
    auto visit = [&](const MimePart& part) {
        if (part.isInsideAttachment())
            return; // goes with its forwarded message or stays with it
        if (part.isAttachment() && part.hasExactExtent() && (data[choice++ % size] & 1)) {
            require(plan.drop(part)); // a part with an exact extent is below the root, seen once
            ranges.emplace_back(part.partStart, part.partEnd);
            return;
        }
        if (!part.isText() || part.transferEncoding != TransferEncoding::Plain ||
            !part.bodyIsExact())
            return;
        const std::string_view body(reinterpret_cast<const char*>(part.body.rawPointer()),
                                    static_cast<size_t>(part.body.length()));
        for (const auto& block : findUuencodedBlocks(body)) {
            if (!(data[choice++ % size] & 1) || !plan.dropFromBody(part, block.start, block.end))
                continue;
            ranges.emplace_back(plan.cuts().back().range.start, plan.cuts().back().range.end);
        }
    };
    visit(root);
    for (auto& part : root.allParts)
        visit(*part);
    // A cut that takes the line break before it can meet the one before: they are one.
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int64_t, int64_t>> merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && range.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    ranges.swap(merged);
    Block cut;
    require(spliceOutDropped(root, plan, text, cut));
    require(cut.byteSize() <= text.byteSize());
    int64_t removed = 0;
    for (const auto& [start, end] : ranges)
        removed += end - start;
    require(cut.byteSize() == text.byteSize() - removed);
    for (auto& part : root.allParts) {
        bool kept = true;
        for (const MimePart* p = part.get(); p; p = p->parent)
            kept = kept && !plan.isDropped(*p);
        if (!kept)
            continue;
        requireMoved(part->headerText, data, cut, ranges);
        // A body that lost a range inside it is checked by the check below.
        const int64_t bodyStart = part->body.rawPointer() - data;
        bool whole = true;
        for (const auto& [start, end] : ranges)
            whole = whole && (part->body.byteSize() == 0 || end <= bodyStart ||
                              start >= bodyStart + part->body.byteSize());
        if (whole)
            requireMoved(part->body, data, cut, ranges);
    }
    require(cutKeepsTheRest(root, plan, cut));
    return 0;
}
