#include "utils/Utf8.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace TOVK_Utils;

namespace {

int lengthOf(const char* bytes, int32_t n, uint32_t& value) {
    return utf8SequenceLength(reinterpret_cast<const uint8_t*>(bytes), n, value);
}

} // namespace

TEST(Utf8Test, EachLengthGivesItsCodePoint) {
    struct Row {
        const char* bytes;
        int length;
        uint32_t value;
    };
    for (const Row& row :
         {Row{"A", 1, 0x41}, Row{"\xC3\xA9", 2, 0xE9}, Row{"\xE2\x82\xAC", 3, 0x20AC},
          Row{"\xF0\x9F\x98\x80", 4, 0x1F600}, Row{"\xF4\x8F\xBF\xBF", 4, 0x10FFFF}}) {
        SCOPED_TRACE(row.bytes);
        uint32_t value = 0;
        EXPECT_EQ(lengthOf(row.bytes, int32_t(std::strlen(row.bytes)), value), row.length);
        EXPECT_EQ(value, row.value);
    }
}

TEST(Utf8Test, ASequenceIsReadOnlyWithinTheBytesGiven) {
    // The continuation bytes are in memory but past n: a name cut at n must not borrow them.
    uint32_t value = 0;
    EXPECT_EQ(lengthOf("\xC3\xA9", 1, value), 0);
    EXPECT_EQ(lengthOf("\xF0\x9F\x98\x80", 3, value), 0);
    EXPECT_EQ(lengthOf("\xF0\x9F\x98\x80x", 4, value), 4);
}
