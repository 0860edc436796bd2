#include "formats/MimePart.h"

#include "formats/Decoding.h"
#include "utils/TextScanner.h"

#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::LightBlock;
using TOVK_Utils::Tokenizer;

namespace TOVK_Internet {

namespace {

bool isBlank(uint8_t c) {
    return c == ' ' || c == '\t';
}

void setView(LightBlock& view, const uint8_t* start, int64_t length) {
    if (length <= 0)
        view.assign(nullptr, 0);
    else
        view.assign(start, static_cast<int32_t>(length));
}

// Strips spaces and tabs from both ends of [begin, end).
void stripBlanks(const uint8_t*& begin, const uint8_t*& end) {
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
}

// A "name=value" parameter named `keyword` (ASCII case ignored, blanks around the name
// dropped): value becomes everything after the first "=" (outside quotes, when quotes
// count), its quotes removed.
bool parameterValue(const Block& parameter, const char* keyword, bool quotes, LightBlock& value) {
    Tokenizer pieces(parameter, "=", false, quotes);
    LightBlock name, trimmed, rest;
    pieces.nextToken(name);
    name.trim(trimmed);
    if (!trimmed.equalsNoCase(keyword))
        return false;
    parameter.tail(rest, pieces.position());
    rest.unquote(value);
    return true;
}

std::string_view boundaryKey(const LightBlock& boundary) {
    return std::string_view(reinterpret_cast<const char*>(boundary.rawPointer()),
                            static_cast<size_t>(boundary.length()));
}

} // namespace

MimePart::MimePart() = default;

// Children are plain pointers and allParts owns every part of the tree, so even a
// message nested a hundred thousand levels deep is destroyed without recursion.
MimePart::~MimePart() = default;

bool MimePart::parse(const Block& text) {
    const int64_t n = text.byteSize();
    totalSize += n;
    if (n == 0)
        return true;
    text_ = text.data();
    int64_t pos = 0;
    while (pos < n) {
        const void* lf = std::memchr(text_ + pos, '\n', static_cast<size_t>(n - pos));
        const int64_t lineEnd = lf ? static_cast<const uint8_t*>(lf) - text_ : n;
        int64_t contentEnd = lineEnd;
        if (contentEnd > pos && text_[contentEnd - 1] == '\r')
            --contentEnd;
        // A final line without LF is a line like any other: dropping it would lose the
        // last line of a part.
        feedLine(text_ + pos, contentEnd - pos, pos);
        if (unparseable_)
            return false;
        pos = lineEnd + 1;
    }
    return !headerDamaged;
}

// Equivalent to handing the line down from the root, part by part, where each part in
// body mode first checks whether the line is one of its own boundary lines: the
// outermost part whose boundary matches takes it, any other line goes to the innermost
// part. The chain and the boundary index make both steps independent of the depth.
void MimePart::feedLine(const uint8_t* line, int64_t length, int64_t start) {
    if (chain_.empty())
        chain_.push_back(this);
    const int32_t depth =
        length >= 3 && line[0] == '-' && line[1] == '-' ? outermostBoundaryMatch(line, length) : -1;
    if (depth >= 0) {
        MimePart* part = chain_[static_cast<size_t>(depth)];
        if (part->bodyStart < 0)
            part->bodyStart = start;
        truncateChain(static_cast<size_t>(depth) + 1);
        if (part->currentChild)
            part->currentChild->partEnd = start;
        const int32_t b = part->boundary.length();
        if (length >= 4 + b && line[2 + b] == '-' && line[3 + b] == '-') {
            part->currentChild = nullptr;
            part->childrenClosed = true;
            return;
        }
        part->currentChild = part->openChild(start);
        part->childrenClosed = false;
        if (part->currentChild)
            chain_.push_back(part->currentChild);
        return;
    }

    MimePart* part = chain_.back();
    if (!part->inBody) {
        if (part->headerStart < 0)
            part->headerStart = start;
        const HeaderLine kind = part->headerLine(line, length, start);
        if (kind == HeaderLine::Taken)
            return;
        part->endHeaderBlock(start);
        if (part->boundary.length() > 0) {
            boundaryDepths_[boundaryKey(part->boundary)].push_back(
                static_cast<int32_t>(chain_.size()) - 1);
            ++boundaryLengths_[part->boundary.length()];
        }
        if (kind == HeaderLine::EndsBlock)
            return;
        // Read like a mail reader would: a line that is no header line begins the body,
        // so that a part whose blank line is damaged or missing still gives its content.
        // The part is marked, and is never cut.
        part->headerDamaged = true;
    }
    part->bodyLine(start, length);
}

void MimePart::bodyLine(int64_t start, int64_t length) {
    if (bodyStart < 0)
        bodyStart = start;
    if (childrenClosed)
        return; // the epilogue belongs to no part
    setView(body, text_ + bodyStart, start + length - bodyStart);
}

void MimePart::endHeaderBlock(int64_t start) {
    currentChild = nullptr;
    inBody = true;
    setView(headerText, text_ + headerStart, start - headerStart);
    if (!interpretHeaders())
        headerDamaged = true;
}

int32_t MimePart::outermostBoundaryMatch(const uint8_t* line, int64_t length) const {
    int32_t best = -1;
    for (const auto& [boundaryLength, count] : boundaryLengths_) {
        if (boundaryLength > length - 2)
            break;
        const std::string_view key(reinterpret_cast<const char*>(line + 2),
                                   static_cast<size_t>(boundaryLength));
        const auto found = boundaryDepths_.find(key);
        if (found != boundaryDepths_.end() && !found->second.empty() &&
            (best < 0 || found->second.front() < best))
            best = found->second.front();
    }
    return best;
}

// Drops the parts below the given depth from the chain and from the boundary index.
void MimePart::truncateChain(size_t depth) {
    while (chain_.size() > depth) {
        MimePart* part = chain_.back();
        if (part->inBody && part->boundary.length() > 0) {
            auto found = boundaryDepths_.find(boundaryKey(part->boundary));
            found->second.pop_back();
            if (found->second.empty())
                boundaryDepths_.erase(found);
            if (--boundaryLengths_[part->boundary.length()] == 0)
                boundaryLengths_.erase(part->boundary.length());
        }
        chain_.pop_back();
    }
}

MimePart* MimePart::openChild(int64_t start) {
    MimePart* top = root ? root : this;
    if (static_cast<int64_t>(top->allParts.size()) >= maxParts) {
        top->unparseable_ = true;
        return nullptr;
    }
    auto child = std::make_unique<MimePart>();
    child->parent = this;
    child->root = top;
    child->text_ = top->text_;
    child->partStart = start;
    MimePart* raw = child.get();
    children.push_back(raw);
    top->allParts.push_back(std::move(child));
    return raw;
}

MimePart::HeaderLine MimePart::headerLine(const uint8_t* line, int64_t length, int64_t start) {
    if (length == 0)
        return HeaderLine::EndsBlock;
    // Until the block ends, the header text covers every line received.
    setView(headerText, text_ + headerStart, start + length - headerStart);

    const uint8_t* begin = line;
    const uint8_t* end = line + length;
    stripBlanks(begin, end);
    if (begin == end)
        return HeaderLine::Taken; // a blank line of spaces and tabs does not end the block
    if (isBlank(line[0])) {
        if (lastHeader < 0)
            return HeaderLine::NotAHeader;
        TOVK_Utils::String& value = headers.at(lastHeader).value;
        value.append(" ", 1);
        value.append(begin, static_cast<int32_t>(end - begin));
        return HeaderLine::Taken;
    }
    const void* colon = std::memchr(begin, ':', static_cast<size_t>(end - begin));
    if (!colon)
        return HeaderLine::NotAHeader;
    if (lastHeader + 1 >= maxHeaders) {
        (root ? root : this)->unparseable_ = true;
        return HeaderLine::Taken;
    }
    ++lastHeader;
    MIMEHeader& header = headers.at(lastHeader);
    const uint8_t* c = static_cast<const uint8_t*>(colon);
    setView(header.name, begin, c - begin);
    const uint8_t* v = c + 1;
    while (v < end && isBlank(*v))
        ++v;
    header.value.clear();
    if (v < end)
        header.value.append(v, static_cast<int32_t>(end - v));
    return HeaderLine::Taken;
}

bool MimePart::interpretHeaders() {
    for (int32_t i = 0; i <= lastHeader; ++i) {
        MIMEHeader& header = headers.at(i);
        if (header.name.equalsNoCase("content-type")) {
            bool ok = true;
            interpretContentType(header.value, ok);
            if (!ok)
                return false;
        } else if (header.name.equalsNoCase("content-transfer-encoding")) {
            // Folding can leave blanks around the value; a base64 body saved undecoded
            // and then cut would be the only copy left, so compare the bare word.
            LightBlock word;
            header.value.trim(word);
            if (word.equalsNoCase("base64"))
                transferEncoding = TransferEncoding::Base64;
            else if (word.equalsNoCase("quoted-printable"))
                transferEncoding = TransferEncoding::QuotedPrintable;
            else if (word.length() == 0 || word.equalsNoCase("7bit") || word.equalsNoCase("8bit") ||
                     word.equalsNoCase("binary"))
                transferEncoding = TransferEncoding::Plain;
            else
                transferEncoding = TransferEncoding::Other;
        } else if (header.name.equalsNoCase("content-disposition")) {
            interpretContentDisposition(header.value);
        }
    }
    return true;
}

void MimePart::interpretContentType(const Block& value, bool& ok) {
    Tokenizer tokens(value, ";", false, false);
    LightBlock mediaType;
    if (!tokens.nextToken(mediaType))
        return;
    LightBlock parameter;
    if (mediaType.startsWithAtNoCase(LightBlock("multipart", 9), 0)) {
        isMultipart = true;
        while (tokens.nextToken(parameter)) {
            Tokenizer pieces(parameter, "=", false, true);
            LightBlock name, trimmed;
            pieces.nextToken(name);
            name.trim(trimmed);
            if (!trimmed.equalsNoCase("boundary"))
                continue;
            LightBlock raw;
            if (!pieces.nextToken(raw)) {
                ok = false;
                return;
            }
            raw.unquote(boundary);
            return;
        }
        return;
    }
    LightBlock name;
    while (tokens.nextToken(parameter))
        if (parameterValue(parameter, "name", true, name))
            setFileName(name);
}

void MimePart::interpretContentDisposition(const Block& value) {
    Tokenizer tokens(value, ";", false, false);
    LightBlock parameter;
    if (!tokens.nextToken(parameter))
        return; // the disposition type plays no role
    LightBlock name;
    while (tokens.nextToken(parameter))
        if (parameterValue(parameter, "filename", false, name))
            setFileName(name);
}

void MimePart::setFileName(const Block& value) {
    fileName.assign(value);
    if (!value.startsWithAt("=?", 0))
        return;
    const int32_t close = value.find("?=", 2);
    if (close < 0)
        return;
    LightBlock inner;
    value.substring(inner, 2, close);
    fileName.assign(inner);

    Tokenizer pieces(inner, "?", false, false);
    LightBlock piece;
    pieces.nextToken(piece);
    charset.assign(piece);
    if (!pieces.nextToken(piece))
        return;
    uint32_t letter = piece.length() > 0 ? piece.charAt(0) : 0;
    if (letter >= 'A' && letter <= 'Z')
        letter += 32;
    if (!pieces.nextToken(piece)) {
        fileName.assign(nullptr, 0);
        return;
    }
    fileName.assign(piece);
    if (letter == 'b') {
        decodeBase64(fileName, decodedName);
        fileName.assign(decodedName);
    }
}

bool MimePart::isAttachment() const {
    if (!root || root->unparseable_)
        return false;
    return fileName.length() > 0 && children.empty();
}

bool MimePart::hasExactExtent() const {
    if (!root || root->unparseable_ || partStart < 0 || partEnd < partStart)
        return false;
    for (const MimePart* part = this; part; part = part->parent)
        if (!part->headerIsWellFormed())
            return false;
    return true;
}

} // namespace TOVK_Internet
