#include "formats/DbxCarver.h"
#include "DbxTestUtil.h"
#include "formats/DbxMailbox.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

using namespace TOVK_Internet;
using namespace DbxTest;
using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {

std::vector<DbxCarver::Chain> carveBytes(const std::vector<uint8_t>& bytes,
                                         uint32_t chunk = DbxCarver::chunkBytes) {
    return DbxCarver::carve(
        [&](uint64_t offset, uint8_t* buffer, uint32_t count) -> uint32_t {
            if (offset >= bytes.size())
                return 0;
            const uint32_t n = uint32_t(std::min<uint64_t>(count, bytes.size() - offset));
            std::memcpy(buffer, bytes.data() + offset, n);
            return n;
        },
        bytes.size(), chunk);
}

class Carving : public DbxTest::MailboxTest {
protected:
    // Opens the saved mailbox, scans it (true when the index read whole) and carves it.
    bool scanAndCarve(DbxMailbox& box) {
        EXPECT_TRUE(open(box));
        const bool indexRead = box.scan();
        EXPECT_TRUE(box.carve());
        return indexRead;
    }
    // Every listed message's text, and whether it read whole.
    std::map<uint32_t, std::pair<std::string, bool>> readAll(DbxMailbox& box) {
        std::map<uint32_t, std::pair<std::string, bool>> texts;
        for (uint32_t offset : box.messageOffsets) {
            bool whole = false;
            std::string text = read(box, offset, &whole);
            texts[offset] = {std::move(text), whole};
        }
        return texts;
    }
    std::vector<uint32_t> sortedFirstBlocks(const DbxWriter& writer) {
        auto firsts = writer.firstBlocks();
        std::sort(firsts.begin(), firsts.end());
        return firsts;
    }
};

} // namespace

// Blocks anywhere, also across the seams between the chunks the scan reads, are found,
// their chains followed whatever their file order, and only they: the bodies' text and
// the unused bytes between structures make no block.
TEST_F(Carving, FindsEveryChainWhereverItsBlocksLie) {
    DbxOptions options;
    options.blockCapacity = 100;
    options.shuffleBlocks = true;
    options.gaps = true;
    DbxWriter writer(options);
    for (int i = 0; i < 900; ++i)
        writer.addMessage(message(i, size_t(i % 23) * 997));
    writer.setRandomIndex();
    const auto bytes = writer.build();
    ASSERT_GT(bytes.size(), 2 * size_t(DbxCarver::chunkBytes));
    // Small chunks put a seam at every few blocks, so that headers lie across seams at
    // every distance from them.
    for (uint32_t chunk : {DbxCarver::chunkBytes, 16u, 61u, 4096u})
        ASSERT_EQ(carveBytes(bytes, chunk).size(), writer.messages().size()) << chunk;
    const auto chains = carveBytes(bytes);
    std::vector<uint32_t> firsts;
    for (const auto& chain : chains) {
        firsts.push_back(chain.first);
        EXPECT_TRUE(chain.complete) << chain.first;
    }
    EXPECT_EQ(firsts, sortedFirstBlocks(writer));
    for (size_t m = 0; m < writer.messages().size(); ++m) {
        const auto found = std::lower_bound(firsts.begin(), firsts.end(), writer.firstBlocks()[m]);
        ASSERT_NE(found, firsts.end());
        EXPECT_EQ(chains[size_t(found - firsts.begin())].blocks, writer.chains()[m].size());
    }
}

TEST_F(Carving, ImplausibleHeadersAreNoBlocks) {
    DbxWriter writer;
    writer.addMessage(message(0, 100));
    writer.addMessage(message(1, 100));
    auto bytes = writer.build();
    const uint32_t second = writer.firstBlocks()[1];
    auto expectOnlyFirst = [&](const char* what) {
        const auto chains = carveBytes(writer.bytes());
        ASSERT_EQ(chains.size(), 1u) << what;
        EXPECT_EQ(chains[0].first, writer.firstBlocks()[0]) << what;
        writer.setWord(second + 4, 512);
        writer.setWord(second + 8, 100);
        writer.setWord(second + 12, 0);
    };
    writer.setWord(second + 4, 0);
    writer.setWord(second + 8, 0);
    expectOnlyFirst("no capacity");
    writer.setWord(second + 8, 513);
    expectOnlyFirst("length beyond capacity");
    writer.setWord(second + 4, uint32_t(bytes.size()));
    expectOnlyFirst("capacity beyond the file");
    writer.setWord(second + 12, 16);
    expectOnlyFirst("link into the file header");
    writer.setWord(second + 12, uint32_t(bytes.size()) - 8);
    expectOnlyFirst("link past the end");
    // A block inside the file header is none either.
    std::vector<uint8_t> header(DbxWriter::headerSize + 600, 0);
    for (uint32_t at : {0x100u, 0x200u}) {
        header[at] = uint8_t(at);
        header[at + 1] = uint8_t(at >> 8);
        header[at + 4] = 1;
    }
    EXPECT_TRUE(carveBytes(header).empty());
}

// A block names its own offset in its first word: a header found anywhere else (a copy, or
// bytes that only look like one) is no block there, however plausible the rest of it.
TEST_F(Carving, AHeaderNotNamingItsOwnOffsetIsNoBlock) {
    DbxWriter writer;
    writer.addMessage(message(0, 100));
    writer.addMessage(message(1, 100));
    writer.build();
    const uint32_t second = writer.firstBlocks()[1];
    const uint64_t size = writer.bytes().size();
    ASSERT_TRUE(DbxCarver::plausibleBlock(writer.bytes().data() + second, second, size));
    for (uint32_t wrong : {second + 1, second - 1, second + 512, 0u}) {
        writer.setWord(second, wrong);
        EXPECT_FALSE(DbxCarver::plausibleBlock(writer.bytes().data() + second, second, size))
            << wrong;
        const auto chains = carveBytes(writer.bytes());
        ASSERT_EQ(chains.size(), 1u) << wrong;
        EXPECT_EQ(chains[0].first, writer.firstBlocks()[0]) << wrong;
    }
}

TEST_F(Carving, BadRootGivesEveryMessage) {
    DbxWriter writer(smallBlocks(BlockOrder::Shuffled));
    for (int i = 0; i < 30; ++i)
        writer.addMessage(message(i, size_t(i) * 40));
    writer.build();
    for (uint32_t root : {uint32_t(writer.fileSize()) + 100, 0x80000000u, 0xFFFFFFF0u}) {
        writer.setWord(DbxMailbox::rootOffsetPosition, root);
        ASSERT_TRUE(writer.save(path));
        DbxMailbox box;
        EXPECT_FALSE(scanAndCarve(box));
        EXPECT_EQ(box.indexedMessages(), 0u);
        EXPECT_EQ(box.messageOffsets, sortedFirstBlocks(writer));
        const auto texts = readAll(box);
        for (size_t m = 0; m < writer.messages().size(); ++m)
            EXPECT_EQ(texts.at(writer.firstBlocks()[m]),
                      std::make_pair(writer.messages()[m], true));
    }
}

TEST_F(Carving, OverwrittenIndexNodeGivesEveryMessage) {
    DbxWriter writer;
    for (int i = 0; i < 300; ++i) // three nodes of up to 127 entries
        writer.addMessage(message(i, 50 + size_t(i) * 3));
    writer.build();
    ASSERT_EQ(writer.indexNodes().size(), 3u);
    const uint32_t node = writer.indexNodes()[1];
    for (uint32_t i = 0; i < 24 + 12 * 10; i += 4)
        writer.setWord(node + i, 0xA5A5A5A5u);
    ASSERT_TRUE(writer.save(path));
    DbxMailbox box;
    EXPECT_FALSE(scanAndCarve(box));
    EXPECT_EQ(box.messageOffsets, sortedFirstBlocks(writer));
    EXPECT_EQ(box.indexedMessages(), 0u);
    String replacement("x");
    EXPECT_FALSE(writeNow(box, box.messageOffsets[0], replacement)); // rescue never writes
}

// A block overwritten in the middle of a chain: its message gives the text before it
// and breaks off; the blocks behind it form a chain nobody links to, which is carved as
// a message of its own. The other messages are whole.
TEST_F(Carving, ChainCutInTheMiddle) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    for (int i = 0; i < 5; ++i)
        writer.addMessage(message(i, 600));
    writer.build();
    const auto chain = writer.chains()[2];
    ASSERT_GE(chain.size(), 6u);
    for (uint32_t i = 0; i < 16 + 64; i += 4)
        writer.setWord(chain[3] + i, 0x20202020u);
    writer.setWord(DbxMailbox::rootOffsetPosition, uint32_t(writer.fileSize())); // no index either
    ASSERT_TRUE(writer.save(path));
    DbxMailbox box;
    EXPECT_FALSE(scanAndCarve(box));
    auto expected = sortedFirstBlocks(writer);
    expected.push_back(chain[4]);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(box.messageOffsets, expected);
    const auto texts = readAll(box);
    for (int m : {0, 1, 3, 4})
        EXPECT_EQ(texts.at(writer.firstBlocks()[size_t(m)]),
                  std::make_pair(writer.messages()[size_t(m)], true));
    EXPECT_EQ(texts.at(chain[0]), std::make_pair(writer.messages()[2].substr(0, 3 * 64), false));
    EXPECT_EQ(texts.at(chain[4]), std::make_pair(writer.messages()[2].substr(4 * 64), true));

    const auto chains = carveBytes(writer.bytes());
    const auto broken = std::find_if(chains.begin(), chains.end(),
                                     [&](const auto& c) { return c.first == chain[0]; });
    ASSERT_NE(broken, chains.end());
    EXPECT_FALSE(broken->complete);
    EXPECT_EQ(broken->blocks, 3u);
}

// Deleted messages leave their chains in the file. With the index readable they follow
// the messages it names, which keep their index order, and count as not in the index;
// with the index gone nothing tells them apart from the others.
TEST_F(Carving, DeletedMessagesBlocksRemain) {
    DbxWriter writer;
    for (int i = 0; i < 8; ++i)
        writer.addMessage(message(i, 700));
    auto root = std::make_unique<IndexNode>();
    for (int m : {6, 1, 4, 3}) {
        IndexNode::Entry entry;
        entry.message = m;
        root->entries.push_back(std::move(entry));
    }
    writer.setIndex(std::move(root));
    writer.build();
    ASSERT_TRUE(writer.save(path));
    const auto& f = writer.firstBlocks();
    {
        DbxMailbox box;
        EXPECT_TRUE(scanAndCarve(box));
        EXPECT_TRUE(box.wasCarved());
        EXPECT_EQ(box.indexedMessages(), 4u);
        EXPECT_EQ(box.messageOffsets,
                  (std::vector<uint32_t>{f[6], f[1], f[4], f[3], f[0], f[2], f[5], f[7]}));
        const auto texts = readAll(box);
        for (size_t m = 0; m < 8; ++m)
            EXPECT_EQ(texts.at(f[m]).first, writer.messages()[m]);
    }
    writer.setWord(DbxMailbox::rootOffsetPosition, uint32_t(writer.fileSize()));
    ASSERT_TRUE(writer.save(path));
    DbxMailbox box;
    EXPECT_FALSE(scanAndCarve(box));
    EXPECT_EQ(box.messageOffsets, sortedFirstBlocks(writer));
}

// A message cut earlier ends its chain sooner; the blocks it no longer uses still link
// on, and carving finds them as a chain the index does not name.
TEST_F(Carving, TailOfACutMessageIsNotInTheIndex) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    for (int i = 0; i < 3; ++i)
        writer.addMessage(message(i, 500));
    ASSERT_TRUE(writer.writeFile(path));
    const auto chain = writer.chains()[1];
    {
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        String shorter("Subject: cut\r\n\r\nshort");
        ASSERT_TRUE(writeNow(box, writer.firstBlocks()[1], shorter));
    }
    DbxMailbox box;
    EXPECT_TRUE(scanAndCarve(box));
    EXPECT_EQ(box.indexedMessages(), 3u);
    ASSERT_EQ(box.messageOffsets.size(), 4u);
    EXPECT_EQ(box.messageOffsets[3], chain[1]);
    Block text;
    EXPECT_EQ(box.readMessage(chain[1], text), DbxMailbox::Read::Complete);
    EXPECT_EQ(str(text), writer.messages()[1].substr(64));
}

// The carve reads nothing outside the file and ends whatever the file holds: blocks
// that link in a loop, to each other, or into the middle of another chain.
TEST_F(Carving, LoopsAndSharedBlocksEndTheWalk) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    for (int i = 0; i < 4; ++i)
        writer.addMessage(message(i, 300));
    writer.build();
    const auto& c = writer.chains();
    writer.setWord(c[0].back() + 12, c[0][1]);     // the first chain loops back into itself
    writer.setWord(c[2].back() + 12, c[3][2]);     // the third runs into the fourth's middle
    writer.setWord(c[1].back() + 12, c[1].back()); // the second's last block links to itself
    const auto chains = carveBytes(writer.bytes());
    ASSERT_EQ(chains.size(), 4u);
    std::map<uint32_t, DbxCarver::Chain> byFirst;
    for (const auto& chain : chains)
        byFirst[chain.first] = chain;
    EXPECT_FALSE(byFirst.at(c[0][0]).complete);
    EXPECT_EQ(byFirst.at(c[0][0]).blocks, c[0].size());
    EXPECT_FALSE(byFirst.at(c[1][0]).complete);
    EXPECT_EQ(byFirst.at(c[1][0]).blocks, c[1].size());
    // The chains that meet share the blocks behind the meeting point: one of them walks
    // on, the other breaks off there, and both are listed.
    const auto& third = byFirst.at(c[2][0]);
    const auto& fourth = byFirst.at(c[3][0]);
    EXPECT_TRUE(third.complete != fourth.complete);
}
