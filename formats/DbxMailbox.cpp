#include "formats/DbxMailbox.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

using TOVK_Utils::Block;
using TOVK_Utils::File;

namespace TOVK_Internet {

namespace {

constexpr uint32_t cacheSize = 1 << 20;
constexpr int corrupt = -1; // thrown inside the walk for a damaged structure

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace

DbxMailbox::DbxMailbox() = default;

DbxMailbox::~DbxMailbox() {
    close();
}

void DbxMailbox::close() {
    file_.close();
    cacheLength_ = 0;
}

bool DbxMailbox::open(const Block& path, Access access) {
    inUse_ = false;
    cacheLength_ = 0;
    file_.setRaiseErrors(true);
    try {
        const bool write = access == Access::ReadWrite;
        if (!file_.openForReading(path, write, write ? File::ShareRead : File::ShareReadWrite))
            return false;
    } catch (int) {
        inUse_ = file_.lastErrorWasSharingViolation();
        return false;
    }
    try {
        size_ = file_.getSize(true);
        uint8_t magic[8];
        file_.read(magic, 8);
        return get32(magic) == firstMagic && get32(magic + 4) == secondMagic;
    } catch (int) {
        return false;
    }
}

bool DbxMailbox::readAt(uint64_t offset, void* buffer, uint32_t count) {
    if (!inFile(offset, count))
        return false;
    if (offset >= cacheStart_ && offset + count <= cacheStart_ + cacheLength_) {
        std::memcpy(buffer, cache_.data() + (offset - cacheStart_), count);
        return true;
    }
    if (count >= cacheSize / 2) {
        // Large bodies go straight to the caller's buffer.
        file_.seek(static_cast<int64_t>(offset));
        return file_.readSome(buffer, count) && file_.lastReadCount() == count;
    }
    // No larger than the file: small mailboxes need no megabyte of cache.
    const uint32_t window = size_ < cacheSize ? static_cast<uint32_t>(size_) : cacheSize;
    if (cache_.size() < window)
        cache_.resize(window);
    cacheLength_ = 0;
    file_.seek(static_cast<int64_t>(offset));
    file_.readSome(cache_.data(), window);
    cacheStart_ = offset;
    cacheLength_ = file_.lastReadCount();
    if (cacheLength_ < count)
        return false;
    std::memcpy(buffer, cache_.data(), count);
    return true;
}

bool DbxMailbox::scan() {
    try {
        uint8_t root[4];
        if (!readAt(rootOffsetPosition, root, 4))
            return false;
        walkIndex(get32(root));
        return true;
    } catch (int) {
        return false;
    }
}

// The walk keeps its own stack and refuses any node or record seen before, so neither a
// deep tree nor a damaged one that loops can exhaust the stack or run forever.
void DbxMailbox::walkIndex(uint32_t root) {
    struct Frame {
        uint32_t child; // the node's own child, walked after its entries
        std::vector<uint8_t> entries;
        uint32_t count;
        uint32_t next;
    };
    std::unordered_set<uint32_t> nodesSeen;
    std::unordered_set<uint32_t> recordsSeen;
    std::vector<Frame> stack;

    auto pushNode = [&](uint32_t node) {
        if (node == 0)
            return;
        if (node >= 0x80000000u || !nodesSeen.insert(node).second)
            throw corrupt;
        uint8_t header[24];
        if (!readAt(node, header, 24))
            throw corrupt;
        const uint8_t count = header[17];
        if (count >= 128)
            throw corrupt;
        Frame frame{get32(header + 8), std::vector<uint8_t>(12u * count), count, 0};
        if (count && !readAt(uint64_t(node) + 24, frame.entries.data(), 12u * count))
            throw corrupt;
        stack.push_back(std::move(frame));
    };

    pushNode(root);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.count) {
            const uint8_t* entry = frame.entries.data() + 12 * frame.next++;
            const uint32_t record = get32(entry);
            const uint32_t child = get32(entry + 4);
            if (record >= 0x80000000u || !recordsSeen.insert(record).second)
                throw corrupt;
            readRecord(record);
            pushNode(child); // may reallocate the stack: frame is not used after this
            continue;
        }
        const uint32_t child = frame.child;
        stack.pop_back();
        pushNode(child);
    }
}

void DbxMailbox::readRecord(uint32_t record) {
    uint8_t header[12];
    if (!readAt(record, header, 12))
        throw corrupt;
    const uint8_t n = header[10];
    if (n >= 128)
        throw corrupt;
    uint8_t words[4 * 127];
    if (n && !readAt(uint64_t(record) + 12, words, 4u * n))
        throw corrupt;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t word = get32(words + 4 * i);
        if ((word & 0x7F) != 4)
            continue;
        const uint32_t value = word >> 8;
        if (word & 0x80) {
            messageOffsets.push_back(value);
        } else {
            uint8_t data[4];
            if (!readAt(uint64_t(record) + 12 + 4u * n + value, data, 4))
                throw corrupt;
            messageOffsets.push_back(get32(data));
        }
        return; // later words are not looked at
    }
}

bool DbxMailbox::readBlockHeader(uint32_t offset, BlockHeader& header) {
    uint8_t raw[16];
    if (offset >= 0x80000000u || !readAt(offset, raw, 16))
        return false;
    header.self = get32(raw);
    header.capacity = static_cast<int32_t>(get32(raw + 4));
    header.length = static_cast<int32_t>(get32(raw + 8));
    header.next = get32(raw + 12);
    // A damaged length must never pull another message's bytes into this one.
    return header.self == offset && header.capacity >= 0 && header.length >= 0 &&
           header.length <= header.capacity;
}

bool DbxMailbox::readMessage(uint32_t offset, Block& text) {
    text.setWide(false);
    text.setPolicy(true, false);
    text.clear();
    std::unordered_set<uint32_t> seen;
    for (;;) {
        BlockHeader header;
        if (!seen.insert(offset).second || !readBlockHeader(offset, header))
            return false;
        const int32_t length = header.length;
        if (length > 0) {
            const int32_t old = text.length();
            // Checked before the text grows: a damaged length must not size it.
            if (!inFile(uint64_t(offset) + 16, uint32_t(length)) ||
                int64_t(old) + length > int64_t(File::MaxBlockBytes))
                return false;
            text.resize(old + length);
            if (!readAt(uint64_t(offset) + 16, text.data() + old, static_cast<uint32_t>(length))) {
                text.resize(old);
                return false;
            }
        }
        if (header.next == 0)
            return true;
        offset = header.next;
    }
}

void DbxMailbox::writeAt(uint64_t offset, const void* bytes, uint32_t count) {
    file_.seek(static_cast<int64_t>(offset));
    if (!file_.write(bytes, count))
        throw TOVK_Utils::FileFailure;
}

bool DbxMailbox::writeMessage(uint32_t offset, const Block& text) {
    // Check the whole chain before the first byte is written: a stored message is
    // never left cut off or mixed with another's bytes.
    std::vector<BlockHeader> chain;
    std::unordered_set<uint32_t> seen;
    int64_t capacity = 0;
    for (uint32_t at = offset;;) {
        BlockHeader header;
        if (!seen.insert(at).second || !readBlockHeader(at, header))
            return false;
        chain.push_back(header);
        capacity += header.capacity;
        if (header.next == 0)
            break;
        at = header.next;
    }
    const int32_t total = text.byteSize();
    if (total > capacity)
        return false;
    // A damaged capacity could send the text over the blocks behind this one: every
    // block of the chain must lie inside the file and apart from the others.
    std::vector<std::pair<uint64_t, uint64_t>> spans;
    for (const BlockHeader& header : chain) {
        const uint64_t end = uint64_t(header.self) + 16 + uint64_t(header.capacity);
        if (end > size_)
            return false;
        spans.emplace_back(header.self, end);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first < spans[i - 1].second)
            return false;

    cacheLength_ = 0; // the cache would go stale
    const uint8_t* bytes = total > 0 ? text.data() : nullptr;
    int32_t done = 0;
    for (BlockHeader& header : chain) {
        const int32_t k = total - done < header.capacity ? total - done : header.capacity;
        if (k > 0)
            writeAt(uint64_t(header.self) + 16, bytes + done, static_cast<uint32_t>(k));
        done += k;
        const bool last = done == total;
        if (k != header.length || (last && header.next != 0)) {
            uint8_t raw[16];
            put32(raw, header.self);
            put32(raw + 4, static_cast<uint32_t>(header.capacity));
            put32(raw + 8, static_cast<uint32_t>(k));
            put32(raw + 12, last ? 0 : header.next);
            writeAt(header.self, raw, 16);
        }
        if (last)
            return true;
    }
    return true;
}

} // namespace TOVK_Internet
