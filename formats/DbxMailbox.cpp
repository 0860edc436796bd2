#include "formats/DbxMailbox.h"

#include "formats/DbxBlockHeader.h"
#include "formats/DbxCarver.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

using TOVK_Utils::Block;
using TOVK_Utils::File;

namespace TOVK_Internet {

namespace {

// Pages small enough that a block read out of order costs little more than the block, a
// cache large enough to hold every page of a long message whose blocks are shuffled, and
// runs long enough that reading in order costs few system calls.
constexpr uint32_t pageBits = 12;
constexpr uint32_t pageSize = 1u << pageBits;
constexpr uint32_t cacheSlots = 512; // 2 MiB
constexpr uint32_t runPages = 64;    // 256 KiB per read while the file is read in order
// A read this large gains nothing from the cache and goes straight to the caller.
constexpr uint32_t directBytes = 64u << 10;
// A small read also takes the rest of a typical block (a 512-byte body) behind a header.
constexpr uint32_t smallReach = 1024;

constexpr uint32_t nodeHeaderBytes = 24;
constexpr uint32_t entryBytes = 12;
constexpr uint32_t recordHeaderBytes = 12;
constexpr uint8_t countLimit = 128; // node and record counts are signed bytes

} // namespace

DbxMailbox::DbxMailbox() = default;

DbxMailbox::~DbxMailbox() {
    close();
}

void DbxMailbox::close() {
    file_.close();
    std::fill(pageHeld_.begin(), pageHeld_.end(), 0);
    chains_.clear();
    indexRead_ = false;
    carved_ = false;
    indexed_ = 0;
}

DbxMailbox::Open DbxMailbox::open(const Block& path, Access access) {
    close();
    writable_ = access == Access::ReadWrite;
    const File::Access fileAccess = writable_ ? File::Access::ReadWrite : File::Access::ReadOnly;
    if (!file_.openForReading(path, fileAccess, writable_ ? File::ShareRead : File::ShareReadWrite))
        return file_.lastErrorWasSharingViolation() ? Open::InUse : Open::NotAMailbox;
    // POSIX ignores the sharing modes: the lock keeps a second run from cutting or
    // recovering the mailbox while this one writes it.
    if (writable_ && !file_.lock()) {
        close();
        return Open::InUse;
    }
    size_ = file_.getSize();
    // No more pages than the file has: a small mailbox needs no megabytes of cache.
    const uint64_t filePages = (size_ + pageSize - 1) >> pageBits;
    slots_ = static_cast<uint32_t>(std::clamp<uint64_t>(filePages, 1, cacheSlots));
    pageHeld_.assign(slots_, 0);
    pageFilled_.assign(slots_, 0);
    streamEnd_ = 0;
    singleEnd_ = 0;
    uint8_t magic[8];
    if (!file_.read(magic, 8) || get32(magic) != firstMagic || get32(magic + 4) != secondMagic) {
        close();
        return Open::NotAMailbox;
    }
    return Open::Opened;
}

DbxMailbox::Fetched DbxMailbox::readAt(uint64_t offset, void* buffer, uint32_t count) {
    if (!inFile(offset, count))
        return Fetched::NotThere;
    if (count >= directBytes)
        return readFromDisk(offset, buffer, count);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const uint64_t reach = std::min(size_, offset + std::max(count, smallReach));
    while (count > 0) {
        uint32_t filled = 0;
        const uint8_t* data = nullptr;
        if (!page(offset >> pageBits, reach, data, filled))
            return Fetched::Failed;
        const uint32_t within = static_cast<uint32_t>(offset & (pageSize - 1));
        // Short only when the file shrank under us since it was opened.
        if (within >= filled)
            return Fetched::NotThere;
        const uint32_t n = std::min(count, filled - within);
        std::memcpy(out, data + within, n);
        out += n;
        offset += n;
        count -= n;
    }
    return Fetched::Bytes;
}

DbxMailbox::Fetched DbxMailbox::readFromDisk(uint64_t offset, void* buffer, uint32_t count) {
    if (!inFile(offset, count))
        return Fetched::NotThere;
    if (!file_.seek(static_cast<int64_t>(offset)) || !file_.readSome(buffer, count))
        return Fetched::Failed;
    return file_.lastReadCount() == count ? Fetched::Bytes : Fetched::NotThere;
}

bool DbxMailbox::page(uint64_t number, uint64_t reach, const uint8_t*& data, uint32_t& filled) {
    const uint32_t slot = static_cast<uint32_t>(number % slots_);
    if (pageHeld_[slot] != number + 1) {
        uint64_t first = number;
        uint64_t count = runPages;
        bool run = true;
        if (number >= streamEnd_ && number < streamEnd_ + runPages) {
            // Just past the last run: the file is being read in order, whether or not the
            // blocks of the current chain are.
            first = streamEnd_;
        } else if (number != singleEnd_) {
            count = ((reach - 1) >> pageBits) - number + 1;
            run = false;
        }
        const uint64_t lastPage = (size_ - 1) >> pageBits;
        count = std::min({count, lastPage + 1 - first, uint64_t(slots_)});
        if (number >= first + count)
            first = number + 1 - count;
        if (!loadPages(first, static_cast<uint32_t>(count)))
            return false;
        if (run)
            streamEnd_ = first + count;
        else
            singleEnd_ = first + count;
        if (pageHeld_[slot] != number + 1) {
            data = nullptr;
            filled = 0;
            return true;
        }
    }
    filled = pageFilled_[slot];
    data = pages_.data() + size_t(slot) * pageSize;
    return true;
}

bool DbxMailbox::loadPages(uint64_t first, uint32_t count) {
    if (pages_.size() < size_t(slots_) * pageSize)
        pages_.resize(size_t(slots_) * pageSize);
    while (count > 0) {
        // Pages go to the slots their numbers name, so a run may wrap round once.
        const uint32_t slot = static_cast<uint32_t>(first % slots_);
        const uint32_t n = std::min(count, slots_ - slot);
        for (uint32_t i = 0; i < n; ++i)
            pageHeld_[slot + i] = 0; // a read that fails leaves no half page behind
        if (!file_.seek(static_cast<int64_t>(first << pageBits)) ||
            !file_.readSome(pages_.data() + size_t(slot) * pageSize, n * pageSize))
            return false;
        const uint32_t got = file_.lastReadCount();
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t start = i * pageSize;
            const uint32_t bytes = got > start ? std::min(pageSize, got - start) : 0;
            pageFilled_[slot + i] = bytes;
            pageHeld_[slot + i] = bytes ? first + i + 1 : 0;
        }
        first += n;
        count -= n;
    }
    return true;
}

void DbxMailbox::forgetCached(uint64_t offset, uint64_t count) {
    if (count == 0 || slots_ == 0)
        return;
    for (uint64_t p = offset >> pageBits; p <= (offset + count - 1) >> pageBits; ++p) {
        const uint32_t slot = static_cast<uint32_t>(p % slots_);
        if (pageHeld_[slot] == p + 1)
            pageHeld_[slot] = 0;
    }
}

bool DbxMailbox::scan() {
    messageOffsets.clear();
    chains_.clear();
    indexRead_ = false;
    carved_ = false;
    indexLost_ = false;
    uint8_t root[4];
    if (readAt(rootOffsetPosition, root, 4) != Fetched::Bytes)
        return false;
    // A root of 0 says "no messages"; message blocks in the file all the same mean that the
    // index was lost (a crash while it was rewritten), and taking the file for empty would
    // pass over every message in it.
    if (get32(root) == 0 && size_ > headerSize && holdsBlocks()) {
        indexLost_ = true;
        return false;
    }
    if (writable_)
        chains_.noteIndex(0, std::min<uint64_t>(headerSize, size_));
    if (!walkIndex(get32(root)))
        return false;
    indexRead_ = true;
    if (!writable_)
        return true;
    struct Headers : ChainMap::HeaderReader {
        DbxMailbox& box;
        bool failed = false;
        explicit Headers(DbxMailbox& mailbox) : box(mailbox) {}
        bool readHeader(uint32_t offset, uint8_t* header) override {
            const Fetched got = box.readAt(offset, header, DbxBlockHeader::size);
            failed = failed || got == Fetched::Failed;
            return got == Fetched::Bytes;
        }
    } headers(*this);
    chains_.mapChains(messageOffsets, size_, headers);
    // A chain that could not be read is no chain known whole: nothing is written.
    if (headers.failed)
        chains_.clear();
    return !headers.failed;
}

// Whether carving would find a chain: one more pass over a file whose index names nothing.
bool DbxMailbox::holdsBlocks() {
    bool failed = false;
    const std::vector<DbxCarver::Chain> chains = DbxCarver::carve(
        [&](uint64_t offset, uint8_t* buffer, uint32_t count) -> uint32_t {
            if (!file_.seek(static_cast<int64_t>(offset)) || !file_.readSome(buffer, count)) {
                failed = true;
                return 0;
            }
            return file_.lastReadCount();
        },
        size_);
    return failed || !chains.empty();
}

bool DbxMailbox::carve() {
    bool failed = false;
    const std::vector<DbxCarver::Chain> chains = DbxCarver::carve(
        [&](uint64_t offset, uint8_t* buffer, uint32_t count) -> uint32_t {
            if (!file_.seek(static_cast<int64_t>(offset)) || !file_.readSome(buffer, count)) {
                failed = true;
                return 0; // ends the carve, as the end of the file would
            }
            return file_.lastReadCount();
        },
        size_);
    if (failed)
        return false;
    if (!indexRead_)
        messageOffsets.clear();
    indexed_ = messageOffsets.size();
    std::unordered_set<uint32_t> named(messageOffsets.begin(), messageOffsets.end());
    for (const DbxCarver::Chain& chain : chains)
        if (!named.count(chain.first))
            messageOffsets.push_back(chain.first);
    // Rescue never writes: a chain found by carving may be a deleted message's, or the
    // tail of one that was cut, and nothing says whose bytes it holds.
    chains_.clear();
    carved_ = true;
    return true;
}

void DbxMailbox::takeCarved(std::vector<uint32_t> offsets, size_t indexed) {
    messageOffsets = std::move(offsets);
    indexed_ = std::min(indexed, messageOffsets.size());
    chains_.clear();
    carved_ = true;
}

// The walk keeps its own stack and refuses any node or record seen before, so neither a
// deep tree nor a damaged one that loops can exhaust the stack or run forever.
bool DbxMailbox::walkIndex(uint32_t root) {
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
            return true;
        uint8_t header[nodeHeaderBytes];
        if (!nodesSeen.insert(node).second ||
            readAt(node, header, nodeHeaderBytes) != Fetched::Bytes)
            return false;
        const uint8_t count = header[17];
        if (count >= countLimit)
            return false;
        Frame frame{get32(header + 8), std::vector<uint8_t>(entryBytes * count), count, 0};
        if (count && readAt(uint64_t(node) + nodeHeaderBytes, frame.entries.data(),
                            entryBytes * count) != Fetched::Bytes)
            return false;
        if (writable_)
            chains_.noteIndex(node, uint64_t(node) + nodeHeaderBytes + entryBytes * count);
        stack.push_back(std::move(frame));
        return true;
    };

    if (!pushNode(root))
        return false;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        uint32_t child = frame.child;
        if (frame.next < frame.count) {
            const uint8_t* entry = frame.entries.data() + entryBytes * frame.next++;
            const uint32_t record = get32(entry);
            child = get32(entry + 4);
            if (!recordsSeen.insert(record).second || !readRecord(record))
                return false;
        } else {
            stack.pop_back();
        }
        if (!pushNode(child)) // may reallocate the stack: frame is not used after this
            return false;
    }
    return true;
}

bool DbxMailbox::readRecord(uint32_t record) {
    uint8_t header[recordHeaderBytes];
    if (readAt(record, header, recordHeaderBytes) != Fetched::Bytes)
        return false;
    const uint8_t n = header[10];
    if (n >= countLimit)
        return false;
    uint8_t words[4 * (countLimit - 1)];
    const uint64_t data = uint64_t(record) + recordHeaderBytes + 4u * n;
    if (n && readAt(uint64_t(record) + recordHeaderBytes, words, 4u * n) != Fetched::Bytes)
        return false;
    if (writable_)
        chains_.noteIndex(record, data);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t word = get32(words + 4 * i);
        if ((word & 0x7F) != 4)
            continue;
        const uint32_t value = word >> 8;
        if (word & 0x80) {
            messageOffsets.push_back(value);
            return true;
        }
        const uint64_t at = data + value;
        uint8_t offset[4];
        if (readAt(at, offset, 4) != Fetched::Bytes)
            return false;
        if (writable_)
            chains_.noteIndex(at, at + 4);
        messageOffsets.push_back(get32(offset));
        return true; // later words are not looked at
    }
    return true;
}

DbxMailbox::Fetched DbxMailbox::readBlockHeader(uint32_t offset, DbxBlockHeader& header,
                                                Source source) {
    uint8_t raw[DbxBlockHeader::size];
    const Fetched got = source == Source::Cache ? readAt(offset, raw, DbxBlockHeader::size)
                                                : readFromDisk(offset, raw, DbxBlockHeader::size);
    if (got != Fetched::Bytes)
        return got;
    header = DbxBlockHeader::decode(raw);
    return header.isWholeBlockAt(offset, size_) ? Fetched::Bytes : Fetched::NotThere;
}

DbxMailbox::Read DbxMailbox::readMessage(uint32_t offset, Block& text) {
    text.setWide(false);
    text.setPolicy(Block::Growth::Doubling, Block::Shrink::Never);
    text.clear();
    // Brent's cycle detection, as in ChainMap: no set of blocks seen, so a message costs
    // no heap of its own. Until a loop is caught the text may hold blocks twice, but a
    // sound chain can never hold more bytes than the file.
    uint32_t waiting = offset;
    uint64_t power = 1, steps = 0;
    for (;;) {
        uint8_t raw[DbxBlockHeader::size];
        Fetched got = readAt(offset, raw, DbxBlockHeader::size);
        if (got != Fetched::Bytes)
            return got == Fetched::Failed ? Read::Unreadable : Read::ChainDamaged;
        const DbxBlockHeader header = DbxBlockHeader::decode(raw);
        if (!header.isWholeBlockAt(offset, size_))
            return Read::ChainDamaged;
        if (const uint32_t length = header.length; length > 0) {
            const int32_t old = text.length();
            const uint64_t body = uint64_t(offset) + DbxBlockHeader::size;
            // Checked before the text grows: a damaged length must not size it.
            if (uint64_t(old) + uint64_t(length) > size_ ||
                uint64_t(old) + length > uint64_t(File::MaxBlockBytes))
                return Read::ChainDamaged;
            text.resize(old + static_cast<int32_t>(length));
            got = readAt(body, text.data() + old, length);
            if (got != Fetched::Bytes) {
                text.resize(old);
                return got == Fetched::Failed ? Read::Unreadable : Read::ChainDamaged;
            }
        }
        if (header.next == 0)
            return Read::Complete;
        if (header.next == waiting)
            return Read::ChainDamaged;
        if (++steps == power) {
            waiting = header.next;
            power *= 2;
            steps = 0;
        }
        offset = header.next;
    }
}

void DbxMailbox::releaseScan() {
    std::vector<uint8_t>().swap(pages_);
    std::fill(pageHeld_.begin(), pageHeld_.end(), 0);
    chains_.release();
    std::vector<uint32_t>().swap(messageOffsets);
}

} // namespace TOVK_Internet
