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
    cuts_.push_back(
        Cut{&part, Cut::Kind::BodyRange, TextRange{part.bodyStart + start, part.bodyStart + end}});
    return true;
}

} // namespace TOVK_Internet
