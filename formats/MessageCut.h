// Cutting saved parts out of a message without touching anything else. The cut text is
// the original bytes with exactly the dropped parts' byte ranges removed (for a part, from
// the start of the boundary line that opened it up to the start of the next boundary line
// of the same multipart), so it is never longer than the original and every byte that
// stays is the byte that was there: headers, preamble, epilogue, line endings and nesting.
// A range the plan gives a note is replaced by exactly that note, which is never longer.
#pragma once

#include "formats/CutPlan.h"
#include "formats/MimePart.h"
#include "utils/Block.h"

namespace TOVK_Internet {

// The message text (original, the text root was parsed from) without the parts the plan
// drops and without the ranges it drops from parts' bodies, each replaced by its note
// when it has one. A range inside a part that is dropped goes with the part, note and all. False,
// with nothing cut, when the plan is not root's, or a dropped part's extent or a dropped range's
// place is not known exactly (see MimePart::hasExactExtent and MimePart::bodyIsExact).
bool spliceOutDropped(const MimePart& root, const CutPlan& plan, const TOVK_Utils::Block& original,
                      TOVK_Utils::Block& output);

// Parses the cut text again and compares it with the tree it was cut from: every kept part
// must come back in the same place with the same header block, body (less exactly the
// ranges cut from it, or with each replaced by its note) and boundary, no dropped part may
// remain, and where a part was dropped with a note a part made of exactly the note's bytes
// stands. Whatever the input, a cut that passes this lost nothing else. False when the plan is not
// root's.
bool cutKeepsTheRest(const MimePart& root, const CutPlan& plan, const TOVK_Utils::Block& cutText);

} // namespace TOVK_Internet
