#include "utils/StoreVirtual.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace TOVK_Utils;

namespace {

const int32_t page = static_cast<int32_t>(StoreVirtual<Block>::pageSize());

// 8 pages of address space, the first 5 committed and filled with a pattern.
void prepare(StoreVirtual<Block>& store) {
    store.reserveAddressSpace(8 * page, Block::Growth::Exact);
    store.resize(5 * page);
    for (int32_t i = 0; i < 5 * page; ++i)
        store.data()[i] = static_cast<uint8_t>(i % 251);
}

bool holdsPattern(const Block& b, int32_t bytes) {
    for (int32_t i = 0; i < bytes; ++i) {
        if (b.rawPointer()[i] != static_cast<uint8_t>(i % 251))
            return false;
    }
    return true;
}

} // namespace

TEST(StoreVirtualTest, ShrinkDecommitsOnlyWholeFreedPages) {
    struct Case {
        int32_t bytes;
        int32_t committedPages;
    };
    for (Case c : {Case{1, 1}, Case{4 * page, 4}, Case{4 * page + 1, 5}}) {
        StoreVirtual<Block> store;
        prepare(store);
        uint8_t* base = store.data();
        store.storageRealloc(c.bytes);
        EXPECT_EQ(store.committedBytes(), size_t(c.committedPages) * page) << c.bytes;
        EXPECT_EQ(store.rawPointer(), base);
        EXPECT_EQ(store.reservedBytes(), size_t(8 * page));
        EXPECT_TRUE(holdsPattern(store, c.bytes)) << c.bytes;
    }
}

TEST(StoreVirtualTest, GrowthCommitsInPlaceThenMovesToTwiceTheSize) {
    StoreVirtual<Block> store;
    prepare(store);
    const uint8_t* base = store.rawPointer();
    store.resize(8 * page);
    EXPECT_EQ(store.rawPointer(), base);
    EXPECT_EQ(store.committedBytes(), size_t(8 * page));
    store.data()[8 * page - 1] = 7;

    store.resize(8 * page + 1);
    EXPECT_EQ(store.reservedBytes(), size_t(17 * page)); // pages(2 x (8 pages + 1))
    EXPECT_EQ(store.committedBytes(), size_t(9 * page));
    EXPECT_TRUE(holdsPattern(store, 5 * page));
    EXPECT_EQ(store.data()[8 * page - 1], 7);
}

TEST(StoreVirtualTest, ReleaseDecommitsButKeepsTheReservation) {
    StoreVirtual<Block> store;
    prepare(store);
    const uint8_t* base = store.rawPointer();
    store.release();
    EXPECT_EQ(store.committedBytes(), 0u);
    EXPECT_EQ(store.reservedBytes(), size_t(8 * page));
    store.setSize(2 * page);
    EXPECT_EQ(store.rawPointer(), base);
    EXPECT_EQ(store.data()[0], 0); // decommitted pages come back zeroed
}

TEST(StoreVirtualTest, ReservationSizes) {
    StoreVirtual<Block> store; // none yet: the first allocation reserves twice its size
    store.setSize(page + 10);
    EXPECT_EQ(store.reservedBytes(), size_t(3 * page));
    EXPECT_EQ(store.committedBytes(), size_t(2 * page));

    StoreVirtual<Block> doubling;
    doubling.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
    doubling.allocateNarrow(3 * page);
    EXPECT_EQ(doubling.reservedBytes(), size_t(6 * page));
}

TEST(StoreVirtualTest, ContentMovesInAndOutByTakeFrom) {
    String text("message text");
    StoreVirtual<Block> store;
    store.takeFrom(text); // copied into the pages
    EXPECT_EQ(store.length(), 12);
    EXPECT_EQ(text.length(), 0);

    Block taken;
    taken.takeFrom(store);
    EXPECT_EQ(store.byteSize(), 0);
    taken.resize(100); // the pages are not the block's own: growth copies them out
    EXPECT_EQ(std::memcmp(taken.rawPointer(), "message text", 12), 0);

    store.assign("again", 5); // the store still works on its own reservation
    EXPECT_EQ(std::memcmp(store.rawPointer(), "again", 5), 0);
}
