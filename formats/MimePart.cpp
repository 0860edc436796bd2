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

// The rest parses as the body less those bytes: a body ended by a boundary line keeps
// the line break before it, and one ended by the end of the text holds every byte up to it
// (MimeParser::endOfText), so a cut that reaches its end leaves exactly what was before.
bool MimePart::dropFromBody(int64_t start, int64_t end) {
    if (start < 0 || end > body.length() || start >= end)
        return false;
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
