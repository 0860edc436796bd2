// Sha256: the SHA-256 digest (FIPS 180-4) of bytes given in any number of pieces, for the
// list of saved attachments, so that a user can check a file against what was listed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace TOVK_Utils {

class Sha256 {
public:
    Sha256();
    void add(const void* bytes, size_t count);
    // The digest of everything added; the object then starts afresh.
    std::array<uint8_t, 32> finish();
    // The digest in lower-case hexadecimal, as sha256sum prints it.
    std::string finishHex();

private:
    void compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> pending_;
    size_t pendingCount_ = 0;
    uint64_t totalBytes_ = 0;
};

} // namespace TOVK_Utils
