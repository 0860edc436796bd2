// Sizes that do not fit the storage's 32-bit byte counts must stop the process instead of
// wrapping into a small allocation. Death tests run here only: on Windows a fatal stop
// shows a modal box.
#include "utils/Array.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

using TOVK_Utils::Array;
using TOVK_Utils::String;

TEST(ArrayLimitDeathTest, OversizedCountsStopTheProcess) {
    EXPECT_DEATH(
        {
            Array<String> a;
            a.reserve(INT32_MAX / 4);
        },
        "Array size out of range");
    // Doubling a count that fits would overflow.
    EXPECT_DEATH(
        {
            Array<uint8_t> a;
            a.setLength(0x40000001);
        },
        "Array size out of range");
    EXPECT_DEATH(
        {
            Array<uint8_t> a;
            a.at(INT32_MAX);
        },
        "Array size out of range");
    EXPECT_DEATH(
        {
            Array<uint32_t> a;
            a.reserve(-1);
        },
        "Array size out of range");
}
