#include "formats/DbxMailbox.h"
#include "DbxTestUtil.h"
#include "formats/MessageCut.h"
#include "formats/MimePart.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace TOVK_Internet;
using namespace DbxTest;
using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {

class DbxFile : public DbxTest::MailboxTest {
protected:
    void patch32(uint32_t offset, uint32_t value) {
        auto data = bytes();
        for (int i = 0; i < 4; ++i)
            data.at(offset + i) = uint8_t(value >> (8 * i));
        save(data);
    }
};

} // namespace

TEST_F(DbxFile, RecognisesMailboxesOnly) {
    DbxWriter writer;
    writer.writeFile(path);
    {
        DbxMailbox box;
        EXPECT_TRUE(openAndScan(box));
        EXPECT_TRUE(box.messageOffsets.empty()); // root offset 0: no messages
    }
    patch32(4, 0x6F74FDC6);
    {
        DbxMailbox box;
        EXPECT_FALSE(open(box));
    }
    save({0xCF, 0xAD, 0x12, 0xFE});
    {
        DbxMailbox box;
        EXPECT_FALSE(open(box));
    }
    DbxMailbox box;
    const std::string missingPath = (dir / "missing.dbx").string();
    String missing(missingPath.c_str());
    EXPECT_EQ(box.open(missing), DbxMailbox::Open::NotAMailbox);
}

TEST_F(DbxFile, EveryMessageReadsBackInIndexOrder) {
    for (bool indirect : {false, true}) {
        for (int32_t capacity : {512, 100, 7}) {
            DbxOptions options;
            options.indirect = indirect;
            options.blockCapacity = capacity;
            options.shuffleBlocks = true;
            options.gaps = true;
            options.seed = uint32_t(capacity);
            DbxWriter writer(options);
            for (int i = 0; i < 300; ++i)
                writer.addMessage(message(i, size_t(i % 7) * 333));
            writer.setRandomIndex();
            ASSERT_TRUE(writer.writeFile(path));
            DbxMailbox box;
            ASSERT_TRUE(openAndScan(box));
            ASSERT_EQ(box.messageOffsets, writer.scanOrder());
            for (size_t m = 0; m < writer.messages().size(); ++m) {
                bool ok = false;
                EXPECT_EQ(read(box, writer.firstBlocks()[m], &ok), writer.messages()[m]);
                EXPECT_TRUE(ok);
            }
        }
    }
}

// A mailbox that grew by appending keeps its index and chains far into the file: every
// offset at or above 2^31 (up to the last 4 GiB) must read, and take a write, like any
// other. The file is sparse, so it costs little disk.
TEST_F(DbxFile, OffsetsBeyondTwoGiBAreUnsigned) {
    for (uint32_t far : {0x80000000u, 0xFFF00000u}) {
        DbxOptions options;
        options.farStart = far;
        options.blockCapacity = 100;
        options.shuffleBlocks = true;
        DbxWriter writer(options);
        for (int i = 0; i < 40; ++i)
            writer.addMessage(message(i, size_t(i % 5) * 150));
        writer.setRandomIndex();
        ASSERT_TRUE(writer.writeFile(path));
        ASSERT_EQ(std::filesystem::file_size(path), writer.fileSize());
        ASSERT_GE(writer.indexNodes().front(), far);
        {
            DbxMailbox box;
            ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
            ASSERT_EQ(box.messageOffsets, writer.scanOrder());
            for (size_t m = 0; m < writer.messages().size(); ++m) {
                bool ok = false;
                EXPECT_EQ(read(box, writer.firstBlocks()[m], &ok), writer.messages()[m]);
                EXPECT_TRUE(ok);
            }
            const std::string shorter = message(99, 120);
            String text(shorter.c_str());
            ASSERT_TRUE(writeNow(box, writer.firstBlocks()[3], text));
            EXPECT_EQ(read(box, writer.firstBlocks()[3]), shorter);
        }
        {
            DbxMailbox box;
            ASSERT_TRUE(openAndScan(box));
            EXPECT_EQ(read(box, writer.firstBlocks()[3]), message(99, 120));
            EXPECT_EQ(read(box, writer.firstBlocks()[4]), writer.messages()[4]);
        } // closed first: Windows removes no open file
        std::filesystem::remove(path);
    }
}

TEST_F(DbxFile, IndexTreeShapes) {
    // Entry children come right after their entry, the node's own child last; a node of
    // count 0 contributes only its child; a record without attribute 4 adds nothing.
    DbxWriter writer;
    for (int i = 0; i < 6; ++i)
        writer.addMessage(message(i, 10));
    auto root = std::make_unique<IndexNode>();
    root->entries.resize(3);
    root->entries[0].message = 3;
    root->entries[0].child = std::make_unique<IndexNode>();
    root->entries[0].child->entries.resize(1);
    root->entries[0].child->entries[0].message = 5;
    root->entries[1].message = -1;
    root->entries[2].message = 0;
    root->child = std::make_unique<IndexNode>(); // count 0, with a child
    root->child->child = std::make_unique<IndexNode>();
    root->child->child->entries.resize(2);
    root->child->child->entries[0].message = 1;
    root->child->child->entries[1].message = 2;
    writer.setIndex(std::move(root));
    ASSERT_TRUE(writer.writeFile(path));
    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box));
    const auto& f = writer.firstBlocks();
    EXPECT_EQ(box.messageOffsets, (std::vector<uint32_t>{f[3], f[5], f[0], f[1], f[2]}));
}

TEST_F(DbxFile, DamagedIndexIsRefused) {
    DbxWriter writer;
    for (int i = 0; i < 3; ++i)
        writer.addMessage(message(i, 10));
    ASSERT_TRUE(writer.writeFile(path));
    const auto good = bytes();
    const uint32_t root = get32(good, 0xE4);

    auto expectCorrupt = [&](const char* what) {
        DbxMailbox box;
        ASSERT_TRUE(open(box)) << what;
        EXPECT_FALSE(box.scan()) << what;
        save(good);
    };
    patch32(0xE4, uint32_t(good.size()) + 100);
    expectCorrupt("root beyond the end");
    patch32(root + 8, root);
    expectCorrupt("node is its own child");
    patch32(root + 24 + 4, root);
    expectCorrupt("entry child loops to the root");
    {
        auto data = good;
        data[root + 17] = 200;
        save(data);
        expectCorrupt("count of 128 or more");
    }
    patch32(0xE4, 0x80000010u);
    expectCorrupt("root above 2 GiB, beyond the end");
    patch32(0xE4, 0xFFFFFFF0u);
    expectCorrupt("root at the last offset there is");
    {
        auto data = good;
        data.resize(root + 30);
        save(data);
        expectCorrupt("file ends inside the entries");
    }
}

TEST_F(DbxFile, EmptyNodeThatIsItsOwnChildEndsTheScan) {
    DbxWriter writer; // no messages: the root is a node without entries
    ASSERT_TRUE(writer.writeFile(path));
    const auto good = bytes();
    const uint32_t root = get32(good, 0xE4);
    ASSERT_EQ(good.at(root + 17), 0);
    patch32(root + 8, root);
    for (auto access : {DbxMailbox::Access::Read, DbxMailbox::Access::ReadWrite}) {
        DbxMailbox box;
        ASSERT_TRUE(open(box, access));
        EXPECT_FALSE(box.scan());
        EXPECT_TRUE(box.messageOffsets.empty());
    }
}

TEST_F(DbxFile, DamagedChainsAreNotRead) {
    DbxWriter writer(smallBlocks(BlockOrder::InFileOrder));
    writer.addMessage(message(0, 200));
    writer.addMessage(message(1, 200));
    ASSERT_TRUE(writer.writeFile(path));
    const auto good = bytes();
    const auto chain = writer.chains()[0];
    ASSERT_GE(chain.size(), 3u);
    auto expectUnreadable = [&](const char* what) {
        const auto patched = bytes();
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite)) << what;
        bool ok = true;
        read(box, writer.firstBlocks()[0], &ok);
        EXPECT_FALSE(ok) << what;
        String replacement("short");
        EXPECT_FALSE(writeNow(box, writer.firstBlocks()[0], replacement)) << what;
        box.close();
        EXPECT_EQ(bytes(), patched) << what; // nothing written into a damaged chain
        save(good);
    };
    patch32(chain[1], chain[1] + 1);
    expectUnreadable("self offset off by one");
    patch32(chain[1] + 8, 65);
    expectUnreadable("length beyond capacity");
    patch32(chain[1] + 8, 0x80000000u);
    expectUnreadable("length of 2 GiB");
    patch32(chain[1] + 4, 0xFFFFFFF0u);
    expectUnreadable("capacity beyond the end of the file");
    patch32(chain[1] + 4, 0x7FFFFFF0u);
    patch32(chain[1] + 8, 0x7FFFFF00u);
    expectUnreadable("length beyond the end of the file"); // must not size the text first
    patch32(chain[2] + 12, chain[0]);
    expectUnreadable("chain loops back");
    patch32(chain[2] + 12, uint32_t(good.size()) - 8);
    expectUnreadable("next block runs past the end");

    // A capacity that reaches over the next block cannot take a write, though the
    // message still reads: its length is sound.
    patch32(chain[0] + 4, 64 + 100);
    {
        const auto patched = bytes();
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        bool ok = false;
        EXPECT_EQ(read(box, writer.firstBlocks()[0], &ok), writer.messages()[0]);
        EXPECT_TRUE(ok);
        const std::string longer = writer.messages()[0] + "more";
        String text(longer.c_str());
        EXPECT_FALSE(writeNow(box, writer.firstBlocks()[0], text));
        box.close();
        EXPECT_EQ(bytes(), patched);
    }
}

TEST_F(DbxFile, WritingBackInPlace) {
    DbxWriter writer(smallBlocks(BlockOrder::Shuffled));
    for (int i = 0; i < 4; ++i)
        writer.addMessage(message(i, 300));
    ASSERT_TRUE(writer.writeFile(path));
    const auto before = bytes();
    const uint32_t first = writer.firstBlocks()[1];
    const auto chain = writer.chains()[1];

    const std::string shorter = message(9, 100);
    {
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        String text(shorter.c_str());
        ASSERT_TRUE(writeNow(box, first, text));
        EXPECT_EQ(read(box, first), shorter);
        for (int m : {0, 2, 3})
            EXPECT_EQ(read(box, writer.firstBlocks()[m]), writer.messages()[m]);
    }
    const auto after = bytes();
    ASSERT_EQ(after.size(), before.size());
    // Only the bodies and headers of the blocks that took the text changed.
    const size_t used = (shorter.size() + 63) / 64;
    std::vector<bool> writable(before.size(), false);
    for (size_t b = 0; b < used; ++b)
        for (uint32_t i = 0; i < 16 + 64; ++i)
            writable[chain[b] + i] = true;
    for (size_t i = 0; i < before.size(); ++i) {
        if (!writable[i]) {
            ASSERT_EQ(before[i], after[i]) << "byte " << i;
        }
    }

    // A text longer than the chain is refused and nothing is written.
    {
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        const std::string tooLong = message(9, 64 * chain.size() + 1);
        String longer(tooLong.c_str());
        EXPECT_FALSE(writeNow(box, first, longer));
    }
    EXPECT_EQ(bytes(), after);

    // An empty text leaves the first block empty and ending the chain.
    {
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
        String empty;
        ASSERT_TRUE(writeNow(box, first, empty));
        bool ok = false;
        EXPECT_EQ(read(box, first, &ok), "");
        EXPECT_TRUE(ok);
    }
}

// A new text that ends one byte before, exactly at, or one byte after a block's end: the
// chain must end with the text, whatever the link the last block had before.
TEST_F(DbxFile, TextsEndingAtABlocksEndEndTheChain) {
    DbxWriter writer(smallBlocks(BlockOrder::Shuffled));
    for (int i = 0; i < 3; ++i)
        writer.addMessage(message(i, 4 * 64));
    ASSERT_TRUE(writer.writeFile(path));
    const auto original = bytes();
    const uint32_t first = writer.firstBlocks()[1];
    for (size_t size :
         {size_t(0), size_t(1), size_t(63), size_t(64), size_t(65), size_t(127), size_t(128),
          size_t(129), size_t(191), size_t(192), size_t(193), size_t(255), size_t(256)}) {
        save(original);
        const std::string text = message(9, 300).substr(0, size);
        {
            DbxMailbox box;
            ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
            ASSERT_TRUE(writeNow(box, first, view(text))) << size;
            bool ok = false;
            EXPECT_EQ(read(box, first, &ok), text) << size << " bytes, same mailbox";
            EXPECT_TRUE(ok);
        }
        DbxMailbox box;
        ASSERT_TRUE(openAndScan(box));
        bool ok = false;
        EXPECT_EQ(read(box, first, &ok), text) << size << " bytes, opened again";
        EXPECT_TRUE(ok);
        for (int m : {0, 2})
            EXPECT_EQ(read(box, writer.firstBlocks()[m]), writer.messages()[m]) << size;
        // Written again, shorter still: only what the first write left in the chain is
        // walked, and the text still ends where it should.
        box.close();
        if (size > 0) {
            DbxMailbox again;
            ASSERT_TRUE(openAndScan(again, DbxMailbox::Access::ReadWrite));
            const std::string shorter = text.substr(0, size - 1);
            ASSERT_TRUE(writeNow(again, first, view(shorter))) << size;
            EXPECT_EQ(read(again, first), shorter) << size;
        }
    }
}

// Parse, drop every attachment, cut, write back: every message still reads, the
// rewritten ones parse into the same tree minus the dropped parts, the rest are unchanged.
TEST_F(DbxFile, CuttingAttachmentsRoundTrip) {
    DbxOptions options;
    options.shuffleBlocks = true;
    DbxWriter writer(options);
    std::mt19937 random(5);
    for (int i = 0; i < 40; ++i) {
        std::string m = "Subject: " + std::to_string(i) +
                        "\r\nContent-Type: multipart/mixed; boundary=\"=_b\"\r\n\r\n--=_b\r\n"
                        "Content-Type: text/plain\r\n\r\nHello " +
                        std::to_string(i) + "\r\n";
        const int attachments = int(random() % 3);
        for (int a = 0; a < attachments; ++a) {
            m += "--=_b\r\nContent-Type: application/octet-stream; name=\"f" + std::to_string(a) +
                 ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
            for (int l = 0; l < 20; ++l)
                m += std::string(76, char('A' + (i + a + l) % 26)) + "\r\n";
        }
        m += "--=_b--\r\n";
        writer.addMessage(m);
    }
    ASSERT_TRUE(writer.writeFile(path));

    DbxMailbox box;
    ASSERT_TRUE(openAndScan(box, DbxMailbox::Access::ReadWrite));
    std::vector<std::string> expected(writer.messages().size());
    for (size_t m = 0; m < writer.messages().size(); ++m) {
        Block text;
        ASSERT_EQ(box.readMessage(writer.firstBlocks()[m], text), DbxMailbox::Read::Complete);
        MimePart root;
        ASSERT_TRUE(root.parse(text));
        CutPlan plan(root);
        bool dropped = false;
        for (auto& part : root.allParts)
            if (part->isAttachment()) {
                plan.drop(*part);
                dropped = true;
            }
        expected[m] = writer.messages()[m];
        if (!dropped)
            continue;
        Block rebuilt;
        ASSERT_TRUE(spliceOutDropped(root, plan, text, rebuilt));
        ASSERT_TRUE(cutKeepsTheRest(root, plan, rebuilt));
        ASSERT_LT(rebuilt.byteSize(), text.byteSize());
        ASSERT_TRUE(writeNow(box, writer.firstBlocks()[m], rebuilt));
        expected[m] = str(rebuilt);
    }
    for (size_t m = 0; m < expected.size(); ++m) {
        bool ok = false;
        const std::string text = read(box, writer.firstBlocks()[m], &ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(text, expected[m]);
        MimePart root;
        auto v = view(text);
        ASSERT_TRUE(root.parse(v));
        ASSERT_EQ(root.allParts.size(), 1u);
        EXPECT_EQ(str(root.allParts[0]->body), "Hello " + std::to_string(m));
    }
}
