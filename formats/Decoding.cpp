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

} // namespace

bool decodeBase64(const Block& input, Block& output) {
    const int32_t n = input.byteSize();
    uint8_t* out = makeRoom(output, n);
    if (!out)
        return true;
    const uint8_t* in = input.data();
    bool clean = true;
    int32_t emitted = 0;
    int phase = 0;
    uint8_t accumulator = 0;
    int32_t usualLength = -1; // the first data line's
    int padPhase = -1;        // the phase at the first pad character
    int pads = 0;
    bool ended = false; // the data is over: padding, a blank line or a short line came
    for (int32_t pos = 0; pos < n;) {
        const void* lf = std::memchr(in + pos, '\n', static_cast<size_t>(n - pos));
        const int32_t next =
            lf ? static_cast<int32_t>(static_cast<const uint8_t*>(lf) - in) + 1 : n;
        int32_t end = lf ? next - 1 : n;
        if (end > pos && in[end - 1] == '\r')
            --end;
        const int32_t lineStart = pos;
        pos = next;
        if (end == lineStart) {
            ended = ended || usualLength >= 0;
            continue;
        }
        if (ended) {
            // Text after the data, such as a list's footer: its letters alone would pass
            // for base64, so it is not decoded, and the part is not what it claims.
            clean = false;
            break;
        }
        if (usualLength < 0)
            usualLength = end - lineStart;
        int32_t i = lineStart;
        while (i < end) {
            // Fast path: a whole group of four alphabet characters at a group boundary,
            // which is nearly all of a real body.
            if (phase == 0 && pads == 0) {
                while (i + 4 <= end) {
                    const uint32_t a = base64Table[in[i]], b = base64Table[in[i + 1]],
                                   c = base64Table[in[i + 2]], d = base64Table[in[i + 3]];
                    if ((a | b | c | d) & 0x80)
                        break;
                    const uint32_t bits = (a << 18) | (b << 12) | (c << 6) | d;
                    out[emitted] = static_cast<uint8_t>(bits >> 16);
                    out[emitted + 1] = static_cast<uint8_t>(bits >> 8);
                    out[emitted + 2] = static_cast<uint8_t>(bits);
                    emitted += 3;
                    i += 4;
                }
                if (i >= end)
                    break;
            }
            const uint8_t c = in[i++];
            const uint8_t v = base64Table[c];
            if (v == skip) {
                if (c == '=') {
                    if (pads++ == 0)
                        padPhase = phase;
                } else {
                    clean = false; // junk is skipped, but the part is no longer exact
                }
                continue;
            }
            if (pads > 0) {
                clean = false; // data after the padding is not decoded
                continue;
            }
            switch (phase) {
            case 0:
                accumulator = static_cast<uint8_t>(v << 2);
                phase = 1;
                break;
            case 1:
                out[emitted++] = static_cast<uint8_t>(accumulator | ((v >> 4) & 0x03));
                accumulator = static_cast<uint8_t>(v << 4);
                phase = 2;
                break;
            case 2:
                out[emitted++] = static_cast<uint8_t>(accumulator | ((v >> 2) & 0x0F));
                accumulator = static_cast<uint8_t>(v << 6);
                phase = 3;
                break;
            default:
                out[emitted++] = static_cast<uint8_t>(accumulator | v);
                phase = 0;
                break;
            }
        }
        // Padding ends the data, and so does a line shorter than the ones before it.
        ended = pads > 0 || end - lineStart < usualLength;
    }
    output.resize(emitted);
    const bool wholeGroups =
        pads == 0 ? phase == 0 : (padPhase == 2 && pads == 2) || (padPhase == 3 && pads == 1);
    return clean && wholeGroups;
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
