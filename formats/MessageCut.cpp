#include "formats/MessageCut.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
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

// A byte range of the original to cut, and the note written in its place (or none).
struct Replacement {
    int64_t start;
    int64_t end;
    std::string_view note;
};

// The ranges to cut, in order, none inside another; false when one is not known exactly.
// A range inside another goes with it, its note too.
bool rangesToCut(const MimePart& root, const CutPlan& plan, int64_t textSize,
                 std::vector<Replacement>& ranges) {
    ranges.clear();
    if (!plan.isFor(root))
        return false;
    for (const CutPlan::Cut& cut : plan.cuts()) {
        const MimePart& part = *cut.part;
        if (cut.kind == CutPlan::Cut::Kind::WholePart) {
            if (!part.hasExactExtent() || part.partEnd > textSize)
                return false;
            ranges.push_back(Replacement{part.partStart, part.partEnd, cut.note});
            continue;
        }
        if (plan.isDropped(part))
            continue; // goes with its part
        const TextRange& range = cut.range;
        const int64_t bodyEnd = part.bodyStart + part.body.length();
        if (!part.bodyIsExact() || range.start < part.bodyStart || range.end > bodyEnd ||
            range.end > textSize || range.start >= range.end)
            return false;
        ranges.push_back(Replacement{range.start, range.end, cut.note});
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const Replacement& a, const Replacement& b) { return a.start < b.start; });
    size_t kept = 0;
    for (const Replacement& range : ranges) {
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
// original) with each cut range replaced by its note. A range with a note that lies
// only partly in `before` cannot say where its note went: false.
bool sameReplaced(const Block& before, int64_t at, const Block& after,
                  const std::vector<Replacement>& ranges) {
    const int64_t end = at + before.byteSize();
    auto range =
        std::lower_bound(ranges.begin(), ranges.end(), at,
                         [](const Replacement& r, int64_t offset) { return r.end <= offset; });
    if (before.byteSize() == 0 || range == ranges.end() || range->start >= end)
        return sameBytes(before, after);
    const uint8_t* b = before.rawPointer();
    const uint8_t* a = after.rawPointer();
    int64_t compared = 0; // bytes of `after` matched so far
    auto expect = [&](const void* bytes, int64_t n) {
        if (n <= 0)
            return true;
        if (compared + n > after.byteSize() ||
            std::memcmp(a + compared, bytes, static_cast<size_t>(n)) != 0)
            return false;
        compared += n;
        return true;
    };
    int64_t position = at;
    for (; position < end; ++range) {
        const int64_t pieceEnd = range != ranges.end() ? std::min(range->start, end) : end;
        if (pieceEnd > position && !expect(b + (position - at), pieceEnd - position))
            return false;
        if (range == ranges.end() || range->start >= end)
            break;
        if (!range->note.empty()) {
            if (range->start < at || range->end > end ||
                !expect(range->note.data(), static_cast<int64_t>(range->note.size())))
                return false;
        }
        position = std::max(position, range->end);
    }
    return compared == after.byteSize();
}

bool sameOwnText(const MimePart& before, const MimePart& after,
                 const std::vector<Replacement>& ranges) {
    return before.headerBlock == after.headerBlock && before.isMultipart == after.isMultipart &&
           before.carriesMessage == after.carriesMessage &&
           before.transferEncoding == after.transferEncoding &&
           before.mediaType == after.mediaType && sameBytes(before.headerText, after.headerText) &&
           sameReplaced(before.body, before.bodyStart, after.body, ranges) &&
           sameBytes(before.boundary, after.boundary) &&
           sameBytes(before.fileName, after.fileName) && sameBytes(before.charset, after.charset);
}

// A note read again: a leaf with well-formed headers whose bytes are exactly the note.
bool isExactly(const MimePart& after, const std::string& note, const Block& cutText) {
    if (!after.children.empty() || after.isMultipart || after.carriesMessage ||
        !after.headerIsWellFormed() || after.partStart < 0 ||
        after.partEnd - after.partStart != static_cast<int64_t>(note.size()) ||
        after.partEnd > cutText.byteSize())
        return false;
    return std::memcmp(cutText.rawPointer() + after.partStart, note.data(), note.size()) == 0;
}

} // namespace

bool spliceOutDropped(const MimePart& root, const CutPlan& plan, const Block& original,
                      Block& output) {
    // The output keeps its storage: the passes reuse one large buffer for every message.
    output.setWide(false);
    output.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
    const int32_t n = original.byteSize();
    std::vector<Replacement> ranges;
    if (!rangesToCut(root, plan, n, ranges)) {
        output.resize(0);
        return false;
    }
    // Each note is no longer than its range (CutPlan), so the text fits where it was.
    output.resize(n);
    int32_t written = 0;
    int64_t copied = 0; // the original is copied up to here
    for (const Replacement& range : ranges) {
        const int64_t keepLength = range.start - copied;
        if (keepLength > 0)
            std::memcpy(output.data() + written, original.data() + copied,
                        static_cast<size_t>(keepLength));
        written += static_cast<int32_t>(keepLength);
        if (!range.note.empty())
            std::memcpy(output.data() + written, range.note.data(), range.note.size());
        written += static_cast<int32_t>(range.note.size());
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
    std::vector<Replacement> ranges;
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
            if (!plan.isDropped(*child) || plan.noteFor(*child))
                kept.push_back(child);
        if (kept.size() != after->children.size())
            return false;
        for (size_t i = 0; i < kept.size(); ++i) {
            if (const std::string* note = plan.noteFor(*kept[i])) {
                if (!isExactly(*after->children[i], *note, cutText))
                    return false;
                continue;
            }
            pending.emplace_back(kept[i], after->children[i]);
        }
    }
    return true;
}

} // namespace TOVK_Internet
