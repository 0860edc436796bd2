#include "utils/Sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define TOVK_SHA256_EXTENSIONS 1
#endif

namespace TOVK_Utils {

namespace {

constexpr std::array<uint32_t, 64> roundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<uint32_t, 8> initialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline uint32_t rotateRight(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

#ifdef TOVK_SHA256_EXTENSIONS

// The processor's own SHA-256 rounds (the SHA extensions of x86) do a block in about a
// fifth of the time of the portable rounds; every saved attachment is hashed when the
// list is written, so this is most of the list's cost.
bool processorHasShaExtensions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    const bool ssse3 = ecx & (1u << 9), sse41 = ecx & (1u << 19);
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    return ssse3 && sse41 && (ebx & (1u << 29));
}

__attribute__((target("sha,sse4.1,ssse3"))) void
compressWithExtensions(std::array<uint32_t, 8>& state, const uint8_t* blocks, size_t count) {
    const __m128i bigEndian = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    // The instructions keep the state as the words ABEF and CDGH.
    __m128i abcd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i efgh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    abcd = _mm_shuffle_epi32(abcd, 0xB1);
    efgh = _mm_shuffle_epi32(efgh, 0x1B);
    __m128i abef = _mm_alignr_epi8(abcd, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, abcd, 0xF0);
    for (; count > 0; --count, blocks += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i words;
            if (group < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)),
                    bigEndian);
            } else {
                words = _mm_sha256msg1_epu32(w[group % 4], w[(group + 1) % 4]);
                words = _mm_add_epi32(words,
                                      _mm_alignr_epi8(w[(group + 3) % 4], w[(group + 2) % 4], 4));
                words = _mm_sha256msg2_epu32(words, w[(group + 3) % 4]);
            }
            w[group % 4] = words;
            __m128i sum = _mm_add_epi32(
                words,
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(&roundConstants[4 * group])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, sum);
            sum = _mm_shuffle_epi32(sum, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, sum);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}

#endif

} // namespace

Sha256::Sha256(Rounds rounds) : state_(initialState) {
#ifdef TOVK_SHA256_EXTENSIONS
    static const bool available = processorHasShaExtensions();
    processor_ = rounds == Rounds::Fastest && available;
#else
    (void)rounds;
#endif
}

void Sha256::compress(const uint8_t* blocks, size_t count) {
#ifdef TOVK_SHA256_EXTENSIONS
    if (processor_) {
        compressWithExtensions(state_, blocks, count);
        return;
    }
#endif
    for (; count > 0; --count, blocks += 64)
        compressPortably(blocks);
}

void Sha256::compressPortably(const uint8_t* block) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 |
               uint32_t(block[4 * i + 2]) << 8 | uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 =
            rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 =
            rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    for (int i = 0; i < 64; ++i) {
        const uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
        const uint32_t choice = (e & f) ^ (~e & g);
        const uint32_t t1 = h + s1 + choice + roundConstants[size_t(i)] + w[i];
        const uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
        const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const uint32_t t2 = s0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    state_[5] += f;
    state_[6] += g;
    state_[7] += h;
}

void Sha256::add(const void* bytes, size_t count) {
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    totalBytes_ += count;
    if (pendingCount_ > 0) {
        const size_t taken = std::min(count, pending_.size() - pendingCount_);
        std::memcpy(pending_.data() + pendingCount_, in, taken);
        pendingCount_ += taken;
        in += taken;
        count -= taken;
        if (pendingCount_ < pending_.size())
            return;
        compress(pending_.data(), 1);
        pendingCount_ = 0;
    }
    compress(in, count / 64);
    in += count / 64 * 64;
    count %= 64;
    std::memcpy(pending_.data(), in, count);
    pendingCount_ = count;
}

std::array<uint8_t, 32> Sha256::finish() {
    const uint64_t bits = totalBytes_ * 8;
    const uint8_t one = 0x80;
    add(&one, 1);
    const uint8_t zero = 0;
    while (pendingCount_ != 56)
        add(&zero, 1);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = uint8_t(bits >> (56 - 8 * i));
    add(length, 8);
    std::array<uint8_t, 32> digest;
    for (size_t i = 0; i < 8; ++i)
        for (size_t j = 0; j < 4; ++j)
            digest[4 * i + j] = uint8_t(state_[i] >> (24 - 8 * j));
    state_ = initialState;
    pendingCount_ = 0;
    totalBytes_ = 0;
    return digest;
}

std::string Sha256::finishHex() {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : finish()) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 15]);
    }
    return hex;
}

} // namespace TOVK_Utils
