#include "engine/AttachmentFinder.h"

#include "formats/Decoding.h"

#include <algorithm>

using TOVK_Internet::BinHex;
using TOVK_Internet::BinHexFile;
using TOVK_Internet::MimePart;
using TOVK_Internet::Tnef;
using TOVK_Internet::TnefContent;
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

bool isOneOf(const std::string& type, std::initializer_list<std::string_view> types) {
    return std::find(types.begin(), types.end(), type) != types.end();
}

bool isLeaf(const MimePart& part) {
    return part.children.empty() && !part.isMultipart && !part.carriesMessage;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

bool endsWithNoCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && equalsNoCase(text.substr(text.size() - end.size()), end);
}

// RFC 1847: the first part of a multipart/encrypted says how the second was encrypted.
bool isEncryptionControl(const MimePart& part) {
    const MimePart* parent = part.parent;
    return parent && parent->mediaType == "multipart/encrypted" && !parent->children.empty() &&
           parent->children.front() == &part;
}

// Parts that are no file the sender attached, whatever their headers name: a signature
// checks the rest, a control part only says how the payload was encrypted, and an
// external body points at a file that was never in the message.
bool isNoAttachment(const MimePart& part) {
    return isOneOf(part.mediaType, {"application/pgp-signature", "application/pkcs7-signature",
                                    "application/x-pkcs7-signature", "application/pgp-encrypted",
                                    "message/external-body"}) ||
           isEncryptionControl(part);
}

bool isSmimeMessage(const MimePart& part) {
    return isOneOf(part.mediaType, {"application/pkcs7-mime", "application/x-pkcs7-mime"});
}

// The opaque body of an encrypted message: what follows the control part of a
// multipart/encrypted, or an S/MIME message (smime.p7m).
bool isEncryptedPayload(const MimePart& part) {
    if (!isLeaf(part))
        return false;
    const MimePart* parent = part.parent;
    if (parent && parent->mediaType == "multipart/encrypted")
        return !isEncryptionControl(part);
    return isSmimeMessage(part);
}

std::string_view encryptedPayloadName(const MimePart& part) {
    if (isSmimeMessage(part))
        return "smime.p7m";
    const MimePart& control = *part.parent->children.front();
    return control.mediaType == "application/pgp-encrypted" ? "encrypted.asc" : "encrypted.bin";
}

bool isUnderSigned(const MimePart& part) {
    for (const MimePart* above = part.parent; above; above = above->parent)
        if (above->mediaType == "multipart/signed")
            return true;
    return false;
}

constexpr std::string_view binHexMarker = "(This file must be converted with BinHex";

bool mayHoldBinHex(const MimePart& part) {
    if (!isLeaf(part))
        return false;
    if (isOneOf(part.mediaType, {"application/mac-binhex40", "application/x-mac-binhex40"}))
        return true;
    const std::string_view body = bytesOf(part.body);
    const size_t first = body.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos &&
           body.substr(first, binHexMarker.size()) == binHexMarker;
}

bool isTnefType(const MimePart& part) {
    return isOneOf(part.mediaType, {"application/ms-tnef", "application/vnd.ms-tnef"});
}

bool mayHoldTnef(const MimePart& part) {
    return isLeaf(part) &&
           (isTnefType(part) || equalsNoCase(bytesOf(part.fileName), "winmail.dat"));
}

// The part's own name is the file's, as its sender gave it, except a name of the BinHex
// text itself ("x.hqx"): what is saved is the decoded data fork, and the BinHex header
// names that (in the Macintosh's character set; a header that was found has a name).
void nameBinHexFile(AttachmentFinder::Found& found, const MimePart& part, const BinHexFile& file) {
    const std::string_view name = bytesOf(part.fileName);
    if (name.empty() || endsWithNoCase(name, ".hqx")) {
        found.name = file.name;
        found.charset = BinHex::nameCharset;
    } else {
        found.name = name;
        found.charset = bytesOf(part.charset);
    }
}

std::string_view headerValue(const MimePart& part, const char* name) {
    // The array's only access constructs on first touch; every header up to its length
    // was constructed by the parser, so reading them changes nothing.
    auto& headers = const_cast<MimePart&>(part).headers;
    for (int32_t i = 0; i < headers.length(); ++i) {
        const TOVK_Internet::MIMEHeader& header = headers.at(i);
        if (header.name.equalsNoCase(name))
            return bytesOf(header.value);
    }
    return {};
}

std::string_view trimmed(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A Content-ID without its angle brackets.
std::string_view bareId(std::string_view contentId) {
    return trimmed(trimmed(contentId, " \t"), "<>");
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// A cid: URL's address with its %hh escapes decoded (RFC 2392).
std::string unescaped(std::string_view url) {
    std::string out;
    for (size_t i = 0; i < url.size(); ++i) {
        const int high = i + 2 < url.size() && url[i] == '%' ? hexValue(url[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(url[i + 2]) : -1;
        if (low >= 0) {
            out += char(high * 16 + low);
            i += 2;
        } else {
            out += url[i];
        }
    }
    return out;
}

// Every cid: URL of an HTML text, its address decoded.
void collectCidUrls(std::string_view html, std::vector<std::string>& ids) {
    constexpr std::string_view stops = "\"' \t\r\n<>)";
    for (size_t at = 0; at + 4 <= html.size(); ++at) {
        if (!equalsNoCase(html.substr(at, 4), "cid:"))
            continue;
        const size_t start = at + 4;
        size_t end = html.find_first_of(stops, start);
        if (end == std::string_view::npos)
            end = html.size();
        if (end > start)
            ids.push_back(unescaped(html.substr(start, end - start)));
        at = end - 1;
    }
}

// RFC 2392 compares a cid: URL with a Content-ID as addresses: the local part exactly,
// the domain without regard to case.
bool sameContentId(std::string_view a, std::string_view b) {
    const size_t atA = a.rfind('@'), atB = b.rfind('@');
    if (atA == std::string_view::npos || atB == std::string_view::npos)
        return a == b;
    return a.substr(0, atA) == b.substr(0, atB) && equalsNoCase(a.substr(atA), b.substr(atB));
}

// The message a part belongs to: the root, or a forwarded message it lies in.
const MimePart& messageOf(const MimePart& part) {
    const MimePart* p = &part;
    while (p->parent && !p->parent->carriesMessage)
        p = p->parent;
    return *p;
}

// A file's share of the encoded bytes of the part that holds it.
int64_t shareOf(int64_t encoded, size_t bytes, int64_t decoded) {
    if (decoded <= 0)
        return 0;
    return std::max<int64_t>(1, encoded * static_cast<int64_t>(bytes) / decoded);
}

} // namespace

const char* describe(KeepReason reason) {
    switch (reason) {
    case KeepReason::None:
        return "none";
    case KeepReason::IsTheMessage:
        return "the message is the file";
    case KeepReason::InsideAttachment:
        return "inside another attachment";
    case KeepReason::InEncodedForward:
        return "in a forwarded message sent encoded";
    case KeepReason::InEncodedText:
        return "in an encoded text";
    case KeepReason::NotExact:
        return "a damaged message structure";
    case KeepReason::Signed:
        return "a signed message";
    case KeepReason::Encrypted:
        return "an encrypted message";
    case KeepReason::Tnef:
        return "in winmail.dat, which holds the formatted text";
    case KeepReason::NotClean:
        return "not cleanly encoded";
    case KeepReason::NotReadBack:
        return "its saved file did not read back";
    }
    return "unknown";
}

const std::vector<AttachmentFinder::Found>& AttachmentFinder::find(const MimePart& message) {
    found_.clear();
    cids_.clear();
    forwards_.clear();
    binHexes_.clear();
    tnefs_.clear();
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
    switch (found.kind) {
    case ContentKind::Part:
        clean = TOVK_Internet::decodeContent(*found.part, scratch);
        break;
    case ContentKind::UuencodedBlock:
        clean = TOVK_Internet::decodeUuencoded(found.text, found.block, scratch);
        break;
    case ContentKind::BinHexDataFork: // its data fork is decoded already (above)
    case ContentKind::TnefFile:
        scratch.setWide(false);
        scratch.assign(found.text.data(), static_cast<int32_t>(found.text.size()));
        clean = found.decodedCleanly;
        break;
    }
    return scratch;
}

void AttachmentFinder::walk(const MimePart& root, const Walk& walk) {
    visit(root, walk);
    for (auto& part : root.allParts)
        visit(*part, walk);
}

void AttachmentFinder::visit(const MimePart& part, const Walk& walk) {
    if (isNoAttachment(part))
        return;
    if (isEncryptedPayload(part)) {
        addEncryptedPayload(part, walk);
        return;
    }
    if (mayHoldTnef(part) && addTnef(part, walk))
        return;
    if (mayHoldBinHex(part) && addBinHex(part, walk))
        return;
    if (part.isAttachment()) {
        addAttachment(part, walk);
    } else if (part.children.empty() && part.transferEncoding == TransferEncoding::Uuencode) {
        addUnnamedUuencoded(part, walk);
    } else if (part.isText()) {
        addUuencodedInText(part, walk);
    } else if (isEncodedForward(part) && walk.depth < maxForwardDepth) {
        bool clean = false;
        readForward(decodeForward(part, clean), part, walk, walk.within);
    }
}

// A part that would be cut whole. A part inside a named forwarded message goes with it or
// stays with it, never alone.
KeepReason AttachmentFinder::reasonToKeepWhole(const MimePart& part, const Walk& walk,
                                               KeepReason own) {
    if (part.isInsideAttachment())
        return KeepReason::InsideAttachment;
    if (walk.isSigned || isUnderSigned(part))
        return KeepReason::Signed;
    if (walk.inEncodedForward)
        return KeepReason::InEncodedForward;
    if (own != KeepReason::None)
        return own;
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
    found.shownInText = isShownInText(part);
    Forward* forward = nullptr;
    if (isEncodedForward(part)) {
        forward = &decodeForward(part, found.decodedCleanly);
        found.decoded = &forward->text;
    }
    found_.push_back(found);
    if (forward && walk.depth < maxForwardDepth)
        readForward(*forward, part, walk, static_cast<int32_t>(found_.size() - 1));
}

// Saved as the file it is, so that it can be decrypted later, but never cut: the message
// is nothing without it.
void AttachmentFinder::addEncryptedPayload(const MimePart& part, const Walk& walk) {
    Found found;
    found.name = bytesOf(part.fileName);
    found.charset = bytesOf(part.charset);
    if (found.name.empty()) {
        found.name = encryptedPayloadName(part);
        found.charset = {};
    }
    found.part = &part;
    found.encodedLength = part.body.length();
    found.keep = reasonToKeepWhole(part, walk, KeepReason::Encrypted);
    found.within = walk.within;
    found_.push_back(found);
}

// The data fork is the file; the part is cut whole once every check of the BinHex held.
bool AttachmentFinder::addBinHex(const MimePart& part, const Walk& walk) {
    Block& fork = keptText();
    bool clean = false;
    const std::string_view text = decodedBody(part, clean);
    auto file = std::make_unique<BinHexFile>(BinHex::decode(text, fork));
    if (!file->found) {
        --textsKept_;
        return false;
    }
    Found found;
    found.kind = ContentKind::BinHexDataFork;
    nameBinHexFile(found, part, *file);
    found.part = &part;
    found.decoded = &fork;
    found.decodedCleanly = clean && file->clean;
    found.encodedLength = part.body.length();
    found.keep = reasonToKeepWhole(part, walk);
    found.within = walk.within;
    binHexes_.push_back(std::move(file));
    found_.push_back(found);
    return true;
}

// Each file in the TNEF is found under its own name; the part itself only when it holds
// no file, so that nothing is lost. Never cut: it also carries the formatted text.
bool AttachmentFinder::addTnef(const MimePart& part, const Walk& walk) {
    Block& bytes = keptText();
    const bool clean = TOVK_Internet::decodeContent(part, bytes);
    auto content = std::make_unique<TnefContent>(Tnef::read(bytesOf(bytes)));
    if (!content->isTnef && !isTnefType(part)) {
        --textsKept_; // a file that is only named winmail.dat
        return false;
    }
    Found found;
    found.part = &part;
    found.keep = reasonToKeepWhole(part, walk, KeepReason::Tnef);
    found.within = walk.within;
    if (content->files.empty()) {
        found.name = bytesOf(part.fileName);
        found.charset = bytesOf(part.charset);
        if (found.name.empty())
            found.name = "winmail.dat";
        found.decoded = &bytes;
        found.decodedCleanly = clean;
        found.encodedLength = part.body.length();
        found_.push_back(found);
    }
    found.kind = ContentKind::TnefFile;
    found.decodedCleanly = clean && content->clean;
    for (const TOVK_Internet::TnefFile& file : content->files) {
        found.name = file.name.empty() ? std::string_view("attachment") : file.name;
        found.charset = file.name.empty() ? std::string_view() : file.charset;
        found.text = file.data;
        found.encodedLength = shareOf(part.body.length(), file.data.size(), bytes.byteSize());
        found_.push_back(found);
    }
    tnefs_.push_back(std::move(content));
    return true;
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
    else if (walk.isSigned || isUnderSigned(part))
        keep = KeepReason::Signed;
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

void AttachmentFinder::readForward(Forward& forward, const MimePart& part, const Walk& outer,
                                   int32_t within) {
    forward.message.parse(forward.text);
    if (!forward.message.isUnparseable())
        walk(forward.message,
             Walk{.depth = outer.depth + 1,
                  .inEncodedForward = true,
                  .within = within,
                  .isSigned = outer.isSigned || isUnderSigned(part)});
}

std::string_view AttachmentFinder::decodedBody(const MimePart& part, bool& clean) {
    if (part.transferEncoding == TransferEncoding::Plain) {
        clean = true;
        return bytesOf(part.body);
    }
    Block& text = spareText();
    clean = TOVK_Internet::decodeContent(part, text);
    return bytesOf(text);
}

bool AttachmentFinder::isShownInText(const MimePart& part) {
    if (part.mediaType.compare(0, 6, "image/") != 0)
        return false;
    const std::string_view id = bareId(headerValue(part, "content-id"));
    if (id.empty())
        return false;
    const std::string_view disposition = headerValue(part, "content-disposition");
    if (equalsNoCase(trimmed(disposition.substr(0, disposition.find(';')), " \t"), "inline"))
        return true;
    for (const std::string& referenced : referencedIds(messageOf(part)))
        if (sameContentId(referenced, id))
            return true;
    return false;
}

const std::vector<std::string>& AttachmentFinder::referencedIds(const MimePart& message) {
    for (const auto& [read, ids] : cids_)
        if (read == &message)
            return ids;
    std::vector<std::string> ids;
    const MimePart& top = message.root ? *message.root : message;
    auto read = [&](const MimePart& part) {
        if (part.mediaType != "text/html" || &messageOf(part) != &message)
            return;
        bool clean = false;
        collectCidUrls(decodedBody(part, clean), ids);
    };
    read(top);
    for (const auto& part : top.allParts)
        read(*part);
    cids_.emplace_back(&message, std::move(ids));
    return cids_.back().second;
}

Block& AttachmentFinder::spareText() {
    if (textsKept_ == texts_.size())
        texts_.push_back(std::make_unique<Block>());
    return *texts_[textsKept_];
}

Block& AttachmentFinder::keptText() {
    Block& text = spareText();
    ++textsKept_;
    return text;
}
