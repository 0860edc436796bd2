// DbxMailbox: one Outlook Express mailbox file (.dbx). It tells a mailbox from any other
// file, walks the message index to list where every stored message begins, reads a
// message's raw text from its chain of data blocks, and writes a text back over that
// chain in place. Nothing else in the file is interpreted or changed.
#pragma once

#include "formats/ChainMap.h"
#include "formats/WriteJournal.h"
#include "utils/Block.h"
#include "utils/File.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace TOVK_Internet {

struct DbxBlockHeader;

class DbxMailbox {
public:
    enum class Access {
        Read,      // others may read and write meanwhile
        ReadWrite, // for cutting: others may only read, so nobody changes it under us
    };

    static constexpr uint32_t firstMagic = 0xFE12ADCF;
    static constexpr uint32_t secondMagic = 0x6F74FDC5;
    static constexpr uint32_t rootOffsetPosition = 0xE4;
    // The file header's size: whatever it holds beyond the magics and the root belongs to
    // the mail client, and no chain may reach into it.
    static constexpr uint32_t headerSize = 0x24BC;

    DbxMailbox();
    virtual ~DbxMailbox();
    DbxMailbox(const DbxMailbox&) = delete;
    DbxMailbox& operator=(const DbxMailbox&) = delete;

    enum class Open {
        Opened,      // the file starts with both magics; it stays open
        InUse,       // another program holds it (for cutting: has it open, or locked)
        NotAMailbox, // it could not be opened, or it is no mailbox
    };
    Open open(const TOVK_Utils::Block& path, Access access = Access::Read);
    // Walks the whole index; false when it is damaged (offsets found before stay). Opened
    // for cutting, it also walks the block headers of every message's chain once and
    // notes the bytes each chain, the file header, each index node and each record take:
    // a write may then go only into bytes that belong to its own message alone. A scan
    // that failed allows no write at all.
    bool scan();
    // Finds the messages from the data blocks alone (DbxCarver), for a mailbox whose index
    // cannot be read, or on request. After a scan that walked the whole index the messages
    // it names keep their places and the chains it does not name follow them; otherwise
    // the list holds the carved chains alone, in file order. A carved mailbox takes no
    // write. False, with the list as it was, when the file could not be read.
    bool carve();
    // Of messageOffsets, the first this many came from the index (all of them when no
    // carve was made, none when the index could not be read).
    size_t indexedMessages() const { return carved_ ? indexed_ : messageOffsets.size(); }
    bool wasCarved() const { return carved_; }
    // The last scan walked the whole index.
    bool indexWasRead() const { return indexRead_; }
    // Takes the list of an earlier carve of the same, unchanged file (a job carves each
    // mailbox once): as carve() would leave it, without reading the file again.
    void takeCarved(std::vector<uint32_t> offsets, size_t indexed);
    enum class Read {
        Complete,     // the whole chain was read
        ChainDamaged, // the chain breaks off, loops, or ends early: text holds what came before
        Unreadable,   // a system call failed: the file could not be read
    };
    // The message's raw text.
    Read readMessage(uint32_t offset, TOVK_Utils::Block& text);
    // Writes the text over the message's chain in place. Refused (false, nothing written)
    // unless the mailbox was opened for cutting and scanned completely, the chain was sound
    // at the scan, shares no byte with another chain or with the index, is still as the
    // scan found it, and takes the whole text; also when the journal does not take the old
    // bytes. A failed system call before the first write throws the file layer's int with
    // nothing written. One during the writes or the flush puts the message's original bytes
    // back (best effort, never throwing) and then rethrows the same int: the message is as
    // it was when lastWriteRestored() says so, and otherwise the journal, left uncleared,
    // holds the old bytes for the next open to put back.
    bool writeMessage(uint32_t offset, const TOVK_Utils::Block& text);
    // The journal that takes the old bytes before each write, or null to write without one
    // (then nothing is flushed either). Not owned; it must outlive the writes.
    // With Settle::OnRequest writeMessage only checks the text and keeps it: settle()
    // journals every message kept since in one flush, writes them, flushes the mailbox and
    // clears the journal, so that a few flushes serve many messages. Until the journal is
    // cleared it holds their old bytes, and a crash puts them back, which loses nothing.
    enum class Settle { AfterEachMessage, OnRequest };
    void setJournal(WriteJournal* journal, Settle settle = Settle::AfterEachMessage) {
        journal_ = journal;
        settleEachMessage_ = settle == Settle::AfterEachMessage;
    }
    // Writes the messages kept since the last settle (see setJournal), flushes the
    // mailbox, then clears the journal. False (never throws) when any step failed: then
    // lastWriteRestored() says whether those messages are as they were, and otherwise the
    // journal keeps their old bytes for the next open.
    bool settle();
    // For a mailbox whose messages were all processed and whose cuts wait to be settled:
    // lets go of the read cache and of what the scan found, which settling does not need,
    // so that a mailbox waiting costs no more than its waiting texts. Afterwards no text is
    // taken for writing, and messageOffsets is empty.
    void keepOnlyStaged();
    // settle() for several mailboxes at once, each with its journal and Settle::OnRequest:
    // one flush of all their journals (and the files alongside them), then one of all the
    // mailboxes, where settling them one by one costs two flushes each. Says for each
    // mailbox whether its messages were written, as settle() would.
    static std::vector<bool> settleTogether(const std::vector<DbxMailbox*>& boxes);
    // After writeMessage threw or settle() failed: every byte written was put back and
    // flushed (or none was written).
    bool lastWriteRestored() const { return restored_; }
    void close();

    uint64_t fileSize() const { return size_; }

    // First data block of each message, in index order.
    std::vector<uint32_t> messageOffsets;

protected:
    // Every byte that goes into the mailbox passes here, and every flush, so that a test
    // can make a chosen write fail. Both throw the file layer's int on failure.
    virtual void writeAt(uint64_t offset, const void* bytes, uint32_t count);
    virtual void flushFile();
    // Flushes this mailbox's file and the others' together (flushFile when alone).
    virtual void flushTogetherWith(const std::vector<DbxMailbox*>& others);

public:
    enum class Fetched {
        Bytes,    // all of them
        NotThere, // not all in the file (or, for a block header, no whole block there)
        Failed,   // a system call failed
    };
    // Past the read cache, straight from the file: what a write is checked against and
    // what the journal keeps must be what the disk holds now, not what the cache kept from
    // before another program changed the file.
    Fetched readFromDisk(uint64_t offset, void* buffer, uint32_t count);
    enum class Source { Cache, Disk };
    Fetched readBlockHeader(uint32_t offset, DbxBlockHeader& header, Source source);
    // Forgets what the cache holds of bytes about to be written.
    void forgetCached(uint64_t offset, uint64_t count);

private:
    // Reads bytes at an absolute offset through the page cache.
    Fetched readAt(uint64_t offset, void* buffer, uint32_t count);
    // The cached page, read on a miss together with what the read pattern suggests (up to
    // reach when the pattern gives nothing); data null when the file ends before it. False
    // when the read failed.
    bool page(uint64_t number, uint64_t reach, const uint8_t*& data, uint32_t& filled);
    bool loadPages(uint64_t first, uint32_t count);
    bool inFile(uint64_t offset, uint64_t count) const { return offset + count <= size_; }
    Read appendBody(uint32_t block, uint32_t length, TOVK_Utils::Block& text);
    // False when the index is damaged or could not be read.
    bool walkIndex(uint32_t root);
    bool readRecord(uint32_t record);
    bool restore(const std::vector<WriteJournal::Span>& spans, size_t count);
    bool stage(uint32_t offset, const std::vector<WriteJournal::Span>& spans);
    std::vector<WriteJournal::Span> stagedSpans() const;
    void dropStaged();
    // Writes the spans' new bytes; on a failed write puts the old ones back (see restore)
    // and returns false.
    bool writeSpans(const std::vector<WriteJournal::Span>& spans);

    TOVK_Utils::File file_;
    uint64_t size_ = 0;
    bool writable_ = false;
    bool indexRead_ = false; // the last scan walked the whole index
    bool carved_ = false;
    size_t indexed_ = 0;

    // A page cache of the file. Reading through it keeps a message of many small blocks
    // from costing a system call per block, and keeping many small pages instead of one
    // large window keeps a chain whose blocks lie out of order from rereading the same
    // megabyte for every block. A run of the file read in order is read ahead in large
    // pieces. Its size is fixed, whatever the mailbox's.
    std::vector<uint8_t> pages_;
    std::vector<uint64_t> pageHeld_;   // per slot: the page number plus one, 0 when empty
    std::vector<uint32_t> pageFilled_; // per slot: bytes read, short only at the file's end
    uint32_t slots_ = 0;
    uint64_t streamEnd_ = 0; // page after the last read-ahead run
    uint64_t singleEnd_ = 0; // page after the last small read

    // What the scan found, for writes.
    ChainMap chains_;

    WriteJournal* journal_ = nullptr;
    bool settleEachMessage_ = true;
    bool restored_ = false;
    // Messages checked and kept for the next settle(): their spans' old and new bytes.
    struct Staged {
        uint64_t offset;
        size_t at;
        uint32_t length;
    };
    std::vector<Staged> staged_;
    std::vector<uint8_t> stagedOld_, stagedNew_;
    std::unordered_set<uint32_t> stagedMessages_;
    std::vector<uint8_t> oldBytes_; // reused between writes: no heap growth per message
    std::vector<uint8_t> newBytes_;
};

} // namespace TOVK_Internet
