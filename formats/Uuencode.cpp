#include "formats/Uuencode.h"

#include <algorithm>

namespace TOVK_Internet {

namespace {

// One line: its content without CR LF, and where the next begins.
struct Line {
    std::string_view content;
    size_t next;
};

Line lineAt(std::string_view text, size_t pos) {
    const size_t lf = text.find('\n', pos);
    const size_t end = lf == std::string_view::npos ? text.size() : lf;
    size_t contentEnd = end;
    if (contentEnd > pos && text[contentEnd - 1] == '\r')
        --contentEnd;
    return Line{text.substr(pos, contentEnd - pos), lf == std::string_view::npos ? end : lf + 1};
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

// "begin", a blank, three or four octal digits, a blank, a name.
bool beginLine(std::string_view line, std::string_view& name) {
    if (line.size() < 11 || line.substr(0, 6) != "begin ")
        return false;
    size_t i = 6;
    while (i < line.size() && isOctal(line[i]))
        ++i;
    if (i - 6 < 3 || i - 6 > 4 || i >= line.size() || line[i] != ' ')
        return false;
    name = line.substr(i + 1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    return !name.empty();
}

bool endLine(std::string_view line) {
    if (line.size() < 3 || line.substr(0, 3) != "end")
        return false;
    return std::all_of(line.begin() + 3, line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

int valueOf(char c) {
    return (static_cast<uint8_t>(c) - 32) & 63;
}

enum class DataLine { Bad, Empty, Data, Short };

// What a line is as uuencoded data: its first character gives its byte count, and four
// characters follow for each three bytes (one more is allowed: some encoders add a check
// character). Short: trailing blanks lost in transport, still decodable.
DataLine classify(std::string_view line) {
    if (line.empty())
        return DataLine::Empty;
    for (char c : line)
        if (static_cast<uint8_t>(c) < 32 || static_cast<uint8_t>(c) > 96)
            return DataLine::Bad;
    const int count = valueOf(line[0]);
    if (count == 0)
        return line.size() <= 2 ? DataLine::Empty : DataLine::Bad;
    const size_t needed = static_cast<size_t>((count + 2) / 3 * 4);
    const size_t have = line.size() - 1;
    if (have > needed + 1)
        return DataLine::Bad;
    return have >= needed ? DataLine::Data : DataLine::Short;
}

void decodeLine(std::string_view line, uint8_t* out, int32_t& emitted) {
    const int count = valueOf(line[0]);
    int done = 0;
    for (size_t i = 1; done < count; i += 4) {
        auto at = [&](size_t k) { return k < line.size() ? valueOf(line[k]) : 0; };
        const uint32_t bits =
            (static_cast<uint32_t>(at(i)) << 18) | (static_cast<uint32_t>(at(i + 1)) << 12) |
            (static_cast<uint32_t>(at(i + 2)) << 6) | static_cast<uint32_t>(at(i + 3));
        for (int k = 0; k < 3 && done < count; ++k, ++done)
            out[emitted++] = static_cast<uint8_t>(bits >> (16 - 8 * k));
    }
}

// A data line follows (prose has lower-case letters, which no data line has), or the
// empty data line and the end line of an empty file.
bool dataFollows(std::string_view text, size_t pos) {
    if (pos >= text.size())
        return false;
    const Line first = lineAt(text, pos);
    const DataLine kind = classify(first.content);
    if (kind == DataLine::Data || kind == DataLine::Short)
        return true;
    return kind == DataLine::Empty && !first.content.empty() && first.next < text.size() &&
           endLine(lineAt(text, first.next).content);
}

} // namespace

std::vector<UuencodedBlock> findUuencodedBlocks(std::string_view text) {
    std::vector<UuencodedBlock> blocks;
    size_t pos = 0;
    while ((pos = text.find("begin ", pos)) != std::string_view::npos) {
        if (pos > 0 && text[pos - 1] != '\n') {
            pos += 6;
            continue;
        }
        const Line begin = lineAt(text, pos);
        UuencodedBlock block;
        if (!beginLine(begin.content, block.name) || !dataFollows(text, begin.next)) {
            pos = begin.next;
            continue;
        }
        block.start = static_cast<int64_t>(pos);
        block.dataStart = static_cast<int64_t>(begin.next);
        size_t at = begin.next;
        while (true) {
            if (at >= text.size()) {
                block.dataEnd = block.end = static_cast<int64_t>(text.size());
                break;
            }
            const Line line = lineAt(text, at);
            if (endLine(line.content)) {
                block.dataEnd = static_cast<int64_t>(at);
                block.end = static_cast<int64_t>(line.next);
                block.ended = true;
                break;
            }
            if (classify(line.content) == DataLine::Bad) {
                block.dataEnd = block.end = static_cast<int64_t>(at);
                break;
            }
            at = line.next;
        }
        blocks.push_back(block);
        pos = static_cast<size_t>(block.end);
    }
    return blocks;
}

bool decodeUuencoded(std::string_view text, const UuencodedBlock& block,
                     TOVK_Utils::Block& output) {
    const int64_t room = std::max<int64_t>(block.dataEnd - block.dataStart, 0);
    output.setWide(false);
    output.resize(static_cast<int32_t>(room));
    uint8_t* out = room > 0 ? output.data() : nullptr;
    int32_t emitted = 0;
    bool clean = block.ended;
    bool over = false; // the empty data line came
    for (size_t at = static_cast<size_t>(block.dataStart);
         at < static_cast<size_t>(block.dataEnd);) {
        const Line line = lineAt(text, at);
        at = std::min(line.next, static_cast<size_t>(block.dataEnd));
        switch (classify(line.content)) {
        case DataLine::Empty:
            over = true;
            break;
        case DataLine::Short:
            clean = false;
            [[fallthrough]];
        case DataLine::Data:
            if (over)
                clean = false; // data after the end of the data
            // A short line may claim more bytes than its characters hold.
            if (emitted + 64 > output.byteSize()) {
                output.resize(std::max(2 * output.byteSize(), emitted + 64));
                out = output.data();
            }
            decodeLine(line.content, out, emitted);
            break;
        case DataLine::Bad:
            clean = false;
            break;
        }
    }
    output.resize(emitted);
    return clean;
}

bool decodeUuencodedBody(std::string_view body, TOVK_Utils::Block& output) {
    const std::vector<UuencodedBlock> blocks = findUuencodedBlocks(body);
    if (blocks.empty()) {
        UuencodedBlock all;
        all.dataEnd = all.end = static_cast<int64_t>(body.size());
        decodeUuencoded(body, all, output);
        return false;
    }
    const UuencodedBlock& block = blocks.front();
    const bool clean = decodeUuencoded(body, block, output);
    auto blank = [](std::string_view text) {
        return std::all_of(text.begin(), text.end(),
                           [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
    };
    return clean && blocks.size() == 1 && blank(body.substr(0, static_cast<size_t>(block.start))) &&
           blank(body.substr(static_cast<size_t>(block.end)));
}

} // namespace TOVK_Internet
