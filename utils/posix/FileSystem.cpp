// POSIX backend of the file system helpers: stat, mkdir, unlink, rename, and a copy
// through a buffer.
#include "utils/FileSystem.h"

#include "SyncFs.h"
#include "SystemText.h"
#include "utils/FileSystemBackend.h"
#include "utils/Path.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace TOVK_Utils {

// NAME_MAX, and PATH_MAX less its terminating zero.
const PathRules hostPathRules = {
    .separator = '/', .driveAndNetworkRoots = false, .longestName = 255, .longestPath = 4095};

bool wideCallsAvailable() {
    return true;
}

bool widePathsPreferred() {
    return false;
}

uint32_t posixAttributes(const char* path, uint64_t* size) {
    struct stat status;
    if (lstat(path, &status) != 0)
        return NoAttributes;
    uint32_t attributes = AttributeNormal;
    if (S_ISLNK(status.st_mode)) {
        // Windows reports a link as a reparse point, a folder too when it names one.
        attributes = AttributeReparsePoint;
        struct stat target;
        if (stat(path, &target) == 0) {
            status = target;
            if (S_ISDIR(target.st_mode))
                attributes |= AttributeDirectory;
        } else {
            status.st_size = 0;
        }
    } else if (S_ISDIR(status.st_mode)) {
        attributes = AttributeDirectory;
    }
    if (size)
        *size = S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 0;
    return attributes;
}

uint32_t getAttributes(const Block& path) {
    SystemText name(path);
    return name.valid() ? posixAttributes(name.get()) : NoAttributes;
}

bool modificationTime(const Block& path, int64_t& secondsSince1970) {
    SystemText name(path);
    struct stat status;
    if (!name.valid() || stat(name.get(), &status) != 0)
        return false;
    secondsSince1970 = static_cast<int64_t>(status.st_mtim.tv_sec);
    return true;
}

bool setModificationTime(const Block& path, int64_t secondsSince1970) {
    SystemText name(path);
    const struct timespec when = {static_cast<time_t>(secondsSince1970), 0};
    const struct timespec times[2] = {when, when};
    return name.valid() && utimensat(AT_FDCWD, name.get(), times, 0) == 0;
}

bool makeDirectory(const Block& path) {
    SystemText name(path);
    return name.valid() && mkdir(name.get(), 0777) == 0;
}

bool removeFile(const Block& path) {
    SystemText name(path);
    return name.valid() && unlink(name.get()) == 0;
}

bool renameFile(const Block& from, const Block& to) {
    SystemText source(from);
    SystemText target(to);
    return source.valid() && target.valid() && rename(source.get(), target.get()) == 0;
}

FileIdentity fileIdentity(const Block& path) {
    SystemText name(path);
    struct stat status;
    if (!name.valid() || stat(name.get(), &status) != 0)
        return {};
    return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino), true};
}

FileState fileState(const Block& path) {
    SystemText name(path);
    struct stat status;
    if (!name.valid() || stat(name.get(), &status) != 0)
        return {};
    return {{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino), true},
            static_cast<uint64_t>(status.st_size),
            static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

bool isReadOnly(const Block& path) {
    SystemText name(path);
    struct stat status;
    if (!name.valid() || stat(name.get(), &status) != 0)
        return false;
    return (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(name.get(), W_OK) != 0;
}

bool followLinks(Path& path) {
    SystemText name(path);
    if (!name.valid())
        return false;
    char* real = realpath(name.get(), nullptr);
    if (!real)
        return false;
    const bool assigned = path.assign(Block(real));
    std::free(real);
    return assigned;
}

uint32_t hardLinkCount(const Block& path) {
    SystemText name(path);
    struct stat status;
    if (!name.valid() || stat(name.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return 0;
    return status.st_nlink > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(status.st_nlink);
}

namespace {

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool copyBytes(int from, int to) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t done = 0; done < n;) {
            ssize_t written = ::write(to, buffer.data() + done, static_cast<size_t>(n - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            done += written;
        }
    }
}

// Gives the finished temporary what the original had. The owner goes first: a change of
// owner clears the set-user and set-group bits, which the mode then puts back, but only
// where the owner or group really is the original's, so that a file of ours never becomes
// set-user-ID to us.
bool takeOverStatus(const char* temporary, const struct stat& original) {
    int fd = openRetrying(temporary, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return false;
    }
    // Only a privileged process may give a file away; an ordinary one may still pick
    // another of its own groups. Either may be refused, and the file is still usable.
    if (status.st_uid != original.st_uid || status.st_gid != original.st_gid) {
        if (fchown(fd, original.st_uid, original.st_gid) != 0)
            fchown(fd, static_cast<uid_t>(-1), original.st_gid);
        fstat(fd, &status);
    }
    mode_t mode = original.st_mode & 07777;
    if (status.st_uid != original.st_uid)
        mode &= ~static_cast<mode_t>(S_ISUID);
    if (status.st_gid != original.st_gid)
        mode &= ~static_cast<mode_t>(S_ISGID);
    // A mode that did not take could leave a private message readable by others.
    bool done = fchmod(fd, mode) == 0;
    struct timespec times[2] = {original.st_atim, original.st_mtim};
    futimens(fd, times);
    ::close(fd);
    return done;
}

} // namespace

bool replaceKeepingAttributes(const Path& temporary, const Path& target) {
    SystemText source(temporary);
    SystemText destination(target);
    if (!source.valid() || !destination.valid())
        return false;
    // lstat, not stat: a link is replaced, not followed, and its own mode (0777) is no
    // mode for a file.
    struct stat original;
    if (lstat(destination.get(), &original) == 0 && S_ISREG(original.st_mode) &&
        !takeOverStatus(source.get(), original))
        return false;
    return rename(source.get(), destination.get()) == 0;
}

namespace {

bool syncAndClose(int fd) {
    if (!File::flushMayGoOn()) {
        ::close(fd);
        return false;
    }
    int result;
    do {
        result = fsync(fd);
    } while (result != 0 && errno == EINTR);
    // A file system that cannot sync this kind of file (some cannot sync a folder) says
    // EINVAL: there is nothing more that could be asked of it.
    bool synced = result == 0 || errno == EINVAL;
    return ::close(fd) == 0 && synced;
}

// A regular file opened for reading, or -1. Opened without blocking, so that a FIFO or a
// device under the name cannot hang the job; status: what fstat said of it.
int openRegularFile(const char* name, struct stat& status) {
    int fd = openRetrying(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

bool flushFile(const Block& path) {
    SystemText name(path);
    if (!name.valid())
        return false;
    // Read access is enough for fsync, and a file the user made read-only still flushes.
    struct stat status;
    int fd = openRegularFile(name.get(), status);
    return fd >= 0 && syncAndClose(fd);
}

bool flushFilesIn(const Block& folder, const std::vector<String>& files) {
    if (files.empty())
        return true;
    return flushFilesIn({FilesInFolder{String(folder), files}});
}

namespace {

// Each file, then each folder's names: for systems without syncfs, and for kernels whose
// syncfs may hide an earlier write-back error.
bool flushEachIn(const std::vector<FilesInFolder>& groups) {
    bool flushed = true;
    for (const FilesInFolder& group : groups) {
        for (const String& file : group.files)
            flushed = flushFile(file) && flushed;
        flushed = flushDirectory(group.folder) && flushed;
    }
    return flushed;
}

} // namespace

bool flushFilesIn(const std::vector<FilesInFolder>& groups) {
    if (!syncfsTrusted())
        return flushEachIn(groups);
    // syncfs reports a write-back error that nobody has seen yet, wherever it happened
    // on that file system: a failure may be one of another program's, never a false
    // success.
    std::vector<dev_t> flushed;
    for (const FilesInFolder& group : groups) {
        SystemText name(group.folder);
        if (!name.valid())
            return false;
        int fd = openRetrying(name.get(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        struct stat status;
        bool synced = fstat(fd, &status) == 0;
        if (synced && std::find(flushed.begin(), flushed.end(), status.st_dev) == flushed.end()) {
            synced = syncFileSystemOf(fd);
            flushed.push_back(status.st_dev);
        }
        if (::close(fd) != 0 || !synced)
            return false;
    }
    return true;
}

void startFlushingFile(const Block& path) {
#ifdef __linux__
    SystemText name(path);
    if (!name.valid())
        return;
    struct stat status;
    int fd = openRegularFile(name.get(), status);
    if (fd < 0)
        return;
    sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    ::close(fd);
#else
    (void)path;
#endif
}

bool flushDirectory(const Block& path) {
    SystemText name(path);
    if (!name.valid())
        return false;
    int fd = openRetrying(name.get(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 && syncAndClose(fd);
}

bool copyFile(const Block& from, const Block& to, IfExists ifExists) {
    SystemText source(from);
    SystemText target(to);
    if (!source.valid() || !target.valid())
        return false;
    struct stat sourceStatus;
    int in = openRegularFile(source.get(), sourceStatus);
    if (in < 0)
        return false;
    fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);

    // Not truncated at the open: a target that turns out to be the source itself must
    // keep its bytes.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                (ifExists == IfExists::Fail ? O_EXCL : 0);
    int out = openRetrying(target.get(), flags, sourceStatus.st_mode & 0777);
    if (out < 0) {
        ::close(in);
        return false;
    }
    struct stat targetStatus;
    bool usable =
        fstat(out, &targetStatus) == 0 && S_ISREG(targetStatus.st_mode) &&
        !(targetStatus.st_dev == sourceStatus.st_dev && targetStatus.st_ino == sourceStatus.st_ino);
    if (!usable) {
        ::close(out);
        ::close(in);
        return false;
    }
    fcntl(out, F_SETFL, fcntl(out, F_GETFL) & ~O_NONBLOCK);
    bool copied = ftruncate(out, 0) == 0 && copyBytes(in, out);
    if (copied) {
        // Like the Windows copy, the target keeps the source's modification time.
        struct timespec times[2] = {sourceStatus.st_atim, sourceStatus.st_mtim};
        futimens(out, times);
    }
    copied = ::close(out) == 0 && copied;
    ::close(in);
    if (!copied)
        unlink(target.get());
    return copied;
}

} // namespace TOVK_Utils
