// The chain map alone, over block headers laid into a buffer by hand: which chains may be
// written, and exactly which bytes of them.
#include "formats/ChainMap.h"
#include "formats/DbxBlockHeader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

using TOVK_Internet::ChainMap;
using TOVK_Internet::DbxBlockHeader;

namespace {

// A file holding the block headers laid into it.
struct Layout : ChainMap::HeaderReader {
    std::vector<uint8_t> file = std::vector<uint8_t>(4096, 0);

    void block(uint32_t at, uint32_t capacity, uint32_t length, uint32_t next) {
        DbxBlockHeader{at, capacity, length, next}.encode(file.data() + at);
    }
    bool readHeader(uint32_t offset, uint8_t* header) override {
        if (uint64_t(offset) + DbxBlockHeader::size > file.size())
            return false;
        std::memcpy(header, file.data() + offset, DbxBlockHeader::size);
        return true;
    }
};

// Three messages of 64-byte blocks behind a 256-byte header: A at 256 -> 336 -> 416,
// B at 496 -> 576, C at 656; the index node lies at 1024.
Layout threeChains() {
    Layout l;
    l.block(256, 64, 64, 336);
    l.block(336, 64, 64, 416);
    l.block(416, 64, 10, 0);
    l.block(496, 64, 64, 576);
    l.block(576, 64, 5, 0);
    l.block(656, 64, 20, 0);
    return l;
}
const std::vector<uint32_t> firsts = {256, 496, 656};

ChainMap mapOf(Layout layout, const std::vector<uint32_t>& heads = firsts) {
    ChainMap map;
    map.noteIndex(0, 256);
    map.noteIndex(1024, 1024 + 36);
    EXPECT_TRUE(map.mapChains(heads, layout.file.size(), layout));
    return map;
}

struct Damage {
    const char* what;
    std::function<void(Layout&)> apply;
    std::vector<bool> sound; // A, B, C
};

const Damage damages[] = {
    {"none", [](Layout&) {}, {true, true, true}},
    {"a capacity reaching into the next chain's block",
     [](Layout& l) { l.block(416, 100, 10, 0); },
     {false, false, true}},
    {"a link into another chain",
     [](Layout& l) { l.block(576, 64, 64, 336); },
     {false, false, true}},
    {"a link to something that is no block",
     [](Layout& l) { l.block(576, 64, 64, 800); },
     {true, false, true}},
    {"a length beyond the capacity",
     [](Layout& l) { l.block(336, 64, 65, 416); },
     {false, true, true}},
    {"a loop back to the chain's start",
     [](Layout& l) { l.block(416, 64, 64, 256); },
     {false, true, true}},
    {"a block whose body runs past the file's end",
     [](Layout& l) { l.block(656, 8000, 20, 0); },
     {true, true, false}},
    {"a block reaching into the index node",
     [](Layout& l) {
         l.block(576, 64, 64, 1000);
         l.block(1000, 64, 5, 0);
     },
     {true, false, true}},
};

} // namespace

TEST(ChainMap, DamageMakesTheChainsInvolvedUnwritableAndNoOther) {
    for (const Damage& d : damages) {
        Layout layout = threeChains();
        d.apply(layout);
        const ChainMap map = mapOf(layout);
        for (size_t c = 0; c < firsts.size(); ++c)
            EXPECT_EQ(map.soundChain(firsts[c]) != ChainMap::noChain, d.sound[c])
                << d.what << ", chain " << c;
    }
    // The header's own bytes, noted as the index's: a chain named there is not written.
    Layout layout = threeChains();
    layout.block(128, 64, 10, 0);
    EXPECT_EQ(mapOf(layout, {256, 128}).soundChain(128), ChainMap::noChain);
}

TEST(ChainMap, OnlyTheChainsOwnBlocksMayBeWrittenAndNoFurther) {
    const ChainMap map = mapOf(threeChains());
    const uint32_t a = map.soundChain(256);
    const uint32_t b = map.soundChain(496);
    ASSERT_NE(a, ChainMap::noChain);
    ASSERT_NE(b, ChainMap::noChain);
    EXPECT_EQ(map.blocksOf(a), 3u);
    EXPECT_EQ(map.blocksOf(b), 2u);
    struct Span {
        uint32_t chain, offset, length;
        bool allowed;
        const char* what;
    };
    const Span spans[] = {
        {a, 256, 16 + 64, true, "a whole block"},
        {a, 416, 16, true, "a header alone"},
        {a, 416, 16 + 65, false, "one byte past the block"},
        {a, 272, 10, false, "not from the block's start"},
        {a, 496, 16, false, "another chain's block"},
        {b, 576, 16 + 64, true, "the other chain's own block"},
        {a, 1024, 4, false, "the index"},
    };
    for (const Span& s : spans)
        EXPECT_EQ(map.mayWrite(s.chain, s.offset, s.length), s.allowed) << s.what;
    EXPECT_TRUE(map.isBlockOf(a, 336, 64));
    EXPECT_FALSE(map.isBlockOf(a, 336, 63)) << "a capacity other than the mapped one";
    EXPECT_FALSE(map.isBlockOf(b, 336, 64));
}

TEST(ChainMap, TwoRecordsNamingOneChainAreOneMessage) {
    const ChainMap map = mapOf(threeChains(), {256, 496, 256, 656});
    EXPECT_NE(map.soundChain(256), ChainMap::noChain);
    EXPECT_EQ(map.blocksOf(map.soundChain(256)), 3u);
}

TEST(ChainMap, NothingIsWritableUnmappedClearedOrTangled) {
    ChainMap map;
    EXPECT_EQ(map.soundChain(256), ChainMap::noChain) << "before mapping";
    map = mapOf(threeChains());
    map.clear();
    EXPECT_FALSE(map.isMapped());
    EXPECT_EQ(map.soundChain(256), ChainMap::noChain) << "cleared";

    // Sixty blocks of one long chain, each also named as a message of its own: walking
    // them all would take far more steps than the file has blocks.
    Layout tangled;
    std::vector<uint32_t> heads;
    for (uint32_t i = 0; i < 60; ++i) {
        const uint32_t at = 256 + 16 * i;
        tangled.block(at, 0, 0, i + 1 < 60 ? at + 16 : 0);
        heads.push_back(at);
    }
    tangled.file.resize(256 + 16 * 60);
    ChainMap refused;
    EXPECT_FALSE(refused.mapChains(heads, tangled.file.size(), tangled));
    EXPECT_FALSE(refused.isMapped());
    EXPECT_EQ(refused.soundChain(256), ChainMap::noChain);
}
