#include "engine/AttachmentFinder.h"

#include "formats/Decoding.h"

using TOVK_Internet::MimePart;
using TOVK_Internet::TransferEncoding;
using TOVK_Utils::Block;

namespace {

std::string_view bytesOf(const Block& block) {
    if (!block.rawPointer())
        return {};
    return std::string_view(reinterpret_cast<const char*>(block.rawPointer()),
                            static_cast<size_t>(block.byteSize()));
}

// A forwarded message whose text the parser did not read as a message: sent encoded.
bool isEncodedForward(const MimePart& part) {
    return part.mediaType == "message/rfc822" && !part.carriesMessage && part.children.empty() &&
           part.transferEncoding != TransferEncoding::Plain;
}

} // namespace

const std::vector<AttachmentFinder::Found>& AttachmentFinder::find(const MimePart& message) {
    found_.clear();
    forwards_.clear();
    textsKept_ = 0;
    if (!message.isUnparseable())
        walk(message, Walk{.depth = 0, .inEncodedForward = false, .within = -1});
    return found_;
}

const Block& AttachmentFinder::content(const Found& found, Block& scratch, bool& clean) {
    if (found.decoded) {
        clean = found.decodedCleanly;
        return *found.decoded;
    }
    if (found.kind == ContentKind::Part)
        clean = TOVK_Internet::decodeContent(*found.part, scratch);
    else
        clean = TOVK_Internet::decodeUuencoded(found.text, found.block, scratch);
    return scratch;
}

void AttachmentFinder::walk(const MimePart& root, const Walk& walk) {
    visit(root, walk);
    for (auto& part : root.allParts)
        visit(*part, walk);
}

void AttachmentFinder::visit(const MimePart& part, const Walk& walk) {
    if (part.isAttachment()) {
        addAttachment(part, walk);
    } else if (part.children.empty() && part.transferEncoding == TransferEncoding::Uuencode) {
        addUnnamedUuencoded(part, walk);
    } else if (part.isText()) {
        addUuencodedInText(part, walk);
    } else if (isEncodedForward(part) && walk.depth < maxForwardDepth) {
        bool clean = false;
        readForward(decodeForward(part, clean), walk, walk.within);
    }
}

// A part that would be cut whole. A part inside a named forwarded message goes with it or
// stays with it, never alone.
KeepReason AttachmentFinder::reasonToKeepWhole(const MimePart& part, const Walk& walk) {
    if (part.isInsideAttachment())
        return KeepReason::InsideAttachment;
    if (walk.inEncodedForward)
        return KeepReason::InEncodedForward;
    if (!part.parent)
        return KeepReason::IsTheMessage;
    if (!part.hasExactExtent())
        return KeepReason::NotExact;
    return KeepReason::None;
}

void AttachmentFinder::addAttachment(const MimePart& part, const Walk& walk) {
    Found found;
    found.name = bytesOf(part.fileName);
    found.charset = bytesOf(part.charset);
    found.part = &part;
    found.encodedLength = part.body.length();
    found.keep = reasonToKeepWhole(part, walk);
    found.within = walk.within;
    Forward* forward = nullptr;
    if (isEncodedForward(part)) {
        forward = &decodeForward(part, found.decodedCleanly);
        found.decoded = &forward->text;
    }
    found_.push_back(found);
    if (forward && walk.depth < maxForwardDepth)
        readForward(*forward, walk, static_cast<int32_t>(found_.size() - 1));
}

// An unnamed part in x-uuencode is named by its begin line, and cut whole like any
// attachment when it decoded cleanly.
void AttachmentFinder::addUnnamedUuencoded(const MimePart& part, const Walk& walk) {
    const auto blocks = TOVK_Internet::findUuencodedBlocks(bytesOf(part.body));
    if (blocks.empty())
        return;
    Found found;
    found.name = blocks.front().name;
    found.part = &part;
    found.encodedLength = part.body.length();
    found.keep = reasonToKeepWhole(part, walk);
    found.within = walk.within;
    found_.push_back(found);
}

// Uuencoded files in a text part are attachments named by their begin lines. One is cut
// out of a 7bit, 8bit or binary part, the rest of the text staying; in a quoted-printable
// or base64 part it exists only encoded, and stays.
void AttachmentFinder::addUuencodedInText(const MimePart& part, const Walk& walk) {
    const bool plain = part.transferEncoding == TransferEncoding::Plain;
    std::string_view text = bytesOf(part.body);
    if (!plain) {
        if (part.transferEncoding != TransferEncoding::Base64 &&
            part.transferEncoding != TransferEncoding::QuotedPrintable)
            return;
        Block& decoded = spareText();
        TOVK_Internet::decodeContent(part, decoded);
        text = bytesOf(decoded);
    }
    if (text.find("begin ") == std::string_view::npos)
        return;
    const auto blocks = TOVK_Internet::findUuencodedBlocks(text);
    if (blocks.empty())
        return;
    if (!plain)
        ++textsKept_; // the blocks lie in it
    KeepReason keep = KeepReason::None;
    if (part.isInsideAttachment())
        keep = KeepReason::InsideAttachment;
    else if (walk.inEncodedForward)
        keep = KeepReason::InEncodedForward;
    else if (!plain)
        keep = KeepReason::InEncodedText;
    else if (!part.bodyIsExact())
        keep = KeepReason::NotExact;
    for (const TOVK_Internet::UuencodedBlock& block : blocks) {
        Found found;
        found.kind = ContentKind::UuencodedBlock;
        found.name = block.name;
        found.part = &part;
        found.text = text;
        found.block = block;
        found.encodedLength = block.end - block.start;
        found.keep = keep;
        found.within = walk.within;
        found_.push_back(found);
    }
}

AttachmentFinder::Forward& AttachmentFinder::decodeForward(const MimePart& part, bool& clean) {
    forwards_.push_back(std::make_unique<Forward>());
    Forward& forward = *forwards_.back();
    clean = TOVK_Internet::decodeContent(part, forward.text);
    return forward;
}

void AttachmentFinder::readForward(Forward& forward, const Walk& outer, int32_t within) {
    forward.message.parse(forward.text);
    if (!forward.message.isUnparseable())
        walk(forward.message,
             Walk{.depth = outer.depth + 1, .inEncodedForward = true, .within = within});
}

Block& AttachmentFinder::spareText() {
    if (textsKept_ == texts_.size())
        texts_.push_back(std::make_unique<Block>());
    return *texts_[textsKept_];
}
