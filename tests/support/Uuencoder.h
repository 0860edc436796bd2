// Uuencoding for building test messages: "begin 644 NAME", lines of 45 bytes, an empty
// data line and "end", with the given line break.
#pragma once

#include <cstdint>
#include <string>

namespace DbxTest {

inline std::string uuencode(const std::string& name, const std::string& data,
                            const std::string& lineBreak = "\r\n") {
    auto character = [](uint32_t v) { return char(v == 0 ? '`' : v + 32); };
    std::string out = "begin 644 " + name + lineBreak;
    for (size_t at = 0; at < data.size(); at += 45) {
        const size_t n = std::min<size_t>(45, data.size() - at);
        out += character(uint32_t(n));
        for (size_t i = 0; i < n; i += 3) {
            uint32_t v = 0;
            for (size_t k = 0; k < 3; ++k)
                v = (v << 8) | (i + k < n ? uint8_t(data[at + i + k]) : 0);
            for (int k = 3; k >= 0; --k)
                out += character((v >> (6 * k)) & 63);
        }
        out += lineBreak;
    }
    return out + "`" + lineBreak + "end" + lineBreak;
}

} // namespace DbxTest
