#include "formats/CutPlan.h"

namespace TOVK_Internet {

CutPlan::CutPlan(const MimePart& root) : root_(root.root ? root.root : &root) {}

bool CutPlan::drop(const MimePart& part) {
    if (&part == root_ || !holds(part) || !dropped_.insert(&part).second)
        return false;
    cuts_.push_back(Cut{&part, Cut::Kind::WholePart, TextRange{part.partStart, part.partEnd}});
    return true;
}

// The rest must parse as the body less those bytes. A body that ends the text ends
// without a line break, and so does the line before a cut that reaches it: the break
// before the cut goes with it. A text that would then end in CR or LF would lose it when
// read again (a last line's CR, an empty last line): such a cut is refused.
bool CutPlan::dropFromBody(const MimePart& part, int64_t start, int64_t end) {
    if (!holds(part))
        return false;
    const int64_t length = part.body.length();
    if (start < 0 || end > length || start >= end)
        return false;
    if (end == length && start > 0 && part.bodyStart + length >= root_->totalSize) {
        // Cuts that end where this one begins make one cut with it: the text then ends
        // where the first of them begins.
        for (auto cut = cuts_.rbegin(); cut != cuts_.rend(); ++cut)
            if (cut->part == &part && cut->kind == Cut::Kind::BodyRange &&
                cut->range.end - part.bodyStart >= start &&
                cut->range.start - part.bodyStart < start)
                start = cut->range.start - part.bodyStart;
        const uint8_t* bytes = part.body.rawPointer();
        if (start > 0 && bytes[start - 1] == '\n') {
            --start;
            if (start > 0 && bytes[start - 1] == '\r')
                --start;
        }
        if (start > 0 && (bytes[start - 1] == '\r' || bytes[start - 1] == '\n'))
            return false;
    }
    cuts_.push_back(
        Cut{&part, Cut::Kind::BodyRange, TextRange{part.bodyStart + start, part.bodyStart + end}});
    return true;
}

} // namespace TOVK_Internet
