#include "File.h"

#include <atomic>

namespace TOVK_Utils {

File::~File() {
    close();
}

bool File::fail(int error) {
    if (raiseErrors_)
        throw error;
    return false;
}

bool File::failSystem() {
    return fail(systemErrorIsEndOfFile() ? FileEndOfFile : FileFailure);
}

bool File::open(const Block& path, bool write, Sharing sharing, Disposition disposition) {
    close();
    position_ = 0;
    size_ = 0;
    lastReadCount_ = 0;
    lastError_ = 0;
    if (!systemOpen(path, write, sharing, disposition))
        return failSystem();
    // A size left over from an earlier file would make readRest read the wrong amount.
    if (!systemSize(size_)) {
        uint32_t error = lastError_;
        close();
        lastError_ = error;
        return failSystem();
    }
    return true;
}

bool File::openForReading(const Block& path, Access access) {
    return openForReading(path, access, ShareReadWrite);
}

bool File::openForReading(const Block& path, Access access, Sharing sharing) {
    return open(path, access == Access::ReadWrite, sharing, OpenExisting);
}

bool File::openForWriting(const Block& path, IfExists ifExists, Readers readers) {
    if (readers == Readers::OwnerOnly && ifExists == IfExists::Fail)
        return open(path, true, ShareRead, CreateNewOwnerOnly);
    return open(path, true, ShareRead, ifExists == IfExists::Replace ? CreateAlways : CreateNew);
}

bool File::seek(int64_t offset, SeekMethod method) {
    uint64_t newPosition = 0;
    if (!systemSeek(offset, method, newPosition))
        return failSystem();
    position_ = newPosition;
    return true;
}

namespace {

std::atomic<File::ReadFaultProbe> readFaultProbe{nullptr};

} // namespace

bool File::readBytes(void* buffer, uint32_t count) {
    if (const ReadFaultProbe refuses = readFaultProbe.load(std::memory_order_relaxed);
        refuses && !refuses()) {
        lastError_ = 0;
        lastReadCount_ = 0;
        return false;
    }
    uint32_t delivered = 0;
    bool ok = systemRead(buffer, count, delivered);
    lastReadCount_ = delivered;
    position_ += delivered;
    return ok;
}

bool File::readSome(void* buffer, uint32_t count) {
    if (!readBytes(buffer, count))
        return failSystem();
    return true;
}

bool File::read(void* buffer, uint32_t count) {
    if (!readBytes(buffer, count))
        return failSystem();
    if (lastReadCount_ < count) {
        lastError_ = 0;
        return fail(FileEndOfFile);
    }
    return true;
}

bool File::read(Block& block, uint32_t count, Placement placement) {
    int32_t earlier = 0;
    if (placement == Placement::Append) {
        if (block.isWide())
            return fail(FileFailure);
        earlier = block.length();
    } else {
        block.setWide(false);
    }
    if (count > MaxBlockBytes - static_cast<uint32_t>(earlier)) {
        block.resize(earlier);
        return fail(FileFailure);
    }
    int32_t wanted = earlier + static_cast<int32_t>(count);
    // Resized, not replaced: a reused buffer keeps its storage (and its committed pages).
    block.resize(wanted);
    lastReadCount_ = 0;
    if (count == 0)
        return true;
    bool ok = readBytes(block.data() + earlier, count);
    // Never hand out bytes that were not read: the block keeps what came, and nothing of
    // a failed read.
    block.resize(earlier + static_cast<int32_t>(ok ? lastReadCount_ : 0));
    if (!ok)
        return failSystem();
    if (lastReadCount_ < count) {
        lastError_ = 0;
        return fail(FileEndOfFile);
    }
    return true;
}

bool File::readRest(Block& block) {
    block.setWide(false);
    block.clear();
    if (!keepSize_ && !refreshSize())
        return false;
    uint64_t rest = size_ > position_ ? size_ - position_ : 0;
    if (rest > MaxBlockBytes) {
        lastError_ = 0;
        return fail(FileFailure);
    }
    return read(block, static_cast<uint32_t>(rest), Placement::Replace);
}

namespace {

std::atomic<File::WriteProbe> writeProbe{nullptr};
std::atomic<File::FlushProbe> flushProbe{nullptr};
std::atomic<File::WriteFaultProbe> writeFaultProbe{nullptr};

} // namespace

void File::setWriteProbe(WriteProbe probe) {
    writeProbe.store(probe);
}

void File::setFlushProbe(FlushProbe probe) {
    flushProbe.store(probe);
}

void File::setWriteFaultProbe(WriteFaultProbe probe) {
    writeFaultProbe.store(probe);
}

void File::setReadFaultProbe(ReadFaultProbe probe) {
    readFaultProbe.store(probe);
}

bool File::flushMayGoOn() {
    const FlushProbe probe = flushProbe.load(std::memory_order_relaxed);
    return !probe || probe();
}

bool File::write(const void* bytes, uint32_t count) {
    if (const WriteProbe probe = writeProbe.load(std::memory_order_relaxed))
        probe();
    if (const WriteFaultProbe refuses = writeFaultProbe.load(std::memory_order_relaxed);
        refuses && !refuses()) {
        lastError_ = 0;
        return fail(FileFailure);
    }
    uint32_t written = 0;
    bool ok = systemWrite(bytes, count, written);
    position_ += written;
    if (!ok)
        return failSystem();
    if (written < count) {
        lastError_ = 0;
        return fail(FileFailure);
    }
    return true;
}

bool File::write(const Block& block) {
    int32_t bytes = block.byteSize();
    // An empty block may have no storage at all, and asking for it would be fatal.
    if (bytes <= 0)
        return true;
    return write(block.data(), static_cast<uint32_t>(bytes));
}

bool File::flush() {
    if (!systemFlush())
        return failSystem();
    return true;
}

bool File::refreshSize() {
    uint64_t size = 0;
    if (!systemSize(size))
        return failSystem();
    size_ = size;
    return true;
}

uint64_t File::getSize(Refresh refresh) {
    if (refresh == Refresh::Always || !keepSize_)
        refreshSize();
    return size_;
}

int File::close() {
    if (handle_ == -1)
        return -1;
    bool ok = systemClose();
    handle_ = -1;
    return ok ? 1 : 0;
}

} // namespace TOVK_Utils
