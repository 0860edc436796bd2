#include "utils/Sha256.h"

#include <gtest/gtest.h>

#include <string>

using TOVK_Utils::Sha256;

namespace {

// The FIPS 180-2 examples, the empty text, and the million "a" given in uneven pieces so
// that pieces straddle the 64-byte blocks; with both kinds of rounds.
class Sha256Test : public ::testing::TestWithParam<Sha256::Rounds> {};

TEST_P(Sha256Test, StandardVectors) {
    struct Case {
        std::string text;
        const char* digest;
    };
    const Case cases[] = {
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const Case& c : cases) {
        Sha256 hash(GetParam());
        hash.add(c.text.data(), c.text.size());
        EXPECT_EQ(hash.finishHex(), c.digest) << c.text;
    }
    const std::string million(1000000, 'a');
    Sha256 hash(GetParam());
    for (size_t at = 0, piece = 1; at < million.size(); at += piece, piece = piece * 3 % 997 + 1)
        hash.add(million.data() + at, std::min(piece, million.size() - at));
    EXPECT_EQ(hash.finishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Finished, it starts afresh.
    EXPECT_EQ(hash.finishHex(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

// Every length around the block and padding edges, in one piece and in two: the
// processor's rounds and the portable ones agree.
TEST(Sha256Rounds, AgreeOnEveryLength) {
    std::string bytes(4200, '\0');
    uint32_t seed = 12345;
    for (char& c : bytes)
        c = char((seed = seed * 1103515245 + 12345) >> 16);
    for (size_t length = 0; length <= bytes.size(); length += length < 300 ? 1 : 97) {
        Sha256 fast, portable(Sha256::Rounds::Portable);
        fast.add(bytes.data(), length / 3);
        fast.add(bytes.data() + length / 3, length - length / 3);
        portable.add(bytes.data(), length);
        ASSERT_EQ(fast.finishHex(), portable.finishHex()) << length;
    }
}

INSTANTIATE_TEST_SUITE_P(Rounds, Sha256Test,
                         ::testing::Values(Sha256::Rounds::Fastest, Sha256::Rounds::Portable));

} // namespace
