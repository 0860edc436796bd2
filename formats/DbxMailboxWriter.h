// DbxMailboxWriter: writes cut texts back over their messages' chains in place, never
// allocating or moving a block. stage() checks a text against the chain as the disk holds
// it now and keeps what it would write: one span per block that takes text (its header and
// the body bytes the text uses) with the bytes the span holds now. Nothing reaches the
// mailbox then; DbxCommit decides when the spans are journaled, written and flushed, and a
// writer dropped with texts staged has written nothing. The blocks behind the last one that
// takes text keep their bytes and leave the chain.
#pragma once

#include "formats/DbxBlockHeader.h"
#include "formats/DbxMailbox.h"
#include "formats/WriteJournal.h"
#include "utils/Block.h"
#include "utils/File.h"

#include <cstdint>
#include <unordered_set>
#include <utility>
#include <vector>

namespace TOVK_Internet {

class DbxMailboxWriter {
public:
    // The mailbox opened for cutting and scanned; it must outlive the writer.
    explicit DbxMailboxWriter(DbxMailbox& mailbox) : mailbox_(mailbox) {}
    virtual ~DbxMailboxWriter() = default;
    DbxMailboxWriter(const DbxMailboxWriter&) = delete;
    DbxMailboxWriter& operator=(const DbxMailboxWriter&) = delete;

    enum class Staging {
        Staged, // checked and kept for the next settle
        // Nothing kept: the mailbox was not scanned whole for cutting (or was carved, or let
        // go of its scan), the chain was not sound at the scan, shares a byte with another
        // chain or the index, is no longer as the scan found it, or cannot take the whole
        // text; or a text for the message waits already (the blocks it was checked against
        // are about to change).
        Refused,
        ReadFailed, // the blocks could not be read to check them: nothing kept
    };
    Staging stage(uint32_t offset, const TOVK_Utils::Block& text);

    // What DbxCommit settles with.
    bool hasStaged() const { return !staged_.empty(); }
    // Reads every staged span again and drops the messages whose bytes are no longer the
    // old ones staged (another program wrote the mailbox since, or they cannot be read):
    // a change made meanwhile is never overwritten. Counted for takeDropped.
    void dropChanged();
    // The messages dropChanged dropped since the last call.
    uint32_t takeDropped() { return std::exchange(dropped_, 0); }
    // Pointers into the writer: valid until the next stage or dropStaged.
    std::vector<WriteJournal::Span> stagedSpans() const;
    void dropStaged();
    enum class Written {
        Written,
        PutBack,    // a write failed; the old bytes are back and flushed: as it was
        NotPutBack, // a write failed, and not every old byte could be put back now
    };
    // Writes the spans' new bytes; on a failed write puts back the old bytes of every span
    // begun (the last of them may be torn) and flushes them.
    Written write(const std::vector<WriteJournal::Span>& spans);
    // Puts every span's old bytes back and flushes them; true when all are on the disk.
    bool putBack(const std::vector<WriteJournal::Span>& spans);
    bool flush() { return flushFile(); }
    // The mailbox's file, for a flush shared with other mailboxes; null when not open for
    // cutting.
    TOVK_Utils::File* file() { return mailbox_.writableFile(); }

protected:
    // Every byte that goes into the mailbox passes here, and every flush, so that a test
    // can make a chosen write fail.
    virtual bool writeAt(uint64_t offset, const void* bytes, uint32_t count);
    virtual bool flushFile();

private:
    // The chain's blocks as far as the text needs them, into blocks_.
    Staging readChain(uint32_t offset, uint32_t chain, int64_t total);
    // The spans of blocks_ for the text, appended to the staged ones (or none of them).
    Staging keepSpans(uint32_t message, uint32_t chain, const TOVK_Utils::Block& text);
    bool restore(const std::vector<WriteJournal::Span>& spans, size_t count);

    DbxMailbox& mailbox_;
    // The spans of the messages staged: where each lies in the two byte stores.
    struct Staged {
        uint64_t offset;
        size_t at;
        uint32_t length;
        uint32_t message; // the message's first block
    };
    uint32_t dropped_ = 0;
    std::vector<Staged> staged_;
    std::vector<uint8_t> stagedOld_, stagedNew_;
    std::unordered_set<uint32_t> stagedMessages_;
    // Reused between messages: no heap growth per message.
    std::vector<DbxBlockHeader> blocks_;
    std::vector<uint32_t> visited_;
};

} // namespace TOVK_Internet
