// BinHex 4.0 for building test messages, written the way the format's description has it:
// the CRC by its shift register with two zero bytes run through after the data, runs of
// three or more coded with 0x90, lines of 64 characters between the colons.
#pragma once

#include <cstdint>
#include <string>

namespace DbxTest {

inline uint16_t binHexCrc(const std::string& bytes) {
    uint32_t crc = 0;
    auto shift = [&](uint8_t byte) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = crc & 0x8000;
            crc = ((crc << 1) | ((byte >> bit) & 1)) & 0xFFFF;
            if (top)
                crc ^= 0x1021;
        }
    };
    for (char c : bytes)
        shift(uint8_t(c));
    shift(0);
    shift(0);
    return uint16_t(crc);
}

struct BinHexForks {
    std::string name;
    std::string data;
    std::string resource;
    std::string type = "TEXT", creator = "ttxt";
};

inline std::string withCrc(const std::string& bytes) {
    const uint16_t crc = binHexCrc(bytes);
    return bytes + char(crc >> 8) + char(crc & 0xFF);
}

inline std::string bigEndian32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// The decoded stream: header, data fork and resource fork, each with its CRC.
inline std::string binHexStream(const BinHexForks& f) {
    const std::string header = char(f.name.size()) + f.name + '\0' + f.type + f.creator +
                               std::string(2, '\0') + bigEndian32(uint32_t(f.data.size())) +
                               bigEndian32(uint32_t(f.resource.size()));
    return withCrc(header) + withCrc(f.data) + withCrc(f.resource);
}

inline std::string binHexRuns(const std::string& stream) {
    std::string out;
    for (size_t i = 0; i < stream.size();) {
        size_t run = 1;
        while (i + run < stream.size() && stream[i + run] == stream[i] && run < 255)
            ++run;
        const char c = stream[i];
        out += c;
        if (c == char(0x90))
            out += '\0';
        if (run >= 3) {
            out += char(0x90);
            out += char(run);
        } else if (run == 2) {
            out += c;
            if (c == char(0x90))
                out += '\0';
        }
        i += run;
    }
    return out;
}

inline std::string binHexText(const std::string& runs, const std::string& lineBreak = "\r\n") {
    static const char* alphabet =
        "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
    std::string out = "(This file must be converted with BinHex 4.0)" + lineBreak + ":";
    size_t column = 1;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](char c) {
        out += c;
        if (++column == 64) {
            out += lineBreak;
            column = 0;
        }
    };
    for (char c : runs) {
        bits = (bits << 8) | uint8_t(c);
        count += 8;
        while (count >= 6) {
            count -= 6;
            put(alphabet[(bits >> count) & 63]);
        }
    }
    if (count > 0)
        put(alphabet[(bits << (6 - count)) & 63]);
    return out + ":" + lineBreak;
}

inline std::string binHex(const BinHexForks& forks, const std::string& lineBreak = "\r\n") {
    return binHexText(binHexRuns(binHexStream(forks)), lineBreak);
}

} // namespace DbxTest
