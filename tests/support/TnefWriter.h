// TNEF for building test messages: the signature, a key, attributes with their checksums,
// and MAPI property lists as attAttachment holds them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace DbxTest {

inline std::string littleEndian(uint32_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * i)) & 0xFF);
    return out;
}

inline std::string padded(std::string bytes) {
    while (bytes.size() % 4)
        bytes += '\0';
    return bytes;
}

struct TnefWriter {
    static constexpr uint8_t message = 1, attachment = 2;
    std::string bytes = littleEndian(0x223E9F78, 4) + littleEndian(0x1234, 2);
    std::vector<size_t> attributeEnds; // where each attribute ends in bytes

    TnefWriter& attribute(uint8_t level, uint32_t id, const std::string& data,
                          int checksumError = 0) {
        uint32_t sum = 0;
        for (char c : data)
            sum += uint8_t(c);
        bytes += char(level) + littleEndian(id, 4) + littleEndian(uint32_t(data.size()), 4) + data +
                 littleEndian((sum + checksumError) & 0xFFFF, 2);
        attributeEnds.push_back(bytes.size());
        return *this;
    }
    // A by-value attachment: its start, its short name, its bytes and its properties.
    TnefWriter& file(const std::string& title, const std::string& data,
                     const std::string& properties = "") {
        attribute(attachment, 0x00069002, std::string(14, '\x01'));
        attribute(attachment, 0x00018010, title + '\0');
        attribute(attachment, 0x0006800F, data);
        if (!properties.empty())
            attribute(attachment, 0x00069005, properties);
        return *this;
    }
};

// MAPI properties: the count, then each property as built below.
inline std::string propertyList(const std::vector<std::string>& properties) {
    std::string out = littleEndian(uint32_t(properties.size()), 4);
    for (const std::string& p : properties)
        out += p;
    return out;
}

inline std::string fixedProperty(uint16_t type, uint16_t id, const std::string& value) {
    return littleEndian(type, 2) + littleEndian(id, 2) + padded(value);
}

// A variable-length value: the count of values (1), its length, itself, padding.
inline std::string variableProperty(uint16_t type, uint16_t id, const std::string& value) {
    return littleEndian(type, 2) + littleEndian(id, 2) + littleEndian(1, 4) +
           littleEndian(uint32_t(value.size()), 4) + padded(value);
}

inline std::string utf16le(const std::string& ascii) {
    std::string out;
    for (char c : ascii)
        out += std::string{c, '\0'};
    return out;
}

} // namespace DbxTest
