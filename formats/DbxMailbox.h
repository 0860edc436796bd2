// DbxMailbox: one Outlook Express mailbox file (.dbx). It tells a mailbox from any other
// file, walks the message index to list where every stored message begins, reads a
// message's raw text from its chain of data blocks, and writes a text back over that
// chain in place. Nothing else in the file is interpreted or changed.
#pragma once

#include "utils/Block.h"
#include "utils/File.h"

#include <cstdint>
#include <vector>

namespace TOVK_Internet {

class DbxMailbox {
public:
    enum class Access {
        Read,      // others may read and write meanwhile
        ReadWrite, // for cutting: others may only read, so nobody changes it under us
    };

    static constexpr uint32_t firstMagic = 0xFE12ADCF;
    static constexpr uint32_t secondMagic = 0x6F74FDC5;
    static constexpr uint32_t rootOffsetPosition = 0xE4;

    DbxMailbox();
    ~DbxMailbox();
    DbxMailbox(const DbxMailbox&) = delete;
    DbxMailbox& operator=(const DbxMailbox&) = delete;

    // True when the file opened and starts with both magics.
    bool open(const TOVK_Utils::Block& path, Access access = Access::Read);
    // The last open failed because another program holds the file.
    bool openWasRefusedAsInUse() const { return inUse_; }
    // Walks the whole index; false when it is damaged (offsets found before stay).
    bool scan();
    // The message's raw text; false when its chain is damaged or ends early. May throw
    // the file layer's int on a failed system call.
    bool readMessage(uint32_t offset, TOVK_Utils::Block& text);
    // Writes the text over the message's chain in place. The whole chain is checked
    // first: when a block is damaged or the text does not fit, nothing is written and
    // the result is false. May throw the file layer's int on a failed system call.
    bool writeMessage(uint32_t offset, const TOVK_Utils::Block& text);
    void close();

    uint64_t fileSize() const { return size_; }

    // First data block of each message, in index order.
    std::vector<uint32_t> messageOffsets;

private:
    struct BlockHeader {
        uint32_t self;
        int32_t capacity;
        int32_t length;
        uint32_t next;
    };
    // Reads bytes at an absolute offset through the read cache; false on a short read.
    bool readAt(uint64_t offset, void* buffer, uint32_t count);
    bool readBlockHeader(uint32_t offset, BlockHeader& header);
    bool inFile(uint64_t offset, uint64_t count) const { return offset + count <= size_; }
    void walkIndex(uint32_t root);
    void readRecord(uint32_t record);
    void writeAt(uint64_t offset, const void* bytes, uint32_t count);

    TOVK_Utils::File file_;
    uint64_t size_ = 0;
    bool inUse_ = false;
    // Reading through a window of the file keeps a message of many small data blocks
    // from costing a system call per block.
    std::vector<uint8_t> cache_;
    uint64_t cacheStart_ = 0;
    uint32_t cacheLength_ = 0;
};

} // namespace TOVK_Internet
