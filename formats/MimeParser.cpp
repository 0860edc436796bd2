#include "formats/MimeParser.h"

#include "formats/HeaderValue.h"

#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::LightBlock;

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

std::string_view viewOf(const Block& block) {
    return std::string_view(reinterpret_cast<const char*>(block.rawPointer()),
                            static_cast<size_t>(block.byteSize()));
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

void setBytes(Block& block, const std::string& bytes) {
    block.assign(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// The usual extension of a media type, for an attachment that was given no name.
const char* usualExtension(const std::string& mediaType) {
    static const std::pair<const char*, const char*> table[] = {
        {"application/pdf", "pdf"},
        {"application/zip", "zip"},
        {"application/x-zip-compressed", "zip"},
        {"application/gzip", "gz"},
        {"application/x-gzip", "gz"},
        {"application/msword", "doc"},
        {"application/vnd.ms-excel", "xls"},
        {"application/vnd.ms-powerpoint", "ppt"},
        {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", "docx"},
        {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "xlsx"},
        {"application/vnd.openxmlformats-officedocument.presentationml.presentation", "pptx"},
        {"application/rtf", "rtf"},
        {"application/octet-stream", "bin"},
        {"application/xml", "xml"},
        {"application/json", "json"},
        {"application/pkcs7-mime", "p7m"},
        {"application/x-pkcs7-mime", "p7m"},
        {"application/pkcs7-signature", "p7s"},
        {"application/x-pkcs7-signature", "p7s"},
        {"application/ms-tnef", "dat"},
        {"audio/mpeg", "mp3"},
        {"audio/wav", "wav"},
        {"audio/x-wav", "wav"},
        {"image/jpeg", "jpg"},
        {"image/pjpeg", "jpg"},
        {"image/png", "png"},
        {"image/gif", "gif"},
        {"image/bmp", "bmp"},
        {"image/tiff", "tif"},
        {"image/svg+xml", "svg"},
        {"message/rfc822", "eml"},
        {"text/plain", "txt"},
        {"text/html", "html"},
        {"text/csv", "csv"},
        {"text/calendar", "ics"},
        {"text/xml", "xml"},
        {"text/x-vcard", "vcf"},
        {"text/vcard", "vcf"},
        {"video/mp4", "mp4"},
        {"video/mpeg", "mpg"},
    };
    const std::string& type = mediaType.empty() ? std::string("text/plain") : mediaType;
    for (const auto& [name, extension] : table)
        if (type == name)
            return extension;
    return nullptr;
}

TransferEncoding encodingNamed(std::string_view word) {
    const std::string name = lowerCase(word);
    if (name == "base64")
        return TransferEncoding::Base64;
    if (name == "quoted-printable")
        return TransferEncoding::QuotedPrintable;
    if (name.empty() || name == "7bit" || name == "8bit" || name == "binary")
        return TransferEncoding::Plain;
    if (name == "x-uuencode" || name == "uuencode" || name == "x-uue")
        return TransferEncoding::Uuencode;
    return TransferEncoding::Other;
}

// A name made of nothing but blanks names nothing: mailers write name=" " on body text.
bool namesSomething(const HeaderParameter* name) {
    if (!name)
        return false;
    for (char c : name->value)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return true;
    return false;
}

// Reads the headers that matter. A Content-Disposition filename wins over a Content-Type
// name whichever comes first, as mail readers have it: phishing mail makes the two differ.
// False when a multipart type's boundary parameter has no value (the part is then read as
// damaged).
bool interpretHeaders(MimePart& part) {
    bool namedAsAttachment = false;
    bool typed = false;
    enum class NamedBy { Nothing, TypeName, DispositionFilename } named = NamedBy::Nothing;
    auto takeName = [&](const HeaderParameter* name, NamedBy by) {
        if (!namesSomething(name) ||
            (by == NamedBy::TypeName && named == NamedBy::DispositionFilename))
            return;
        setBytes(part.fileName, name->value);
        setBytes(part.charset, name->charset);
        named = by;
    };
    for (int32_t i = 0; i < part.headers.length(); ++i) {
        MIMEHeader& header = part.headers.at(i);
        if (header.name.equalsNoCase("content-type")) {
            typed = true;
            const HeaderValue value(viewOf(header.value));
            part.mediaType = lowerCase(value.leadingToken());
            if (part.mediaType.compare(0, 9, "multipart") == 0) {
                part.isMultipart = true;
                if (const HeaderParameter* boundary = value.parameter("boundary")) {
                    if (boundary->value.empty())
                        return false;
                    setBytes(part.boundary, boundary->value);
                }
                continue; // a multipart type's name is never looked at
            }
            takeName(value.parameter("name"), NamedBy::TypeName);
        } else if (header.name.equalsNoCase("content-transfer-encoding")) {
            // Folding can leave blanks around the value; a base64 body saved undecoded
            // and then cut would be the only copy left, so compare the bare word.
            LightBlock word;
            header.value.trim(word);
            part.transferEncoding = encodingNamed(viewOf(word));
        } else if (header.name.equalsNoCase("content-disposition")) {
            const HeaderValue value(viewOf(header.value));
            namedAsAttachment = lowerCase(value.leadingToken()) == "attachment";
            takeName(value.parameter("filename"), NamedBy::DispositionFilename);
        }
    }
    // In a digest a part without a type is a message (RFC 2046, 5.1.5).
    if (!typed && part.parent && part.parent->mediaType == "multipart/digest")
        part.mediaType = "message/rfc822";
    if (named == NamedBy::Nothing && namedAsAttachment && !part.isMultipart) {
        std::string name = "attachment";
        if (const char* extension = usualExtension(part.mediaType))
            name.append(".").append(extension);
        setBytes(part.fileName, name);
        part.charset.clear();
    }
    return true;
}

} // namespace

bool MimeParser::parse(const Block& text) {
    const int64_t n = text.byteSize();
    root_.totalSize += n;
    if (n == 0)
        return true;
    text_ = text.data();
    chain_.assign(1, OpenPart{&root_});
    int64_t pos = 0;
    // A mailbox's "From " separator line before the headers is no header line.
    if (n >= 5 && std::memcmp(text_, "From ", 5) == 0) {
        const void* lf = std::memchr(text_, '\n', static_cast<size_t>(n));
        pos = lf ? static_cast<const uint8_t*>(lf) - text_ + 1 : n;
    }
    while (pos < n) {
        const void* lf = std::memchr(text_ + pos, '\n', static_cast<size_t>(n - pos));
        const int64_t lineEnd = lf ? static_cast<const uint8_t*>(lf) - text_ : n;
        int64_t contentEnd = lineEnd;
        if (contentEnd > pos && text_[contentEnd - 1] == '\r')
            --contentEnd;
        // A final line without LF is a line like any other: dropping it would lose the
        // last line of a part.
        feedLine(text_ + pos, contentEnd - pos, pos);
        if (root_.unparseable)
            return false;
        lastLineEnd_ = contentEnd;
        pos = lineEnd + 1;
    }
    endOfText(n);
    truncateChain(0);
    return root_.headerBlock != HeaderBlock::Damaged;
}

// Equivalent to handing the line down from the root, part by part, where each part in
// body mode first checks whether the line is one of its own boundary lines: the
// outermost part whose boundary matches takes it, any other line goes to the innermost
// part. The chain and the boundary index make both steps independent of the depth.
void MimeParser::feedLine(const uint8_t* line, int64_t length, int64_t start) {
    const int32_t depth =
        length >= 3 && line[0] == '-' && line[1] == '-' ? outermostBoundaryMatch(line, length) : -1;
    if (depth >= 0) {
        const size_t d = static_cast<size_t>(depth);
        MimePart* part = chain_[d].part;
        if (part->bodyStart < 0)
            part->bodyStart = start;
        if (chain_.size() > d + 1 && !chain_[d].childrenClosed)
            chain_[d + 1].part->partEnd = start;
        truncateChain(d + 1);
        const int32_t b = part->boundary.length();
        if (length >= 4 + b && line[2 + b] == '-' && line[3 + b] == '-') {
            chain_[d].childrenClosed = true;
            return;
        }
        chain_[d].childrenClosed = false;
        if (MimePart* child = openChild(*part, start))
            chain_.push_back(OpenPart{child});
        return;
    }

    OpenPart& open = chain_.back();
    MimePart* part = open.part;
    if (part->headerBlock == HeaderBlock::Unended) {
        if (open.headerStart < 0) {
            open.headerStart = start;
            if (part->parent && part->parent->carriesMessage)
                part->parent->bodyStart = start;
        }
        const HeaderLine kind = headerLine(open, line, length, start);
        if (kind == HeaderLine::Taken)
            return;
        endHeaderBlock(open, start);
        if (part->boundary.length() > 0) {
            boundaryDepths_[viewOf(part->boundary)].push_back(static_cast<int32_t>(chain_.size()) -
                                                              1);
            ++boundaryLengths_[part->boundary.length()];
            open.inBoundaryIndex = true;
        }
        // A forwarded message in plain text is read as the message it is: its parts are
        // found like any others.
        if (part->mediaType == "message/rfc822" && !part->isMultipart &&
            part->transferEncoding == TransferEncoding::Plain) {
            if (MimePart* message = openChild(*part, -1)) {
                part->carriesMessage = true;
                chain_.push_back(OpenPart{message});
            }
        }
        if (kind == HeaderLine::EndsBlock)
            return;
        // Read like a mail reader would: a line that is no header line begins the body,
        // so that a part whose blank line is damaged or missing still gives its content.
        // The part is marked, and is never cut.
        part->headerBlock = HeaderBlock::Damaged;
        if (part->carriesMessage) {
            feedLine(line, length, start); // goes to the forwarded message, one level down
            return;
        }
    }
    bodyLine(chain_.back(), start, length);
}

// At the end of the text. A message may end with its headers (a body is optional): they
// name and type it all the same, as they would before an empty body; the block stays
// unended. A boundary line takes the line break before it, but nothing takes the text's
// last one: a body that the end of the text ends holds every byte up to it, so that a
// message that is itself the file gives it back exactly. So do the forwarded messages'
// parts that carry it (closeCarrier).
void MimeParser::endOfText(int64_t n) {
    const OpenPart& open = chain_.back();
    MimePart& part = *open.part;
    // A block the text ended stays unended, unless its headers could not be read.
    if (part.headerBlock == HeaderBlock::Unended && part.headers.length() > 0 &&
        !interpretHeaders(part))
        part.headerBlock = HeaderBlock::Damaged;
    if (part.headerBlock != HeaderBlock::Unended && !open.childrenClosed && part.bodyStart >= 0 &&
        part.bodyStart + part.body.length() == lastLineEnd_)
        setView(part.body, text_ + part.bodyStart, n - part.bodyStart);
    lastLineEnd_ = n;
}

void MimeParser::bodyLine(OpenPart& open, int64_t start, int64_t length) {
    MimePart& part = *open.part;
    if (part.bodyStart < 0)
        part.bodyStart = start;
    if (open.childrenClosed)
        return; // the epilogue belongs to no part
    setView(part.body, text_ + part.bodyStart, start + length - part.bodyStart);
}

void MimeParser::endHeaderBlock(OpenPart& open, int64_t start) {
    MimePart& part = *open.part;
    part.headerBlock = HeaderBlock::WellFormed;
    setView(part.headerText, text_ + open.headerStart, start - open.headerStart);
    if (!interpretHeaders(part))
        part.headerBlock = HeaderBlock::Damaged;
}

int32_t MimeParser::outermostBoundaryMatch(const uint8_t* line, int64_t length) const {
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

// A forwarded message's part holds, as its body, every line its message took.
void MimeParser::closeCarrier(MimePart& part) {
    if (part.bodyStart >= 0 && lastLineEnd_ > part.bodyStart)
        setView(part.body, text_ + part.bodyStart, lastLineEnd_ - part.bodyStart);
}

// Drops the parts below the given depth from the chain and from the boundary index.
void MimeParser::truncateChain(size_t depth) {
    while (chain_.size() > depth) {
        MimePart* part = chain_.back().part;
        // Only what was entered is taken out: the text can end a block whose headers give
        // a boundary and then fail, and that block was never entered.
        if (chain_.back().inBoundaryIndex) {
            auto found = boundaryDepths_.find(viewOf(part->boundary));
            found->second.pop_back();
            if (found->second.empty())
                boundaryDepths_.erase(found);
            if (--boundaryLengths_[part->boundary.length()] == 0)
                boundaryLengths_.erase(part->boundary.length());
        }
        if (part->carriesMessage)
            closeCarrier(*part);
        chain_.pop_back();
    }
}

MimePart* MimeParser::openChild(MimePart& parent, int64_t start) {
    if (static_cast<int64_t>(root_.allParts.size()) >= MimePart::maxParts) {
        root_.unparseable = true;
        return nullptr;
    }
    auto child = std::make_unique<MimePart>();
    child->parent = &parent;
    child->root = &root_;
    child->partStart = start;
    MimePart* raw = child.get();
    parent.children.push_back(raw);
    root_.allParts.push_back(std::move(child));
    return raw;
}

MimeParser::HeaderLine MimeParser::headerLine(OpenPart& open, const uint8_t* line, int64_t length,
                                              int64_t start) {
    if (length == 0)
        return HeaderLine::EndsBlock;
    MimePart& part = *open.part;
    // Until the block ends, the header text covers every line received.
    setView(part.headerText, text_ + open.headerStart, start + length - open.headerStart);

    const uint8_t* begin = line;
    const uint8_t* end = line + length;
    stripBlanks(begin, end);
    if (begin == end)
        return HeaderLine::Taken; // a blank line of spaces and tabs does not end the block
    const int32_t lastHeader = part.headers.length() - 1;
    if (isBlank(line[0])) {
        if (lastHeader < 0)
            return HeaderLine::NotAHeader;
        TOVK_Utils::String& value = part.headers.at(lastHeader).value;
        value.append(" ", 1);
        value.append(begin, static_cast<int32_t>(end - begin));
        return HeaderLine::Taken;
    }
    const void* colon = std::memchr(begin, ':', static_cast<size_t>(end - begin));
    if (!colon)
        return HeaderLine::NotAHeader;
    if (lastHeader + 1 >= MimePart::maxHeaders) {
        root_.unparseable = true;
        return HeaderLine::Taken;
    }
    MIMEHeader& header = part.headers.at(lastHeader + 1);
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

} // namespace TOVK_Internet
