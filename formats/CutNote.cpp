#include "formats/CutNote.h"

namespace TOVK_Internet {

namespace {

// RFC 5322's limit for a line of a message.
constexpr size_t longestLine = 998;
// RFC 2045's for a quoted-printable line, its soft line break included.
constexpr size_t longestEncodedLine = 76;

std::string_view viewOf(const TOVK_Utils::Block& block) {
    if (!block.rawPointer())
        return {};
    return std::string_view(reinterpret_cast<const char*>(block.rawPointer()),
                            static_cast<size_t>(block.byteSize()));
}

std::string withoutControls(std::string_view sentence) {
    std::string text(sentence);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return text;
}

bool isSevenBit(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string quotedPrintable(std::string_view text, std::string_view lineBreak) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool last = i + 1 == text.size();
        // A line that began with "-" could be read as a boundary line; a space that ends
        // the text would be taken away by a reader.
        auto literalAt = [&](size_t at) {
            return c >= 0x20 && c < 0x7F && c != '=' && !(c == '-' && at == 0) &&
                   !(c == ' ' && last);
        };
        bool literal = literalAt(column);
        if (column + (literal ? 1 : 3) > longestEncodedLine - 1) {
            out.append("=").append(lineBreak);
            column = 0;
            literal = literalAt(column);
        }
        if (literal) {
            out += char(c);
        } else {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        column += literal ? 1 : 3;
    }
    return out;
}

// The line break the part's headers use: its last header line's own.
std::string_view lineBreakOf(const MimePart& part) {
    const std::string_view headers = viewOf(part.headerText);
    if (!headers.empty() && headers.back() == '\n' &&
        (headers.size() < 2 || headers[headers.size() - 2] != '\r'))
        return "\n";
    return "\r\n";
}

} // namespace

std::string notePart(const MimePart& part, std::string_view sentence) {
    const MimePart* parent = part.parent;
    if (!parent || parent->boundary.length() == 0 || parent->mediaType == "multipart/alternative")
        return {};
    const std::string text = withoutControls(sentence);
    const std::string_view eol = lineBreakOf(part);
    // A sentence that began with "-" could read as a boundary line: encoded, it cannot.
    const bool plain =
        isSevenBit(text) && text.size() <= longestLine && (text.empty() || text[0] != '-');
    std::string note = "--";
    note.append(viewOf(parent->boundary)).append(eol);
    note.append("Content-Type: text/plain; charset=").append(plain ? "us-ascii" : "utf-8");
    note.append(eol);
    if (!plain)
        note.append("Content-Transfer-Encoding: quoted-printable").append(eol);
    note.append(eol);
    note.append(plain ? text : quotedPrintable(text, eol)).append(eol);
    return note;
}

std::string noteLine(const MimePart& textPart, int64_t start, int64_t end,
                     std::string_view sentence) {
    const std::string_view body = viewOf(textPart.body);
    const std::string text = withoutControls(sentence);
    if (start < 0 || end <= start || end > static_cast<int64_t>(body.size()) || !isSevenBit(text) ||
        text.size() > longestLine || (!text.empty() && text[0] == '-'))
        return {}; // "-" could begin a boundary line
    const std::string_view block =
        body.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    if (block.size() >= 2 && block.substr(block.size() - 2) == "\r\n")
        return text + "\r\n";
    if (!block.empty() && block.back() == '\n')
        return text + "\n";
    return text;
}

} // namespace TOVK_Internet
