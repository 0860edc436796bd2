// Fatal stops end the process, so they are checked in child processes; the Windows build
// would show a system box instead, which is why these run natively only.
#include "utils/Fatal.h"
#include "utils/LightBlock.h"
#include "utils/StoreVirtual.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

using namespace TOVK_Utils;

namespace {

// Limits the child's address space to what it uses now plus some room; the sanitizer
// runtime needs terabytes of shadow mappings, so those builds skip such cases.
void limitAddressSpace(size_t room) {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + room;
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_AS, &rl);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSanitizer = true;
#else
constexpr bool addressSanitizer = false;
#endif

constexpr size_t MiB = 1024 * 1024;

} // namespace

TEST(FatalStopDeathTest, StopsShowTheTextAndEndWithAFailureStatus) {
    EXPECT_EXIT(fatalError("Null pointer"), testing::ExitedWithCode(3), "Null pointer");
    EXPECT_EXIT(fatalLastError(), testing::ExitedWithCode(3), "Fatal Error");
    EXPECT_DEATH(Block().data(), "Block::ptr is null");
    char bytes[] = "abc";
    EXPECT_DEATH(LightBlock(bytes, 3).append("d", 1), "Fatal Error"); // a view cannot grow
    EXPECT_DEATH(LightBlock().allocate(4), "Fatal Error");
}

TEST(FatalStopDeathTest, OverflowingSizesStopInsteadOfAllocatingLittle) {
    Block wide, doubling, ten;
    wide.setWide(true);
    doubling.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
    ten.setSize(10);
    EXPECT_DEATH(wide.setSize(0x40000000), "Block size out of range"); // 2^31 bytes
    EXPECT_DEATH(String().setSize(INT32_MAX), "Block size out of range");
    EXPECT_DEATH(ten.grow(INT32_MAX - 5), "Block size out of range");
    EXPECT_DEATH(Block().setSize(-1), "Block size out of range");
    // Doubling only saves reallocations: a valid size near the limit gets exactly what
    // it asks for instead of a stop (the storage is reserved, not touched).
    EXPECT_EXIT(
        {
            doubling.resize(0x40000000);
            std::exit(doubling.capacity() == 0x40000000 && doubling.length() == 0x40000000 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(FatalStopDeathTest, RefusedHeapAllocationStopsAtOnce) {
    if (addressSanitizer)
        GTEST_SKIP() << "the sanitizer's allocator reports the failure itself";
    EXPECT_DEATH(
        {
            limitAddressSpace(256 * MiB);
            Block b;
            b.setSize(1024 * MiB);
        },
        "Block::ptr is null");
}

TEST(FatalStopDeathTest, AddressSpaceExhaustion) {
    if (addressSanitizer)
        GTEST_SKIP() << "the sanitizer runtime cannot live under an address-space limit";
    EXPECT_DEATH(
        {
            limitAddressSpace(256 * MiB);
            StoreVirtual<Block>().reserveAddressSpace(1024 * MiB, Block::Growth::Exact);
        },
        "Out of virtual address space.");
    // Twice the size is refused but the exact size fits: a warning, and the content moves.
    EXPECT_EXIT(
        {
            StoreVirtual<Block> store;
            store.assign("kept", 4);
            limitAddressSpace(300 * MiB);
            store.resize(200 * MiB);
            store.data()[200 * MiB - 1] = 1;
            _exit(store.reservedBytes() == 200 * MiB && store.data()[0] == 'k' ? 0 : 1);
        },
        testing::ExitedWithCode(0), "Virtual address space is running low.");
}
