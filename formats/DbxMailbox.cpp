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
    // Texts never settled were never written: their messages are as they were.
    staged_.clear();
    stagedOld_.clear();
    stagedNew_.clear();
    stagedMessages_.clear();
}

DbxMailbox::Open DbxMailbox::open(const Block& path, Access access) {
    close();
    writable_ = access == Access::ReadWrite;
    if (!file_.openForReading(path, writable_, writable_ ? File::ShareRead : File::ShareReadWrite))
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
    uint8_t root[4];
    if (readAt(rootOffsetPosition, root, 4) != Fetched::Bytes)
        return false;
    if (writable_)
        chains_.noteIndex(0, std::min<uint64_t>(headerSize, size_));
    if (!walkIndex(get32(root)))
        return false;
    indexRead_ = true;
    if (!writable_)
        return true;
    bool failed = false;
    chains_.mapChains(messageOffsets, size_, [&](uint32_t offset, uint8_t* header) {
        const Fetched got = readAt(offset, header, DbxBlockHeader::size);
        failed = failed || got == Fetched::Failed;
        return got == Fetched::Bytes;
    });
    // A chain that could not be read is no chain known whole: nothing is written.
    if (failed)
        chains_.clear();
    return !failed;
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
    text.setPolicy(true, false);
    text.clear();
    // Brent's cycle detection, as in ChainMap: no set of blocks seen, so a message costs
    // no heap of its own. Until a loop is caught the text may hold blocks twice, but a
    // sound chain can never hold more bytes than the file.
    uint32_t waiting = offset;
    uint64_t power = 1, steps = 0;
    for (;;) {
        DbxBlockHeader header;
        const Fetched got = readBlockHeader(offset, header, Source::Cache);
        if (got != Fetched::Bytes)
            return got == Fetched::Failed ? Read::Unreadable : Read::ChainDamaged;
        if (const Read body = appendBody(offset, header.length, text); body != Read::Complete)
            return body;
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

DbxMailbox::Read DbxMailbox::appendBody(uint32_t block, uint32_t length, Block& text) {
    if (length == 0)
        return Read::Complete;
    const int32_t old = text.length();
    const uint64_t body = uint64_t(block) + DbxBlockHeader::size;
    // Checked before the text grows: a damaged length must not size it.
    if (!inFile(body, length) || uint64_t(old) + uint64_t(length) > size_ ||
        uint64_t(old) + length > uint64_t(File::MaxBlockBytes))
        return Read::ChainDamaged;
    text.resize(old + static_cast<int32_t>(length));
    const Fetched got = readAt(body, text.data() + old, length);
    if (got == Fetched::Bytes)
        return Read::Complete;
    text.resize(old);
    return got == Fetched::Failed ? Read::Unreadable : Read::ChainDamaged;
}

void DbxMailbox::writeAt(uint64_t offset, const void* bytes, uint32_t count) {
    file_.seek(static_cast<int64_t>(offset));
    if (!file_.write(bytes, count))
        throw TOVK_Utils::FileFailure;
}

void DbxMailbox::flushFile() {
    if (!file_.flush())
        throw TOVK_Utils::FileFailure;
}

bool DbxMailbox::writeMessage(uint32_t offset, const Block& text) {
    restored_ = true;
    const uint32_t chain = chains_.soundChain(offset);
    if (chain == ChainMap::noChain)
        return false;
    const int32_t total = text.byteSize();
    if (total < 0)
        return false;

    // The chain as the disk holds it now, as far as the text needs it (a cut text is
    // mostly a small part of the old one), each block one that the scan gave to this
    // chain alone and with the capacity it had then. Earlier writes may have ended it
    // sooner.
    std::vector<DbxBlockHeader> blocks;
    int64_t capacity = 0;
    for (uint32_t at = offset;;) {
        DbxBlockHeader header;
        if (blocks.size() == chains_.blocksOf(chain))
            return false;
        const Fetched got = readBlockHeader(at, header, Source::Disk);
        if (got == Fetched::Failed)
            throw TOVK_Utils::FileFailure;
        if (got != Fetched::Bytes || !chains_.isBlockOf(chain, at, header.capacity))
            return false;
        blocks.push_back(header);
        capacity += header.capacity;
        if (capacity >= total || header.next == 0)
            break;
        at = header.next;
    }
    if (total > capacity)
        return false;
    // A chain changed since the scan may now pass a block twice: that block would be
    // written twice, the second time over the text the first put there.
    std::vector<uint32_t> visited(blocks.size());
    for (size_t b = 0; b < blocks.size(); ++b)
        visited[b] = blocks[b].self;
    std::sort(visited.begin(), visited.end());
    if (std::adjacent_find(visited.begin(), visited.end()) != visited.end())
        return false;

    // One span per block that takes text: its header and the body bytes it now uses.
    // The blocks behind the last one keep their bytes and leave the chain.
    size_t spanCount = 0;
    size_t bytes = 0;
    for (int64_t done = 0; spanCount < blocks.size();) {
        const int64_t k = std::min<int64_t>(total - done, int64_t(blocks[spanCount].capacity));
        bytes += 16 + size_t(k);
        done += k;
        ++spanCount;
        if (done == total)
            break;
    }
    newBytes_.resize(bytes);
    oldBytes_.resize(bytes);
    std::vector<WriteJournal::Span> spans;
    spans.reserve(spanCount);
    const uint8_t* source = total > 0 ? text.data() : nullptr;
    int64_t done = 0;
    size_t at = 0;
    for (size_t b = 0; b < spanCount; ++b) {
        const DbxBlockHeader& header = blocks[b];
        const uint32_t k =
            static_cast<uint32_t>(std::min<int64_t>(total - done, int64_t(header.capacity)));
        const bool last = b + 1 == spanCount;
        uint8_t* out = newBytes_.data() + at;
        // The text may end exactly where a block ends: the link on still has to go.
        DbxBlockHeader{header.self, header.capacity, k, last ? 0 : header.next}.encode(out);
        if (k > 0)
            std::memcpy(out + 16, source + done, k);
        // The same rule once more for the exact bytes about to be written, and what they
        // hold now, read before the first byte is written.
        const uint32_t length = 16 + k;
        if (!chains_.mayWrite(chain, header.self, length))
            return false;
        uint8_t* old = oldBytes_.data() + at;
        const Fetched got = readFromDisk(header.self, old, length);
        if (got == Fetched::Failed)
            throw TOVK_Utils::FileFailure;
        if (got != Fetched::Bytes)
            return false;
        spans.push_back({header.self, old, out, length});
        done += k;
        at += length;
    }

    if (journal_ && !settleEachMessage_)
        return stage(offset, spans);
    if (journal_ && !journal_->record(spans))
        return false;

    if (!writeSpans(spans))
        throw TOVK_Utils::FileFailure;
    // The journal may let go of the old bytes only once the new ones are on the disk.
    try {
        if (journal_)
            flushFile();
    } catch (...) {
        restored_ = restore(spans, spans.size());
        throw;
    }
    // A journal that fails to let go keeps old bytes that the next open puts back: the
    // message then returns to its text from before the cut, which loses nothing.
    if (journal_)
        journal_->clear();
    return true;
}

bool DbxMailbox::stage(uint32_t offset, const std::vector<WriteJournal::Span>& spans) {
    if (!stagedMessages_.insert(offset).second)
        return false; // its first text is still waiting: the blocks it checked are not there
    for (const WriteJournal::Span& span : spans) {
        staged_.push_back({span.offset, stagedOld_.size(), span.length});
        stagedOld_.insert(stagedOld_.end(), span.oldBytes, span.oldBytes + span.length);
        stagedNew_.insert(stagedNew_.end(), span.newBytes, span.newBytes + span.length);
    }
    return true;
}

std::vector<WriteJournal::Span> DbxMailbox::stagedSpans() const {
    std::vector<WriteJournal::Span> spans;
    spans.reserve(staged_.size());
    for (const Staged& span : staged_)
        spans.push_back(
            {span.offset, stagedOld_.data() + span.at, stagedNew_.data() + span.at, span.length});
    return spans;
}

void DbxMailbox::dropStaged() {
    // Cleared, not freed: the next batch reuses the room.
    staged_.clear();
    stagedOld_.clear();
    stagedNew_.clear();
    stagedMessages_.clear();
}

bool DbxMailbox::writeSpans(const std::vector<WriteJournal::Span>& spans) {
    for (const WriteJournal::Span& span : spans)
        forgetCached(span.offset, span.length);
    size_t begun = 0;
    try {
        for (; begun < spans.size(); ++begun)
            writeAt(spans[begun].offset, spans[begun].newBytes, spans[begun].length);
    } catch (...) {
        restored_ = restore(spans, std::min(begun + 1, spans.size()));
        return false;
    }
    return true;
}

void DbxMailbox::flushTogetherWith(const std::vector<DbxMailbox*>& others) {
    if (others.empty()) {
        flushFile();
        return;
    }
    std::vector<TOVK_Utils::File*> files{&file_};
    for (DbxMailbox* other : others)
        files.push_back(&other->file_);
    if (!TOVK_Utils::File::flushTogether(files, {}))
        throw TOVK_Utils::FileFailure;
}

void DbxMailbox::keepOnlyStaged() {
    std::vector<uint8_t>().swap(pages_);
    std::fill(pageHeld_.begin(), pageHeld_.end(), 0);
    chains_.release();
    std::vector<uint32_t>().swap(messageOffsets);
}

bool DbxMailbox::settle() {
    return settleTogether({this}).front();
}

std::vector<bool> DbxMailbox::settleTogether(const std::vector<DbxMailbox*>& boxes) {
    const size_t n = boxes.size();
    std::vector<bool> settled(n, false);
    std::vector<std::vector<WriteJournal::Span>> spans(n);
    enum class Step { Done, Journaled, Written, Failed };
    std::vector<Step> step(n, Step::Done);

    // Every entry on the disk before any block is written, in one flush for them all
    // (with the files the cuts depend on).
    std::vector<TOVK_Utils::File*> journalFiles;
    std::vector<TOVK_Utils::FilesInFolder> alongside;
    for (size_t i = 0; i < n; ++i) {
        DbxMailbox& box = *boxes[i];
        box.restored_ = false;
        if (!box.journal_ || box.staged_.empty())
            continue;
        spans[i] = box.stagedSpans();
        if (box.journal_->recordUnflushed(spans[i])) {
            box.journal_->collectUnflushed(journalFiles, alongside);
            step[i] = Step::Journaled;
        } else {
            box.restored_ = true; // the journal refused them: not one byte was written
            step[i] = Step::Failed;
        }
    }
    // A failed flush is not tried again mailbox by mailbox: a write-back error is reported
    // once to each open file, so a second flush through the same file would say yes
    // whether or not its bytes reached the disk.
    const bool journaled = TOVK_Utils::File::flushTogether(journalFiles, alongside);
    std::vector<DbxMailbox*> written;
    for (size_t i = 0; i < n; ++i) {
        DbxMailbox& box = *boxes[i];
        if (step[i] != Step::Journaled)
            continue;
        box.journal_->unflushedFlushed(journaled);
        if (!journaled) {
            box.restored_ = true;
            step[i] = Step::Failed;
        } else if (box.writeSpans(spans[i])) {
            step[i] = Step::Written;
            written.push_back(&box);
        } else {
            step[i] = Step::Failed;
        }
    }

    // Every block on the disk before any journal lets go of its old bytes. A journal that
    // keeps them after a failed flush returns those messages to their old text at the
    // next open, which loses nothing.
    bool flushed = true;
    if (!written.empty()) {
        try {
            written.front()->flushTogetherWith({written.begin() + 1, written.end()});
        } catch (...) {
            flushed = false;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        DbxMailbox& box = *boxes[i];
        if (step[i] == Step::Written)
            settled[i] = flushed && box.journal_->clear();
        else if (step[i] == Step::Done)
            settled[i] = !box.journal_ || box.journal_->clear();
        box.dropStaged();
    }
    return settled;
}

// Puts back the old bytes of the first count spans (the last of them may be torn). Never
// throws: the caller rethrows what made the write fail. A journal is cleared only when
// every byte is back on the disk; otherwise it keeps them for the next open.
bool DbxMailbox::restore(const std::vector<WriteJournal::Span>& spans, size_t count) {
    bool whole = true;
    for (size_t i = 0; i < count; ++i) {
        try {
            writeAt(spans[i].offset, spans[i].oldBytes, spans[i].length);
        } catch (...) {
            whole = false;
        }
    }
    try {
        flushFile();
    } catch (...) {
        whole = false;
    }
    for (const WriteJournal::Span& span : spans)
        forgetCached(span.offset, span.length);
    // The journal holds nothing but these spans: written message by message it holds one
    // message, and settled on request the batch being written.
    if (whole && journal_) {
        try {
            journal_->clear();
        } catch (...) {
        }
    }
    return whole;
}

} // namespace TOVK_Internet
