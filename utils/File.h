// File: one open file handle with the position kept by the object. Failures return false,
// or, with raising on (the mailbox reader), throw an int: FileEndOfFile (1) when a read
// ran out of file, FileFailure (0) for anything else. The object stays usable after a
// failure; the handle is not closed by it.
//
// Reads are exact: read(buffer, count) and the block reads succeed only when all count
// bytes came. A read that meets the end of the file first delivers what there was
// (lastReadCount tells how much) and fails with FileEndOfFile. This is the same on every
// platform, whatever the system reports at the end (Windows delivers 0 bytes and success,
// POSIX too), so a caller can never mistake a short read for a full one. readSome is the
// one read for which fewer bytes are not a failure (buffered readers use it).
//
// Only regular files open: a directory, device or pipe is refused. Sizes and positions
// are 64-bit throughout.
#pragma once

#include "Block.h"

#include <cstdint>
#include <vector>

namespace TOVK_Utils {

struct FilesInFolder;

// What a call that creates a file does when one is already there: fail and leave it
// untouched, or replace it.
enum class IfExists { Fail, Replace };
// Who may read a file that a call creates new (IfExists::Fail): whoever the system's
// defaults let, or its owner alone (POSIX mode 0600; on Windows the defaults), so that a
// copy of a private file is never readable by others, not even for a moment.
enum class Readers { Default, OwnerOnly };

constexpr int FileFailure = 0;
constexpr int FileEndOfFile = 1;

class File {
public:
    enum SeekMethod { FromStart = 0, FromCurrent = 1, FromEnd = 2 };
    // What other handles on the same file may do meanwhile. POSIX has no mandatory
    // sharing, so there the choice is not enforced and no sharing violation is reported.
    enum Sharing { ShareRead = 1, ShareReadWrite = 3 };
    // What this handle may do with an existing file.
    enum class Access { ReadOnly, ReadWrite };
    // Where a block read puts the bytes: in place of the block's content, or behind it.
    enum class Placement { Replace, Append };
    // Whether getSize asks the system again although the size is kept (setKeepSize).
    enum class Refresh { IfNotKept, Always };

    // The most bytes a Block can take from a file (its sizes are signed 32-bit, and a
    // String keeps a terminator behind them).
    static constexpr uint32_t MaxBlockBytes = 0x7FFFFFFE;

    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    // An existing file, read access (or read and write); others may read and write
    // meanwhile unless a narrower sharing is asked for. Position 0, size taken.
    bool openForReading(const Block& path, Access access = Access::ReadOnly);
    bool openForReading(const Block& path, Access access, Sharing sharing);
    // Read and write access, others may only read. An existing file is emptied
    // (IfExists::Replace) or makes the open fail and stays untouched (IfExists::Fail).
    bool openForWriting(const Block& path, IfExists ifExists, Readers readers = Readers::Default);

    // Moves the position; before the start of the file is a failure, past the end is not.
    bool seek(int64_t offset, SeekMethod method = FromStart);
    bool read(void* buffer, uint32_t count);
    // Fewer bytes than count (also 0 at the end) are a success; lastReadCount tells.
    bool readSome(void* buffer, uint32_t count);
    // Reads count bytes into the block: behind its current end (Placement::Append), or
    // in place of its content (Placement::Replace; the block becomes 8-bit). The block keeps
    // exactly the bytes that came: after a short read only those (and the call fails with
    // FileEndOfFile), after a failed read none. Appending to a wide block is refused.
    bool read(Block& block, uint32_t count, Placement placement);
    // The bytes from the position to the end, by the size taken afresh (or the kept one);
    // a rest larger than MaxBlockBytes fails and leaves the block empty.
    bool readRest(Block& block);
    // True only when all count bytes were written.
    bool write(const void* bytes, uint32_t count);
    bool write(const Block& block); // the block's bytes (a String's without its terminator)
    // Pushes what was written to the disk, so that a rename after it cannot leave an
    // empty file behind on a crash.
    bool flush();
    // The same for several open files, together with closed files and folders' names
    // that must be on the disk no later than they (see flushFilesIn). On Linux one flush of
    // each file system involved does it all, where a flush per file costs the disk a cache
    // flush each. Never throws: a file that failed keeps its error (lastError).
    static bool flushTogether(const std::vector<File*>& files,
                              const std::vector<FilesInFolder>& others);
    // An exclusive lock on the whole open file, so that a second process which cuts or
    // recovers the same mailbox stays out; false at once when another holds it (never
    // waits, never throws). On a handle that only reads, the lock is shared: others that
    // only read may lock too, no writer that locks gets in. Released by close. On POSIX the lock
    // binds only those that ask for it too (another File of this process as well); on Windows an
    // open with ShareRead already keeps every other writer out, so there it only says yes.
    bool lock();

    // The file's size, asked from the system unless keepSize is on and no refresh is asked.
    uint64_t getSize(Refresh refresh = Refresh::IfNotKept);
    // 1 closed, 0 the system reported an error while closing (the handle is gone all the
    // same), -1 no file was open.
    int close();

    void setRaiseErrors(bool on) { raiseErrors_ = on; }
    void setKeepSize(bool on) { keepSize_ = on; }

    // For crash tests: called before every write of every File, so that a test can end
    // the process at a chosen write and show that whatever is then on the disk is put
    // right. Null (the default) calls nothing.
    using WriteProbe = void (*)();
    static void setWriteProbe(WriteProbe probe);
    // For fault tests: asked before every flush to the disk (of a file, of a folder's names
    // or of a whole file system); false makes that flush fail as a write-back error would,
    // so that a test can show what each flush's failure leaves. Null (the default): none.
    using FlushProbe = bool (*)();
    static void setFlushProbe(FlushProbe probe);
    // What the probe says of the flush about to be made: false when it must fail.
    static bool flushMayGoOn();
    // For fault tests: asked before every write, after the write probe; false makes that
    // write fail with nothing written, as a disk error would. Null (the default): none.
    using WriteFaultProbe = bool (*)();
    static void setWriteFaultProbe(WriteFaultProbe probe);
    // For fault tests: asked before every read; false makes that read fail with nothing
    // read, as a damaged disk would. Null (the default): none.
    using ReadFaultProbe = bool (*)();
    static void setReadFaultProbe(ReadFaultProbe probe);

    bool isOpen() const { return handle_ != -1; }
    uint64_t position() const { return position_; }
    uint32_t lastReadCount() const { return lastReadCount_; }
    // The system's code for the last failed call (GetLastError, errno); 0 when the last
    // failure was a short read or write rather than a failed call.
    uint32_t lastError() const { return lastError_; }
    // The last open failed because another program holds the file in a way that the
    // asked sharing does not allow (Windows' ERROR_SHARING_VIOLATION).
    bool lastErrorWasSharingViolation() const;

private:
    enum Disposition { OpenExisting, CreateNew, CreateAlways, CreateNewOwnerOnly };
    bool open(const Block& path, bool write, Sharing sharing, Disposition disposition);
    bool fail(int error);
    bool failSystem(); // a failed call: FileEndOfFile only when the system says so
    bool refreshSize();
    bool readBytes(void* buffer, uint32_t count);

    // The backend's calls. Each stores the system's error code in lastError_ on failure.
    bool systemOpen(const Block& path, bool write, Sharing sharing, Disposition disposition);
    bool systemRead(void* buffer, uint32_t count, uint32_t& delivered);
    bool systemWrite(const void* bytes, uint32_t count, uint32_t& written);
    bool systemSeek(int64_t offset, SeekMethod method, uint64_t& newPosition);
    bool systemSize(uint64_t& size);
    bool systemFlush();
    bool systemClose();
    bool systemErrorIsEndOfFile() const;

    intptr_t handle_ = -1; // HANDLE or file descriptor
    uint64_t position_ = 0;
    uint64_t size_ = 0;
    uint32_t lastReadCount_ = 0;
    uint32_t lastError_ = 0;
    bool keepSize_ = false;
    bool raiseErrors_ = false;
};

} // namespace TOVK_Utils
