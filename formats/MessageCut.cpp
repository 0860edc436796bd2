#include "formats/MessageCut.h"

#include <algorithm>
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

// The ranges to cut, in order, none inside another; false when one is not known exactly.
bool rangesToCut(const MimePart& root, const CutPlan& plan, int64_t textSize,
                 std::vector<TextRange>& ranges) {
    ranges.clear();
    if (!plan.isFor(root))
        return false;
    for (const CutPlan::Cut& cut : plan.cuts()) {
        const MimePart& part = *cut.part;
        if (cut.kind == CutPlan::Cut::Kind::WholePart) {
            if (!part.hasExactExtent() || part.partEnd > textSize)
                return false;
            ranges.push_back(TextRange{part.partStart, part.partEnd});
            continue;
        }
        if (plan.isDropped(part))
            continue; // goes with its part
        const TextRange& range = cut.range;
        const int64_t bodyEnd = part.bodyStart + part.body.length();
        if (!part.bodyIsExact() || range.start < part.bodyStart || range.end > bodyEnd ||
            range.end > textSize || range.start >= range.end)
            return false;
        ranges.push_back(range);
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const TextRange& a, const TextRange& b) { return a.start < b.start; });
    // A range inside one already cut goes with it.
    size_t kept = 0;
    for (const TextRange& range : ranges) {
        if (kept > 0 && range.start < ranges[kept - 1].end) {
            ranges[kept - 1].end = std::max(ranges[kept - 1].end, range.end);
            continue;
        }
        ranges[kept++] = range;
    }
    ranges.resize(kept);
    return true;
}

// Whether `after` holds exactly the bytes of `before` (found at offset `at` of the
// original) less the cut ranges.
bool sameLessCut(const Block& before, int64_t at, const Block& after,
                 const std::vector<TextRange>& ranges) {
    const int64_t end = at + before.byteSize();
    auto range =
        std::lower_bound(ranges.begin(), ranges.end(), at,
                         [](const TextRange& r, int64_t offset) { return r.end <= offset; });
    if (before.byteSize() == 0 || range == ranges.end() || range->start >= end)
        return sameBytes(before, after);
    const uint8_t* b = before.rawPointer();
    const uint8_t* a = after.rawPointer();
    int64_t compared = 0; // bytes of `after` matched so far
    int64_t position = at;
    for (; position < end; ++range) {
        const int64_t pieceEnd = range != ranges.end() ? std::min(range->start, end) : end;
        if (pieceEnd > position) {
            const int64_t n = pieceEnd - position;
            if (compared + n > after.byteSize() ||
                std::memcmp(a + compared, b + (position - at), static_cast<size_t>(n)) != 0)
                return false;
            compared += n;
        }
        if (range == ranges.end())
            break;
        position = std::max(position, range->end);
    }
    return compared == after.byteSize();
}

bool sameOwnText(const MimePart& before, const MimePart& after,
                 const std::vector<TextRange>& ranges) {
    return before.headerBlock == after.headerBlock && before.isMultipart == after.isMultipart &&
           before.carriesMessage == after.carriesMessage &&
           before.transferEncoding == after.transferEncoding &&
           before.mediaType == after.mediaType && sameBytes(before.headerText, after.headerText) &&
           sameLessCut(before.body, before.bodyStart, after.body, ranges) &&
           sameBytes(before.boundary, after.boundary) &&
           sameBytes(before.fileName, after.fileName) && sameBytes(before.charset, after.charset);
}

} // namespace

bool spliceOutDropped(const MimePart& root, const CutPlan& plan, const Block& original,
                      Block& output) {
    // The output keeps its storage: the passes reuse one large buffer for every message.
    output.setWide(false);
    output.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
    const int32_t n = original.byteSize();
    std::vector<TextRange> ranges;
    if (!rangesToCut(root, plan, n, ranges)) {
        output.resize(0);
        return false;
    }
    output.resize(n);
    int32_t written = 0;
    int64_t copied = 0; // the original is copied up to here
    for (const TextRange& range : ranges) {
        const int64_t keepLength = range.start - copied;
        if (keepLength > 0)
            std::memcpy(output.data() + written, original.data() + copied,
                        static_cast<size_t>(keepLength));
        written += static_cast<int32_t>(keepLength);
        copied = range.end;
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
bool cutKeepsTheRest(const MimePart& root, const CutPlan& plan, const Block& cutText) {
    MimePart again;
    again.parse(cutText);
    if (root.isUnparseable() || again.isUnparseable())
        return false;
    std::vector<TextRange> ranges;
    if (!rangesToCut(root, plan, root.totalSize, ranges))
        return false;
    std::vector<std::pair<const MimePart*, const MimePart*>> pending{{&root, &again}};
    std::vector<const MimePart*> kept;
    while (!pending.empty()) {
        const auto [before, after] = pending.back();
        pending.pop_back();
        if (plan.isDropped(*before) || !sameOwnText(*before, *after, ranges))
            return false;
        kept.clear();
        for (const MimePart* child : before->children)
            if (!plan.isDropped(*child))
                kept.push_back(child);
        if (kept.size() != after->children.size())
            return false;
        for (size_t i = 0; i < kept.size(); ++i)
            pending.emplace_back(kept[i], after->children[i]);
    }
    return true;
}

} // namespace TOVK_Internet
