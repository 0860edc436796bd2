#include "formats/Decoding.h"

#include "formats/MimePart.h"
#include "formats/Uuencode.h"

#include <array>
#include <cstring>

using TOVK_Utils::Block;

namespace TOVK_Internet {

namespace {

constexpr uint8_t skip = 0xFF;

constexpr std::array<uint8_t, 256> makeBase64Table() {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = skip;
    for (int i = 0; i < 26; ++i) {
        table['A' + i] = static_cast<uint8_t>(i);
        table['a' + i] = static_cast<uint8_t>(26 + i);
    }
    for (int i = 0; i < 10; ++i)
        table['0' + i] = static_cast<uint8_t>(52 + i);
    table['+'] = 62;
    table['/'] = 63;
    return table;
}

constexpr std::array<uint8_t, 256> base64Table = makeBase64Table();

// The decoded bytes are never more than the input's: room for n bytes, or null for none.
// The output is resized rather than replaced: the passes reuse one large buffer, and a
// fresh allocation per attachment would fault every page in again.
uint8_t* makeRoom(Block& output, int32_t n) {
    output.setWide(false);
    output.resize(n);
    return n > 0 ? output.data() : nullptr;
}

// The base64 bit stream across the lines of a body.
class Base64Stream {
public:
    explicit Base64Stream(uint8_t* out) : out_(out) {}

    // Decodes one line's characters. Junk is skipped but makes the data unclean, and so
    // does data after the padding, which is not decoded.
    void decodeLine(const uint8_t* in, int32_t length) {
        int32_t i = 0;
        while (i < length) {
            if (phase_ == 0 && pads_ == 0)
                i = wholeGroups(in, i, length);
            if (i >= length)
                break;
            const uint8_t c = in[i++];
            const uint8_t v = base64Table[c];
            if (v == skip) {
                if (c == '=') {
                    if (pads_++ == 0)
                        padPhase_ = phase_;
                } else {
                    clean = false;
                }
            } else if (pads_ > 0) {
                clean = false;
            } else {
                add(v);
            }
        }
    }

    int32_t emitted() const { return emitted_; }
    int phase() const { return phase_; }
    bool padded() const { return pads_ > 0; }
    // The data ended on a group boundary, or in a group its padding completes.
    bool endsInWholeGroups() const {
        return pads_ == 0 ? phase_ == 0
                          : (padPhase_ == 2 && pads_ == 2) || (padPhase_ == 3 && pads_ == 1);
    }

    bool clean = true;

private:
    // Fast path: whole groups of four alphabet characters, which is nearly all of a real
    // body. Returns where it stopped.
    // The output goes through a local pointer: a store through a byte pointer may alias
    // the stream's own fields, which would have to be read again after every byte.
    int32_t wholeGroups(const uint8_t* in, int32_t i, int32_t length) {
        uint8_t* out = out_ + emitted_;
        while (i + 4 <= length) {
            const uint32_t a = base64Table[in[i]], b = base64Table[in[i + 1]],
                           c = base64Table[in[i + 2]], d = base64Table[in[i + 3]];
            if ((a | b | c | d) & 0x80)
                break;
            const uint32_t bits = (a << 18) | (b << 12) | (c << 6) | d;
            out[0] = static_cast<uint8_t>(bits >> 16);
            out[1] = static_cast<uint8_t>(bits >> 8);
            out[2] = static_cast<uint8_t>(bits);
            out += 3;
            i += 4;
        }
        emitted_ = static_cast<int32_t>(out - out_);
        return i;
    }

    void add(uint8_t v) {
        switch (phase_) {
        case 0:
            accumulator_ = static_cast<uint8_t>(v << 2);
            break;
        case 1:
            out_[emitted_++] = static_cast<uint8_t>(accumulator_ | ((v >> 4) & 0x03));
            accumulator_ = static_cast<uint8_t>(v << 4);
            break;
        case 2:
            out_[emitted_++] = static_cast<uint8_t>(accumulator_ | ((v >> 2) & 0x0F));
            accumulator_ = static_cast<uint8_t>(v << 6);
            break;
        default:
            out_[emitted_++] = static_cast<uint8_t>(accumulator_ | v);
            break;
        }
        phase_ = (phase_ + 1) & 3;
    }

    uint8_t* out_;
    int32_t emitted_ = 0;
    int phase_ = 0;
    uint8_t accumulator_ = 0;
    int pads_ = 0;
    int padPhase_ = -1; // the phase at the first pad character
};

// One line of a body: its content [start, end) without CR LF, and where the next begins.
struct BodyLine {
    int32_t start, end, next;
};

inline BodyLine lineAt(const uint8_t* in, int32_t pos, int32_t n) {
    const void* lf = std::memchr(in + pos, '\n', static_cast<size_t>(n - pos));
    const int32_t next = lf ? static_cast<int32_t>(static_cast<const uint8_t*>(lf) - in) + 1 : n;
    int32_t end = lf ? next - 1 : n;
    if (end > pos && in[end - 1] == '\r')
        --end;
    return BodyLine{pos, end, next};
}

// Whether what follows a blank line, up to the end of the body, is still the data: lines
// of alphabet characters as long as the first (the last may be shorter), blank lines
// between them, padding only at the very end, and the groups whole with what came before.
// One mail client separated its lines so for years; a footer after the data fails this.
bool restIsBase64(const uint8_t* in, int32_t pos, int32_t n, int32_t usualLength, int phase) {
    int64_t characters = phase;
    int pads = 0;
    bool lastLine = false; // a short or padded line came: no data may follow
    bool any = false;
    while (pos < n) {
        const BodyLine line = lineAt(in, pos, n);
        pos = line.next;
        const int32_t length = line.end - line.start;
        if (length == 0)
            continue;
        if (lastLine || length > usualLength)
            return false;
        for (int32_t i = line.start; i < line.end; ++i) {
            if (in[i] == '=')
                ++pads;
            else if (base64Table[in[i]] == skip || pads > 0)
                return false;
            else
                ++characters;
        }
        lastLine = pads > 0 || length < usualLength;
        any = true;
    }
    const int64_t left = characters % 4;
    return any && (pads == 0 ? left == 0 : (left == 2 && pads == 2) || (left == 3 && pads == 1));
}

} // namespace

bool decodeBase64(const Block& input, Block& output) {
    const int32_t n = input.byteSize();
    uint8_t* out = makeRoom(output, n);
    if (!out)
        return true;
    const uint8_t* in = input.data();
    Base64Stream stream(out);
    int32_t usualLength = -1; // the first data line's
    bool ended = false;       // the data is over: padding, a blank line or a short line came
    bool spaced = false;      // blank lines separate the data's lines up to the body's end
    for (int32_t pos = 0; pos < n;) {
        const BodyLine line = lineAt(in, pos, n);
        pos = line.next;
        const int32_t length = line.end - line.start;
        if (length == 0) {
            if (usualLength >= 0 && !ended && !spaced) {
                spaced = restIsBase64(in, pos, n, usualLength, stream.phase());
                ended = !spaced;
            }
            continue;
        }
        if (ended) {
            // Text after the data, such as a list's footer: its letters alone would pass
            // for base64, so it is not decoded, and the part is not what it claims.
            stream.clean = false;
            break;
        }
        if (usualLength < 0)
            usualLength = length;
        stream.decodeLine(in + line.start, length);
        // Padding ends the data, and so does a line shorter than the ones before it.
        ended = stream.padded() || length < usualLength;
    }
    output.resize(stream.emitted());
    // Spaced lines decode whole, but the body is not what its encoding allows.
    return stream.clean && !spaced && stream.endsInWholeGroups();
}

bool decodeQuotedPrintable(const Block& input, Block& output) {
    const int32_t n = input.byteSize();
    uint8_t* out = makeRoom(output, n);
    if (!out)
        return true;
    const uint8_t* in = input.data();
    bool clean = true;
    int32_t emitted = 0;
    for (int32_t i = 0; i < n; ++i) {
        const uint8_t c = in[i];
        if (c != '=') {
            out[emitted++] = c;
            continue;
        }
        // A soft line break: "=", optional blanks, then CR LF or LF.
        int32_t j = i + 1;
        while (j < n && (in[j] == ' ' || in[j] == '\t'))
            ++j;
        if (j < n && in[j] == '\n') {
            i = j;
            continue;
        }
        if (j + 1 < n && in[j] == '\r' && in[j + 1] == '\n') {
            i = j + 1;
            continue;
        }
        if (j == n) {
            i = j - 1; // "=" ending the body is a soft break with nothing after it
            continue;
        }
        if (i + 2 < n) {
            const int high = hexValue(in[i + 1]), low = hexValue(in[i + 2]);
            if (high >= 0 && low >= 0) {
                out[emitted++] = static_cast<uint8_t>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out[emitted++] = c;
        clean = false;
    }
    output.resize(emitted);
    return clean;
}

namespace {

// A body of line breaks only is as good as empty.
bool holdsText(const Block& body) {
    const uint8_t* p = body.rawPointer();
    for (int32_t i = 0; i < body.byteSize(); ++i)
        if (p[i] != '\r' && p[i] != '\n')
            return true;
    return false;
}

} // namespace

bool decodeContent(const MimePart& part, Block& output) {
    bool clean = false;
    switch (part.transferEncoding) {
    case TransferEncoding::Base64:
        clean = decodeBase64(part.body, output);
        break;
    case TransferEncoding::QuotedPrintable:
        clean = decodeQuotedPrintable(part.body, output);
        break;
    case TransferEncoding::Uuencode:
        clean = decodeUuencodedBody(
            std::string_view(reinterpret_cast<const char*>(part.body.rawPointer()),
                             static_cast<size_t>(part.body.length())),
            output);
        break;
    case TransferEncoding::Plain:
    case TransferEncoding::Other:
        output.setWide(false);
        output.resize(part.body.length());
        if (part.body.length() > 0)
            std::memcpy(output.data(), part.body.rawPointer(),
                        static_cast<size_t>(part.body.length()));
        clean = part.transferEncoding == TransferEncoding::Plain;
        break;
    }
    // Nothing decoded out of something means the something was not understood.
    return clean && (output.byteSize() > 0 || !holdsText(part.body));
}

} // namespace TOVK_Internet
