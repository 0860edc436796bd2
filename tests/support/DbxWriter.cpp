#include "DbxWriter.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

namespace DbxTest {

DbxWriter::DbxWriter(DbxOptions options) : options_(options), random_(options.seed) {}

int DbxWriter::addMessage(std::string text) {
    messages_.push_back(std::move(text));
    return static_cast<int>(messages_.size()) - 1;
}

void DbxWriter::setRandomIndex() {
    std::vector<int> order(messages_.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    std::shuffle(order.begin(), order.end(), random_);
    size_t next = 0;
    std::function<std::unique_ptr<IndexNode>(int)> make = [&](int depth) {
        auto node = std::make_unique<IndexNode>();
        const int count = std::uniform_int_distribution<int>(0, 6)(random_);
        for (int i = 0; i < count && next < order.size(); ++i) {
            IndexNode::Entry entry;
            entry.message = order[next++];
            if (depth < 4 && std::uniform_int_distribution<int>(0, 3)(random_) == 0)
                entry.child = make(depth + 1);
            node->entries.push_back(std::move(entry));
        }
        if (depth < 4 && std::uniform_int_distribution<int>(0, 2)(random_) == 0)
            node->child = make(depth + 1);
        return node;
    };
    auto root = make(0);
    // Whatever the random tree did not take hangs off a chain of node children.
    IndexNode* tail = root.get();
    while (tail->child)
        tail = tail->child.get();
    while (next < order.size()) {
        tail->child = std::make_unique<IndexNode>();
        tail = tail->child.get();
        for (int i = 0; i < 127 && next < order.size(); ++i) {
            IndexNode::Entry entry;
            entry.message = order[next++];
            tail->entries.push_back(std::move(entry));
        }
    }
    index_ = std::move(root);
}

uint32_t DbxWriter::hole() const {
    return options_.farStart > headerSize ? options_.farStart - headerSize : 0;
}

// The file offset's byte in file_, which leaves out the hole behind the file header.
uint8_t* DbxWriter::at(uint32_t offset) {
    return &file_.at(offset < headerSize ? offset : offset - hole());
}

uint32_t DbxWriter::place(uint32_t size) {
    gap();
    const uint32_t offset = static_cast<uint32_t>(file_.size() + hole());
    file_.resize(file_.size() + size, 0);
    return offset;
}

void DbxWriter::gap() {
    if (!options_.gaps)
        return;
    const int n = std::uniform_int_distribution<int>(0, 40)(random_);
    for (int i = 0; i < n; ++i)
        file_.push_back(static_cast<uint8_t>(random_()));
}

void DbxWriter::put32(uint32_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        *at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<uint8_t> DbxWriter::build() {
    file_.assign(headerSize, 0);
    nodes_.clear();
    put32(0, 0xFE12ADCF);
    put32(4, 0x6F74FDC5);
    firstBlocks_.assign(messages_.size(), 0);
    chains_.assign(messages_.size(), {});
    scanOrder_.clear();

    // Data blocks first, so the records can name them.
    const uint32_t capacity = static_cast<uint32_t>(options_.blockCapacity);
    for (size_t m = 0; m < messages_.size(); ++m) {
        const size_t blocks = std::max<size_t>(1, (messages_[m].size() + capacity - 1) / capacity);
        chains_[m].assign(blocks, 0);
    }
    for (const BlockRef& ref : blockOrder_)
        chains_.at(size_t(ref.message)).at(size_t(ref.block)) = place(16 + capacity);
    for (size_t m = 0; m < messages_.size(); ++m) {
        const std::string& text = messages_[m];
        std::vector<uint32_t>& offsets = chains_[m];
        const size_t blocks = offsets.size();
        // A chain with any block placed by the block order is not shuffled: its layout
        // was asked for.
        const bool placed =
            std::any_of(offsets.begin(), offsets.end(), [](uint32_t o) { return o != 0; });
        for (auto& o : offsets)
            if (o == 0)
                o = place(16 + capacity);
        if (options_.shuffleBlocks && blocks > 1 && !placed) {
            // Keep the first block first in the file only by chance: the chain order is
            // what the reader must follow, not the file order.
            std::shuffle(offsets.begin(), offsets.end(), random_);
        }
        for (size_t b = 0; b < blocks; ++b) {
            const uint32_t block = offsets[b];
            const size_t start = b * capacity;
            const uint32_t used = static_cast<uint32_t>(
                std::min<size_t>(capacity, text.size() > start ? text.size() - start : 0));
            put32(block, block);
            put32(block + 4, capacity);
            put32(block + 8, used);
            put32(block + 12, b + 1 < blocks ? offsets[b + 1] : 0);
            if (used)
                std::memcpy(at(block + 16), text.data() + start, used);
            // Unused body bytes hold junk, as space left by an earlier longer message does.
            for (uint32_t i = used; i < capacity; ++i)
                *at(block + 16 + i) = static_cast<uint8_t>('#' + (i % 50));
        }
        firstBlocks_[m] = offsets[0];
    }

    if (!index_) {
        auto root = std::make_unique<IndexNode>();
        IndexNode* node = root.get();
        for (size_t m = 0; m < messages_.size(); ++m) {
            if (node->entries.size() == 127) {
                node->child = std::make_unique<IndexNode>();
                node = node->child.get();
            }
            IndexNode::Entry entry;
            entry.message = static_cast<int>(m);
            node->entries.push_back(std::move(entry));
        }
        index_ = std::move(root);
    }
    const uint32_t root = writeNode(*index_);
    put32(0xE4, root);
    walkOrder(*index_);
    return file_;
}

uint32_t DbxWriter::writeNode(const IndexNode& node) {
    const uint32_t count = static_cast<uint32_t>(node.entries.size());
    const uint32_t here = place(24 + 12 * count);
    nodes_.push_back(here);
    *at(here + 17) = static_cast<uint8_t>(count);
    for (uint32_t i = 0; i < count; ++i) {
        const IndexNode::Entry& entry = node.entries[i];
        // The record: a 12-byte header, attribute words, then the data area.
        const bool extra = options_.extraAttributes;
        const uint32_t words = entry.message < 0 ? (extra ? 2 : 0) : (extra ? 3 : 1);
        uint32_t record = 0;
        const auto inside =
            std::find_if(recordsInside_.begin(), recordsInside_.end(),
                         [&](const RecordInside& r) { return r.message == entry.message; });
        if (entry.message >= 0 && inside != recordsInside_.end())
            record = chains_.at(size_t(inside->host.message)).at(size_t(inside->host.block)) + 16 +
                     inside->bodyOffset;
        else
            record = place(12 + 4 * words + 8);
        *at(record + 10) = static_cast<uint8_t>(words);
        uint32_t w = record + 12;
        if (extra) {
            put32(w, 0x80 | (0x1234u << 8)); // identifier 0, direct
            put32(w + 4, 0x02);              // identifier 2, indirect at data position 0
            w += 8;
        }
        if (entry.message >= 0) {
            const uint32_t first = firstBlocks_[entry.message];
            const bool direct = !options_.indirect && first < (1u << 24);
            if (direct) {
                put32(w, 0x04 | 0x80 | (first << 8));
            } else {
                // Data area position 4 (position 0 holds a value of identifier 2).
                put32(w, 0x04 | (4u << 8));
                put32(record + 12 + 4 * words + 4, first);
            }
        }
        const uint32_t child = entry.child ? writeNode(*entry.child) : 0;
        put32(here + 24 + 12 * i, record);
        put32(here + 24 + 12 * i + 4, child);
    }
    const uint32_t child = node.child ? writeNode(*node.child) : 0;
    put32(here + 8, child);
    return here;
}

void DbxWriter::walkOrder(const IndexNode& node) {
    for (const auto& entry : node.entries) {
        if (entry.message >= 0)
            scanOrder_.push_back(firstBlocks_[entry.message]);
        if (entry.child)
            walkOrder(*entry.child);
    }
    if (node.child)
        walkOrder(*node.child);
}

void DbxWriter::placeRecordInside(int message, BlockRef host, uint32_t bodyOffset) {
    recordsInside_.push_back({message, host, bodyOffset});
}

void DbxWriter::setBlockField(uint32_t block, BlockField field, uint32_t value) {
    put32(block + static_cast<uint32_t>(field), value);
}

bool DbxWriter::writeFile(const std::string& path) {
    build();
    return save(path);
}

bool DbxWriter::save(const std::string& path) const {
    if (hole() == 0)
        return writeFileBytes(path, file_);
    // The header, then the rest at its far offset: the seek leaves the bytes between
    // unwritten, so the file takes little room on the disk.
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file_.data()), headerSize);
    out.seekp(std::streamoff(options_.farStart));
    out.write(reinterpret_cast<const char*>(file_.data()) + headerSize,
              static_cast<std::streamsize>(file_.size() - headerSize));
    return static_cast<bool>(out);
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace DbxTest
