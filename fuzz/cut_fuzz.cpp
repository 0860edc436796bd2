// Cutting arbitrary text: the input's bytes choose which named parts and which uuencoded
// blocks of plain text parts are dropped, as the extraction would, and which of them leave
// a note (its sentence made of the input's bytes too). Whatever the input, the cut text
// never grows, every part that stays keeps its header and body bytes (found at its old
// place less the bytes cut before it, plus the notes written there), and a cut of parts
// with an exact extent always passes the check that guards the writes.
#include "formats/CutNote.h"
#include "formats/CutPlan.h"
#include "formats/MessageCut.h"
#include "formats/MimePart.h"
#include "formats/Uuencode.h"
#include "utils/LightBlock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
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
// A cut range and the length of the note written in its place.
using Range = std::tuple<int64_t, int64_t, int64_t>;

void requireMoved(const Block& view, const uint8_t* original, const Block& cut,
                  const std::vector<Range>& ranges) {
    if (view.byteSize() == 0)
        return;
    const int64_t at = view.rawPointer() - original;
    int64_t removed = 0;
    for (const auto& [start, end, note] : ranges)
        if (end <= at)
            removed += end - start - note;
    const int64_t moved = at - removed;
    require(moved >= 0 && moved + view.byteSize() <= cut.byteSize());
    require(std::memcmp(cut.rawPointer() + moved, view.rawPointer(),
                        static_cast<size_t>(view.byteSize())) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1 << 20))
        return 0;
    TOVK_Utils::LightBlock text(data, static_cast<int32_t>(size));
    MimePart root;
    root.parse(text);
    if (root.isUnparseable())
        return 0;
    CutPlan plan(root);
    std::vector<Range> ranges;
    size_t choice = 0;
    // The sentence of the notes: some of the input's bytes, whatever they are.
    const size_t from = size > 0 ? data[size - 1] % size : 0;
    const std::string sentence(reinterpret_cast<const char*>(data) + from,
                               std::min<size_t>(size - from, 1 + data[0] % 160));
    auto withNote = [&] { return (data[choice++ % size] & 2) != 0; };
    auto visit = [&](const MimePart& part) {
        if (part.isInsideAttachment())
            return; // goes with its forwarded message or stays with it
        if (part.isAttachment() && part.hasExactExtent() && (data[choice++ % size] & 1)) {
            std::string note = withNote() ? notePart(part, sentence) : std::string();
            // A part with an exact extent is below the root, seen once.
            require(plan.drop(part, note));
            const std::string& kept = plan.cuts().back().note;
            require(kept.empty() || kept == note);
            require(int64_t(kept.size()) <= part.partEnd - part.partStart);
            ranges.emplace_back(part.partStart, part.partEnd, int64_t(kept.size()));
            return;
        }
        if (!part.isText() || part.transferEncoding != TransferEncoding::Plain ||
            !part.bodyIsExact())
            return;
        const std::string_view body(reinterpret_cast<const char*>(part.body.rawPointer()),
                                    static_cast<size_t>(part.body.length()));
        for (const auto& block : findUuencodedBlocks(body)) {
            if (!(data[choice++ % size] & 1))
                continue;
            std::string note =
                withNote() ? noteLine(part, block.start, block.end, sentence) : std::string();
            if (!plan.dropFromBody(part, block.start, block.end, note))
                continue;
            const CutPlan::Cut& cut = plan.cuts().back();
            require(int64_t(cut.note.size()) <= cut.range.end - cut.range.start);
            ranges.emplace_back(cut.range.start, cut.range.end, int64_t(cut.note.size()));
        }
    };
    visit(root);
    for (auto& part : root.allParts)
        visit(*part);
    // A range that overlaps the one before goes with it, and so does its note.
    std::sort(ranges.begin(), ranges.end());
    std::vector<Range> merged;
    for (const auto& range : ranges) {
        if (!merged.empty() && std::get<0>(range) < std::get<1>(merged.back()))
            std::get<1>(merged.back()) = std::max(std::get<1>(merged.back()), std::get<1>(range));
        else
            merged.push_back(range);
    }
    ranges.swap(merged);
    Block cut;
    require(spliceOutDropped(root, plan, text, cut));
    require(cut.byteSize() <= text.byteSize());
    int64_t removed = 0;
    for (const auto& [start, end, note] : ranges)
        removed += end - start - note;
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
        for (const auto& [start, end, note] : ranges)
            whole = whole && (part->body.byteSize() == 0 || end <= bodyStart ||
                              start >= bodyStart + part->body.byteSize());
        if (whole)
            requireMoved(part->body, data, cut, ranges);
    }
    require(cutKeepsTheRest(root, plan, cut));
    return 0;
}
