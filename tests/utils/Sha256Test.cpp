#include "utils/Sha256.h"

#include <gtest/gtest.h>

#include <string>

using TOVK_Utils::Sha256;

namespace {

// The FIPS 180-2 examples, the empty text, and the million "a" given in uneven pieces so
// that pieces straddle the 64-byte blocks.
TEST(Sha256Test, StandardVectors) {
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
        Sha256 hash;
        hash.add(c.text.data(), c.text.size());
        EXPECT_EQ(hash.finishHex(), c.digest) << c.text;
    }
    const std::string million(1000000, 'a');
    Sha256 hash;
    for (size_t at = 0, piece = 1; at < million.size(); at += piece, piece = piece * 3 % 997 + 1)
        hash.add(million.data() + at, std::min(piece, million.size() - at));
    EXPECT_EQ(hash.finishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Finished, it starts afresh.
    EXPECT_EQ(hash.finishHex(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

} // namespace
