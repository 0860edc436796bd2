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
    // The processor's own rounds where it has them; the portable ones give the same digest
    // and are there to be compared with them.
    enum class Rounds { Fastest, Portable };

    explicit Sha256(Rounds rounds = Rounds::Fastest);
    void add(const void* bytes, size_t count);
    // The digest of everything added; the object then starts afresh.
    std::array<uint8_t, 32> finish();
    // The digest in lower-case hexadecimal, as sha256sum prints it.
    std::string finishHex();

private:
    void compress(const uint8_t* blocks, size_t count);
    void compressPortably(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> pending_;
    size_t pendingCount_ = 0;
    uint64_t totalBytes_ = 0;
    bool processor_ = false;
};

} // namespace TOVK_Utils
