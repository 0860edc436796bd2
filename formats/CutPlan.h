// What a job decided to cut out of one parsed message: parts dropped whole, and byte ranges
// dropped from parts' bodies (uuencoded files in a text), each with the note that takes
// its place, if any (CutNote.h). The plan lies beside the tree it
// was made for, which it never changes, and takes parts of that tree only.
// spliceOutDropped and cutKeepsTheRest (MessageCut.h) make the cut it describes and check it.
#pragma once

#include "formats/MimePart.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace TOVK_Internet {

// A byte range of the message text, [start, end).
struct TextRange {
    int64_t start;
    int64_t end;
};

class CutPlan {
public:
    // One decision, in the order the plan was made.
    struct Cut {
        enum class Kind { WholePart, BodyRange };
        const MimePart* part;
        Kind kind;
        // A body range: the bytes to cut, as offsets in the message text. A whole part:
        // its extent as the parser found it, exact only when part->hasExactExtent().
        TextRange range;
        // What takes the range's place in the cut text; empty: nothing. Never longer than
        // the range, so that a cut text never grows.
        std::string note;
    };

    // The plan for the tree whose root is root (or which holds root); it must outlive
    // the plan.
    explicit CutPlan(const MimePart& root);

    // Marks the part to be cut out whole. False, with nothing marked, when the part is not
    // of this plan's tree, is its root (the message would be left empty), or is marked
    // already. A note longer than the part's extent (or for a part whose extent is not
    // known) is not kept: the part is then cut without one (cuts().back() tells).
    bool drop(const MimePart& part, std::string note = {});
    // Marks the body's bytes [start, end) (offsets in the body) to be cut out of the
    // message. False, with nothing marked, when the part is not of this plan's tree or the
    // range is not inside the body. The rest reads as the body less those bytes: a body
    // ended by a boundary line keeps the line break before it, and one ended by the end of
    // the text holds every byte up to it; cutKeepsTheRest checks it all the same. The
    // note, as for drop.
    bool dropFromBody(const MimePart& part, int64_t start, int64_t end, std::string note = {});

    // Whether the part itself is marked to be cut out whole (not a part above it).
    bool isDropped(const MimePart& part) const { return dropped_.count(&part) != 0; }
    // The note that takes the dropped part's place; null when there is none.
    const std::string* noteFor(const MimePart& part) const;
    // Whether the plan was made for the tree of this root.
    bool isFor(const MimePart& root) const { return &root == root_; }
    bool isEmpty() const { return cuts_.empty(); }
    const std::vector<Cut>& cuts() const { return cuts_; }

private:
    bool holds(const MimePart& part) const { return &part == root_ || part.root == root_; }

    const MimePart* root_;
    std::vector<Cut> cuts_;
    std::unordered_map<const MimePart*, size_t> dropped_; // the part's cut in cuts_
};

} // namespace TOVK_Internet
