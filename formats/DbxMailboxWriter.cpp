#include "formats/DbxMailboxWriter.h"

#include "formats/ChainMap.h"

#include <algorithm>
#include <cstring>

using TOVK_Utils::Block;

namespace TOVK_Internet {

using Fetched = DbxMailbox::Fetched;
using Span = WriteJournal::Span;

DbxMailboxWriter::Staging DbxMailboxWriter::stage(uint32_t offset, const Block& text) {
    const uint32_t chain = mailbox_.chains().soundChain(offset);
    const int32_t total = text.byteSize();
    if (chain == ChainMap::noChain || total < 0 || stagedMessages_.count(offset))
        return Staging::Refused;
    Staging staging = readChain(offset, chain, total);
    if (staging == Staging::Staged)
        staging = keepSpans(offset, chain, text);
    if (staging == Staging::Staged)
        stagedMessages_.insert(offset);
    return staging;
}

// The chain as the disk holds it now, as far as the text needs it (a cut text is mostly a
// small part of the old one), each block one that the scan gave to this chain alone and
// with the capacity it had then. Earlier writes may have ended it sooner.
DbxMailboxWriter::Staging DbxMailboxWriter::readChain(uint32_t offset, uint32_t chain,
                                                      int64_t total) {
    const ChainMap& chains = mailbox_.chains();
    blocks_.clear();
    int64_t capacity = 0;
    for (uint32_t at = offset;;) {
        if (blocks_.size() == chains.blocksOf(chain))
            return Staging::Refused;
        DbxBlockHeader header;
        const Fetched got = mailbox_.readBlockHeader(at, header, DbxMailbox::Source::Disk);
        if (got == Fetched::Failed)
            return Staging::ReadFailed;
        if (got != Fetched::Bytes || !chains.isBlockOf(chain, at, header.capacity))
            return Staging::Refused;
        blocks_.push_back(header);
        capacity += header.capacity;
        if (capacity >= total || header.next == 0)
            break;
        at = header.next;
    }
    if (total > capacity)
        return Staging::Refused;
    // A chain changed since the scan may now pass a block twice: that block would be
    // written twice, the second time over the text the first put there.
    visited_.clear();
    for (const DbxBlockHeader& block : blocks_)
        visited_.push_back(block.self);
    std::sort(visited_.begin(), visited_.end());
    if (std::adjacent_find(visited_.begin(), visited_.end()) != visited_.end())
        return Staging::Refused;
    return Staging::Staged;
}

DbxMailboxWriter::Staging DbxMailboxWriter::keepSpans(uint32_t message, uint32_t chain,
                                                      const Block& text) {
    const size_t spansBefore = staged_.size();
    const size_t bytesBefore = stagedOld_.size();
    auto refuse = [&](Staging why) {
        staged_.resize(spansBefore);
        stagedOld_.resize(bytesBefore);
        stagedNew_.resize(bytesBefore);
        return why;
    };
    const int64_t total = text.byteSize();
    const uint8_t* source = total > 0 ? text.data() : nullptr;
    int64_t done = 0;
    for (const DbxBlockHeader& header : blocks_) {
        const uint32_t k =
            static_cast<uint32_t>(std::min<int64_t>(total - done, int64_t(header.capacity)));
        const bool last = done + k == total;
        // The same rule once more for the exact bytes about to be written, and what they
        // hold now, read before the first byte is written.
        const uint32_t length = DbxBlockHeader::size + k;
        if (!mailbox_.chains().mayWrite(chain, header.self, length))
            return refuse(Staging::Refused);
        const size_t at = stagedOld_.size();
        stagedOld_.resize(at + length);
        stagedNew_.resize(at + length);
        uint8_t* out = stagedNew_.data() + at;
        // The text may end exactly where a block ends: the link on still has to go.
        DbxBlockHeader{header.self, header.capacity, k, last ? 0 : header.next}.encode(out);
        if (k > 0)
            std::memcpy(out + DbxBlockHeader::size, source + done, k);
        const Fetched got = mailbox_.readFromDisk(header.self, stagedOld_.data() + at, length);
        if (got != Fetched::Bytes)
            return refuse(got == Fetched::Failed ? Staging::ReadFailed : Staging::Refused);
        staged_.push_back({header.self, at, length, message});
        done += k;
        if (last)
            break;
    }
    return Staging::Staged;
}

void DbxMailboxWriter::dropChanged() {
    std::unordered_set<uint32_t> changed;
    std::vector<uint8_t> now;
    for (const Staged& span : staged_) {
        if (changed.count(span.message))
            continue;
        now.resize(span.length);
        if (mailbox_.readFromDisk(span.offset, now.data(), span.length) != Fetched::Bytes ||
            std::memcmp(now.data(), stagedOld_.data() + span.at, span.length) != 0)
            changed.insert(span.message);
    }
    if (changed.empty())
        return;
    std::erase_if(staged_, [&](const Staged& span) { return changed.count(span.message) > 0; });
    for (uint32_t message : changed)
        stagedMessages_.erase(message);
    dropped_ += static_cast<uint32_t>(changed.size());
}

std::vector<Span> DbxMailboxWriter::stagedSpans() const {
    std::vector<Span> spans;
    spans.reserve(staged_.size());
    for (const Staged& span : staged_)
        spans.push_back(
            {span.offset, stagedOld_.data() + span.at, stagedNew_.data() + span.at, span.length});
    return spans;
}

void DbxMailboxWriter::dropStaged() {
    // Cleared, not freed: the next batch reuses the room.
    staged_.clear();
    stagedOld_.clear();
    stagedNew_.clear();
    stagedMessages_.clear();
}

DbxMailboxWriter::Written DbxMailboxWriter::write(const std::vector<Span>& spans) {
    for (const Span& span : spans)
        mailbox_.forgetCached(span.offset, span.length);
    for (size_t begun = 0; begun < spans.size(); ++begun) {
        if (!writeAt(spans[begun].offset, spans[begun].newBytes, spans[begun].length))
            return restore(spans, begun + 1) ? Written::PutBack : Written::NotPutBack;
    }
    return Written::Written;
}

bool DbxMailboxWriter::putBack(const std::vector<Span>& spans) {
    return restore(spans, spans.size());
}

// Puts back the old bytes of the first count spans, each as far as it goes.
bool DbxMailboxWriter::restore(const std::vector<Span>& spans, size_t count) {
    bool whole = true;
    for (size_t i = 0; i < count; ++i)
        whole = writeAt(spans[i].offset, spans[i].oldBytes, spans[i].length) && whole;
    whole = flushFile() && whole;
    for (const Span& span : spans)
        mailbox_.forgetCached(span.offset, span.length);
    return whole;
}

bool DbxMailboxWriter::writeAt(uint64_t offset, const void* bytes, uint32_t count) {
    TOVK_Utils::File* file = mailbox_.writableFile();
    return file && file->seek(static_cast<int64_t>(offset)) && file->write(bytes, count);
}

bool DbxMailboxWriter::flushFile() {
    TOVK_Utils::File* file = mailbox_.writableFile();
    return file && file->flush();
}

} // namespace TOVK_Internet
