#include "formats/CutPlan.h"

namespace TOVK_Internet {

CutPlan::CutPlan(const MimePart& root) : root_(root.root ? root.root : &root) {}

namespace {

void keepIfItFits(std::string& note, const TextRange& range) {
    if (range.start < 0 || range.end < range.start ||
        static_cast<int64_t>(note.size()) > range.end - range.start)
        note.clear();
}

} // namespace

bool CutPlan::drop(const MimePart& part, std::string note) {
    if (&part == root_ || !holds(part) || !dropped_.emplace(&part, cuts_.size()).second)
        return false;
    const TextRange range{part.partStart, part.partEnd};
    keepIfItFits(note, range);
    cuts_.push_back(Cut{&part, Cut::Kind::WholePart, range, std::move(note)});
    return true;
}

const std::string* CutPlan::noteFor(const MimePart& part) const {
    const auto found = dropped_.find(&part);
    if (found == dropped_.end() || cuts_[found->second].note.empty())
        return nullptr;
    return &cuts_[found->second].note;
}

// The rest must parse as the body less those bytes. A body that ends the text ends
// without a line break, and so does the line before a cut that reaches it: the break
// before the cut goes with it. A text that would then end in CR or LF would lose it when
// read again (a last line's CR, an empty last line): such a cut is refused.
bool CutPlan::dropFromBody(const MimePart& part, int64_t start, int64_t end, std::string note) {
    if (!holds(part))
        return false;
    const int64_t length = part.body.length();
    if (start < 0 || end > length || start >= end)
        return false;
    const TextRange range{part.bodyStart + start, part.bodyStart + end};
    keepIfItFits(note, range);
    cuts_.push_back(Cut{&part, Cut::Kind::BodyRange, range, std::move(note)});
    return true;
}

} // namespace TOVK_Internet
