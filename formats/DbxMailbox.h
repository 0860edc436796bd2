// DbxMailbox: one Outlook Express mailbox file (.dbx), read. It tells a mailbox from any
// other file, walks the message index to list where every stored message begins, and
// reads a message's raw text from its chain of data blocks. Opened for cutting, its scan
// also maps which bytes belong to which chain (ChainMap), and a DbxMailboxWriter writes
// cut texts back through it. Nothing else in the file is interpreted or changed.
#pragma once

#include "formats/ChainMap.h"
#include "utils/Block.h"
#include "utils/File.h"

#include <cstddef>
#include <cstdint>
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
    ~DbxMailbox();
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
    // The last scan found an index root of 0 ("no messages") in a file that holds message
    // blocks all the same: the index was lost, and the scan failed as for a damaged one.
    bool indexLostOverBlocks() const { return indexLost_; }
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
    // For a mailbox whose messages were all processed and whose cuts wait to be settled:
    // lets go of the read cache and of what the scan found, which settling does not need,
    // so that a mailbox waiting costs no more than its waiting texts. Afterwards no text is
    // staged for writing, and messageOffsets is empty.
    void releaseScan();
    void close();

    uint64_t fileSize() const { return size_; }

    // First data block of each message, in index order.
    std::vector<uint32_t> messageOffsets;

    // The writer's way in (DbxMailboxWriter).
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
    // What the scan found, for the writer: empty unless opened for cutting and scanned whole.
    const ChainMap& chains() const { return chains_; }
    // The open file, for the writer; null unless opened for cutting.
    TOVK_Utils::File* writableFile() { return writable_ && file_.isOpen() ? &file_ : nullptr; }

private:
    // Reads bytes at an absolute offset through the page cache.
    Fetched readAt(uint64_t offset, void* buffer, uint32_t count);
    // The cached page, read on a miss together with what the read pattern suggests (up to
    // reach when the pattern gives nothing); data null when the file ends before it. False
    // when the read failed.
    bool page(uint64_t number, uint64_t reach, const uint8_t*& data, uint32_t& filled);
    bool loadPages(uint64_t first, uint32_t count);
    bool inFile(uint64_t offset, uint64_t count) const { return offset + count <= size_; }
    // False when the index is damaged or could not be read.
    bool walkIndex(uint32_t root);
    bool readRecord(uint32_t record);

    TOVK_Utils::File file_;
    uint64_t size_ = 0;
    bool writable_ = false;
    bool indexRead_ = false; // the last scan walked the whole index
    bool carved_ = false;
    bool indexLost_ = false;
    bool holdsBlocks();
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
};

} // namespace TOVK_Internet
