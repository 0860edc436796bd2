#include "formats/MimePart.h"

#include "formats/MimeParser.h"

namespace TOVK_Internet {

MimePart::MimePart() = default;

// Children are plain pointers and allParts owns every part of the tree, so even a
// message nested a hundred thousand levels deep is destroyed without recursion.
MimePart::~MimePart() = default;

bool MimePart::parse(const TOVK_Utils::Block& text) {
    return MimeParser(*this).parse(text);
}

// The rest must parse as the body less those bytes. A body that ends the text ends
// without a line break, and so does the line before a cut that reaches it: the break
// before the cut goes with it. A text that would then end in CR or LF would lose it when
// read again (a last line's CR, an empty last line): such a cut is refused.
bool MimePart::dropFromBody(int64_t start, int64_t end) {
    const MimePart& top = root ? *root : *this;
    const int64_t length = body.length();
    if (start < 0 || end > length || start >= end)
        return false;
    if (end == length && start > 0 && bodyStart + length >= top.totalSize) {
        // Cuts that end where this one begins make one cut with it: the text then ends
        // where the first of them begins.
        for (auto range = droppedFromBody.rbegin(); range != droppedFromBody.rend(); ++range)
            if (range->end - bodyStart >= start && range->start - bodyStart < start)
                start = range->start - bodyStart;
        const uint8_t* bytes = body.rawPointer();
        if (start > 0 && bytes[start - 1] == '\n') {
            --start;
            if (start > 0 && bytes[start - 1] == '\r')
                --start;
        }
        if (start > 0 && (bytes[start - 1] == '\r' || bytes[start - 1] == '\n'))
            return false;
    }
    droppedFromBody.push_back(TextRange{bodyStart + start, bodyStart + end});
    return true;
}

bool MimePart::isAttachment() const {
    const MimePart& top = root ? *root : *this;
    if (top.unparseable || fileName.length() == 0)
        return false;
    return children.empty() || carriesMessage;
}

bool MimePart::isText() const {
    if (!children.empty() || isMultipart || isAttachment())
        return false;
    return mediaType.empty() || mediaType.compare(0, 5, "text/") == 0;
}

bool MimePart::isInsideAttachment() const {
    for (const MimePart* part = parent; part && part->parent; part = part->parent)
        if (part->isAttachment())
            return true;
    return false;
}

bool MimePart::bodyIsExact() const {
    const MimePart& top = root ? *root : *this;
    if (top.unparseable || bodyStart < 0)
        return false;
    for (const MimePart* part = this; part; part = part->parent)
        if (!part->headerIsWellFormed() || (part->parent && part->isAttachment()))
            return false;
    return true;
}

bool MimePart::hasExactExtent() const {
    if (!root || root->unparseable || partStart < 0 || partEnd < partStart)
        return false;
    for (const MimePart* part = this; part; part = part->parent)
        if (!part->headerIsWellFormed())
            return false;
    return true;
}

} // namespace TOVK_Internet
