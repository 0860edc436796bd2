#include "formats/MessageCut.h"

#include <cstring>
#include <utility>
#include <vector>

using TOVK_Utils::Block;

namespace TOVK_Internet {

namespace {

bool sameBytes(const Block& a, const Block& b) {
    const int32_t n = a.byteSize();
    return n == b.byteSize() &&
           (n == 0 || std::memcmp(a.rawPointer(), b.rawPointer(), static_cast<size_t>(n)) == 0);
}

bool sameOwnText(const MimePart& before, const MimePart& after) {
    return before.inBody == after.inBody && before.headerDamaged == after.headerDamaged &&
           before.isMultipart == after.isMultipart &&
           before.transferEncoding == after.transferEncoding &&
           sameBytes(before.headerText, after.headerText) && sameBytes(before.body, after.body) &&
           sameBytes(before.boundary, after.boundary) && sameBytes(before.fileName, after.fileName);
}

} // namespace

bool spliceOutDropped(const MimePart& root, const Block& original, Block& output) {
    // The output keeps its storage: the passes reuse one large buffer for every message.
    output.setWide(false);
    output.setPolicy(true, false);
    const int32_t n = original.byteSize();
    output.resize(n);
    int32_t written = 0;
    int64_t copied = 0; // the original is copied up to here
    for (const auto& part : root.allParts) {
        if (part->keep)
            continue;
        if (!part->hasExactExtent() || part->partEnd > n) {
            output.resize(0);
            return false;
        }
        if (part->partStart < copied)
            continue; // inside a range already cut
        const int64_t keepLength = part->partStart - copied;
        if (keepLength > 0)
            std::memcpy(output.data() + written, original.data() + copied,
                        static_cast<size_t>(keepLength));
        written += static_cast<int32_t>(keepLength);
        copied = part->partEnd;
    }
    if (copied < n)
        std::memcpy(output.data() + written, original.data() + copied,
                    static_cast<size_t>(n - copied));
    written += static_cast<int32_t>(n - copied);
    output.resize(written);
    return true;
}

// Walked with an explicit stack: the worker thread's stack is small and a message may be
// nested very deeply.
bool cutKeepsTheRest(const MimePart& root, const Block& cutText) {
    MimePart again;
    again.parse(cutText);
    if (root.isUnparseable() || again.isUnparseable())
        return false;
    std::vector<std::pair<const MimePart*, const MimePart*>> pending{{&root, &again}};
    std::vector<const MimePart*> kept;
    while (!pending.empty()) {
        const auto [before, after] = pending.back();
        pending.pop_back();
        if (!before->keep || !sameOwnText(*before, *after))
            return false;
        kept.clear();
        for (const MimePart* child : before->children)
            if (child->keep)
                kept.push_back(child);
        if (kept.size() != after->children.size())
            return false;
        for (size_t i = 0; i < kept.size(); ++i)
            pending.emplace_back(kept[i], after->children[i]);
    }
    return true;
}

} // namespace TOVK_Internet
