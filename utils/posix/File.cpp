// POSIX backend of File: a file descriptor, read and write looped until done.
#include "utils/File.h"

#include "SyncFs.h"
#include "SystemText.h"
#include "utils/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "files of 2 GiB and more need a 64-bit off_t");

namespace TOVK_Utils {

namespace {

// One call moves at most this much, well inside what every kernel accepts.
constexpr uint32_t chunkBytes = 1u << 30;

} // namespace

bool File::systemOpen(const Block& path, bool write, Sharing, Disposition disposition) {
    SystemText name(path);
    if (!name.valid()) {
        lastError_ = EINVAL;
        return false;
    }
    // Non-blocking only for the open itself: a pipe would otherwise wait for a writer
    // before it could be refused below.
    int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (disposition == CreateNew || disposition == CreateNewOwnerOnly)
        flags |= O_CREAT | O_EXCL;
    else if (disposition == CreateAlways)
        flags |= O_CREAT | O_TRUNC;
    int fd;
    do {
        fd = ::open(name.get(), flags, disposition == CreateNewOwnerOnly ? 0600 : 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        lastError_ = errno;
        return false;
    }
    struct stat status;
    int error = 0;
    if (fstat(fd, &status) != 0)
        error = errno;
    else if (!S_ISREG(status.st_mode))
        error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    if (error != 0) {
        lastError_ = error;
        ::close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    return true;
}

bool File::systemRead(void* buffer, uint32_t count, uint32_t& delivered) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    delivered = 0;
    if (handle_ == -1) {
        lastError_ = EBADF;
        return false;
    }
    while (delivered < count) {
        ssize_t n = ::read(static_cast<int>(handle_), bytes + delivered,
                           std::min(count - delivered, chunkBytes));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            lastError_ = errno;
            return false;
        }
        if (n == 0)
            break; // end of file: a success with fewer bytes, as on Windows
        delivered += static_cast<uint32_t>(n);
    }
    return true;
}

bool File::systemWrite(const void* bytes, uint32_t count, uint32_t& written) {
    const auto* from = static_cast<const uint8_t*>(bytes);
    written = 0;
    if (handle_ == -1) {
        lastError_ = EBADF;
        return false;
    }
    while (written < count) {
        ssize_t n = ::write(static_cast<int>(handle_), from + written,
                            std::min(count - written, chunkBytes));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            lastError_ = n < 0 ? errno : ENOSPC;
            return false;
        }
        written += static_cast<uint32_t>(n);
    }
    return true;
}

bool File::systemSeek(int64_t offset, SeekMethod method, uint64_t& newPosition) {
    int whence = method == FromCurrent ? SEEK_CUR : method == FromEnd ? SEEK_END : SEEK_SET;
    off_t result = lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    if (result < 0) {
        lastError_ = errno;
        return false;
    }
    newPosition = static_cast<uint64_t>(result);
    return true;
}

bool File::systemSize(uint64_t& size) {
    struct stat status;
    if (fstat(static_cast<int>(handle_), &status) != 0) {
        lastError_ = errno;
        return false;
    }
    size = static_cast<uint64_t>(status.st_size);
    return true;
}

bool File::systemFlush() {
    if (!flushMayGoOn()) {
        lastError_ = EIO;
        return false;
    }
    if (fsync(static_cast<int>(handle_)) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool File::flushTogether(const std::vector<File*>& files,
                         const std::vector<FilesInFolder>& others) {
#ifdef __linux__
    // One syncfs writes a file, its name and everything else on its file system: each
    // file system is flushed once, and only groups on none of them need flushes of their
    // own. One file alone is flushed by itself, without waiting for the rest. A kernel
    // whose syncfs may hide an earlier write-back error gets a flush of each file instead.
    if ((files.size() > 1 || !others.empty()) && syncfsTrusted()) {
        std::vector<uint64_t> flushed;
        for (File* file : files) {
            const int fd = static_cast<int>(file->handle_);
            struct stat status;
            if (fstat(fd, &status) != 0) {
                file->lastError_ = errno;
                return false;
            }
            const uint64_t device = static_cast<uint64_t>(status.st_dev);
            if (std::find(flushed.begin(), flushed.end(), device) != flushed.end())
                continue;
            if (!syncFileSystemOf(fd)) {
                file->lastError_ = errno ? errno : EIO;
                return false;
            }
            flushed.push_back(device);
        }
        std::vector<FilesInFolder> elsewhere;
        for (const FilesInFolder& group : others) {
            const FileIdentity folder = fileIdentity(group.folder);
            if (!folder.valid)
                return false; // the files cannot be in a folder that is not there
            if (std::find(flushed.begin(), flushed.end(), folder.device) == flushed.end())
                elsewhere.push_back(group);
        }
        return flushFilesIn(elsewhere);
    }
#endif
    for (File* file : files) {
        if (!file->systemFlush())
            return false;
    }
    return flushFilesIn(others);
}

bool File::lock() {
    struct flock whole = {};
    int fd = static_cast<int>(handle_);
    // A handle that only reads takes a shared lock, which keeps out every writer that locks.
    const int flags = fcntl(fd, F_GETFL);
    whole.l_type = flags != -1 && (flags & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK;
    whole.l_whence = SEEK_SET;
    whole.l_start = 0;
    whole.l_len = 0; // to the end, however far the file grows
    // A lock of the open file rather than of the process where the system has one: a
    // process lock vanishes as soon as any other descriptor of the same file in this
    // process is closed (a backup copy that read the mailbox), and never keeps out a
    // second File of this same process.
    int result = -1;
#ifdef F_OFD_SETLK
    do {
        result = fcntl(fd, F_OFD_SETLK, &whole);
    } while (result != 0 && errno == EINTR);
    if (result == 0)
        return true;
    if (errno != EINVAL) {
        lastError_ = errno;
        return false;
    }
    // A kernel older than the call refuses it; the process lock is the next best thing.
#endif
    do {
        result = fcntl(fd, F_SETLK, &whole);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

bool File::systemClose() {
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    if (::close(static_cast<int>(handle_)) != 0) {
        lastError_ = errno;
        return false;
    }
    return true;
}

// A POSIX read at the end of the file succeeds with fewer bytes; it never fails for it.
bool File::systemErrorIsEndOfFile() const {
    return false;
}

bool File::lastErrorWasSharingViolation() const {
    return false;
}

} // namespace TOVK_Utils
