// Builds Outlook Express mailbox files for tests, tools and benchmarks: any index tree,
// attribute 4 direct or indirect, data blocks of any body capacity, chains whose blocks
// are not in file order or lie between another chain's, records placed inside a block,
// damaged block headers, and unused space. Only the header fields a reader needs are
// written; every other byte of the file header is zero.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace DbxTest {

// One index node: its entries, then the subtree of its own child.
struct IndexNode {
    struct Entry {
        int message = -1; // index into the writer's messages; -1: a record without attribute 4
        std::unique_ptr<IndexNode> child; // walked right after this entry's message
    };
    std::vector<Entry> entries;
    std::unique_ptr<IndexNode> child; // walked after all entries
};

struct DbxOptions {
    int32_t blockCapacity = 512; // body bytes per data block, as real mailboxes use
    bool indirect = false;       // attribute 4 stored in the record's data area
    bool extraAttributes = true; // other attribute words before attribute 4
    bool shuffleBlocks = false;  // data blocks of a chain placed out of file order
    bool gaps = false;           // unused bytes between the structures
    uint32_t seed = 1;
    // Where everything behind the file header begins: a mailbox that grew by appending
    // has its index and chains far into the file. The bytes between stay unwritten (a
    // sparse file on disk); bytes() holds the header and then what lies from here on.
    uint32_t farStart = 0;
};

// One data block: the message's number and the block's place in its chain.
struct BlockRef {
    int message;
    int block;
};

// The four fields of a data block's header, by their place in it.
enum class BlockField : uint32_t { Self = 0, Capacity = 4, Length = 8, Next = 12 };

class DbxWriter {
public:
    explicit DbxWriter(DbxOptions options = {});

    int addMessage(std::string text);
    // The index tree to write; without one, a flat chain of nodes of up to 127 entries.
    void setIndex(std::unique_ptr<IndexNode> root) { index_ = std::move(root); }
    // A random tree holding every message once, with entry children and node children.
    void setRandomIndex();

    // These blocks first, in this file order, right behind the file header; the others
    // follow as the options lay them.
    void setBlockOrder(std::vector<BlockRef> order) { blockOrder_ = std::move(order); }
    // The index record of the message goes into the body of the host block, bodyOffset
    // bytes in, instead of into space of its own.
    void placeRecordInside(int message, BlockRef host, uint32_t bodyOffset);

    std::vector<uint8_t> build();
    bool writeFile(const std::string& path); // build, then save
    // After build: changes one header field of a data block in the built file.
    void setBlockField(uint32_t block, BlockField field, uint32_t value);
    // After build: changes four bytes of the built file at a file offset.
    void setWord(uint32_t offset, uint32_t value) { put32(offset, value); }
    // After build: the file offset of every index node, in the order written.
    const std::vector<uint32_t>& indexNodes() const { return nodes_; }
    // After build: the size the saved file has.
    uint64_t fileSize() const { return file_.size() + hole(); }
    // After build: the built file, with any changes made since.
    const std::vector<uint8_t>& bytes() const { return file_; }
    bool save(const std::string& path) const;

    // After build: the first data block of each message, by message index.
    const std::vector<uint32_t>& firstBlocks() const { return firstBlocks_; }
    // After build: the first data blocks in the order a reader's scan must give them.
    const std::vector<uint32_t>& scanOrder() const { return scanOrder_; }
    // After build: every data block of each message, in chain order.
    const std::vector<std::vector<uint32_t>>& chains() const { return chains_; }
    const std::vector<std::string>& messages() const { return messages_; }

    static constexpr uint32_t headerSize = 0x24BC;

private:
    uint32_t place(uint32_t size);
    uint32_t hole() const;
    uint8_t* at(uint32_t offset);
    void gap();
    void put32(uint32_t offset, uint32_t value);
    uint32_t writeNode(const IndexNode& node);
    void walkOrder(const IndexNode& node);

    DbxOptions options_;
    std::mt19937 random_;
    std::vector<std::string> messages_;
    std::unique_ptr<IndexNode> index_;
    std::vector<uint8_t> file_;
    std::vector<uint32_t> firstBlocks_;
    std::vector<uint32_t> scanOrder_;
    std::vector<std::vector<uint32_t>> chains_;
    std::vector<BlockRef> blockOrder_;
    std::vector<uint32_t> nodes_;
    struct RecordInside {
        int message;
        BlockRef host;
        uint32_t bodyOffset;
    };
    std::vector<RecordInside> recordsInside_;
};

// A file's whole content, empty when it cannot be read; and a file made of exactly these
// bytes.
std::vector<uint8_t> readFileBytes(const std::string& path);
bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace DbxTest
