// Windows backend of the file system helpers: the "A" calls for 8-bit text, the wide calls
// through the table for wide text.
#include "utils/FileSystem.h"

#include "ReplaceFileStandIn.h"
#include "SystemText.h"
#include "utils/File.h"
#include "utils/FileSystemBackend.h"
#include "utils/Path.h"

#include <atomic>

namespace TOVK_Utils {

// MAX_PATH less its terminating zero: paths are not given the "\\?\" prefix.
const PathRules hostPathRules = {
    .separator = '\\', .driveAndNetworkRoots = true, .longestName = 255, .longestPath = 259};

bool wideCallsAvailable() {
    return WideCallTable::instance().isWideCapable();
}

bool widePathsPreferred() {
    return wideCallsAvailable();
}

uint32_t getAttributes(const Block& path) {
    SystemText name(path);
    if (!name.valid())
        return NoAttributes;
    if (name.wide())
        return WideCallTable::instance().GetFileAttributesW(name.wideChars());
    return GetFileAttributesA(name.narrow());
}

bool makeDirectory(const Block& path) {
    SystemText name(path);
    if (!name.valid())
        return false;
    if (name.wide())
        return WideCallTable::instance().CreateDirectoryW(name.wideChars(), nullptr) != 0;
    return CreateDirectoryA(name.narrow(), nullptr) != 0;
}

bool removeFile(const Block& path) {
    SystemText name(path);
    if (!name.valid())
        return false;
    if (name.wide())
        return WideCallTable::instance().DeleteFileW(name.wideChars()) != 0;
    return DeleteFileA(name.narrow()) != 0;
}

namespace {

// Two names for one call, in one form: both wide when either needs the wide call.
bool sameForm(const Block& first, const Block& second, String& firstOut, String& secondOut) {
    bool wide = (first.isWide() || second.isWide()) && wideCallsAvailable();
    if (wide) {
        firstOut.toWide(first);
        secondOut.toWide(second);
    } else {
        firstOut.toNarrow(first);
        secondOut.toNarrow(second);
    }
    return wide;
}

} // namespace

bool renameFile(const Block& from, const Block& to) {
    String source;
    String target;
    bool wide = sameForm(from, to, source, target);
    SystemText sourceName(source);
    SystemText targetName(target);
    if (!sourceName.valid() || !targetName.valid())
        return false;
    DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (wide)
        return WideCallTable::instance().MoveFileExW(sourceName.wideChars(), targetName.wideChars(),
                                                     flags) != 0;
    return MoveFileExA(sourceName.narrow(), targetName.narrow(), flags) != 0;
}

namespace {

// Opens what the path names, a folder too (backup semantics), following links. Everyone
// else may go on reading, writing and deleting it meanwhile.
HANDLE openExisting(const Block& path, DWORD access) {
    SystemText name(path);
    if (!name.valid())
        return INVALID_HANDLE_VALUE;
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (name.wide())
        return WideCallTable::instance().CreateFileW(name.wideChars(), access, sharing, nullptr,
                                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                     nullptr);
    return CreateFileA(name.narrow(), access, sharing, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// No access to the content is asked for, so that a file the mail program holds without
// sharing can still be looked at.
bool fileInformation(const Block& path, BY_HANDLE_FILE_INFORMATION& information) {
    HANDLE handle = openExisting(path, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BOOL known = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    return known != 0;
}

// FILETIME counts 100-nanosecond steps from 1601-01-01 UTC.
constexpr int64_t fileTimeUnitsPerSecond = 10000000;
constexpr int64_t secondsFrom1601To1970 = 11644473600;

} // namespace

bool modificationTime(const Block& path, int64_t& secondsSince1970) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!fileInformation(path, information))
        return false;
    const uint64_t units = (uint64_t(information.ftLastWriteTime.dwHighDateTime) << 32) |
                           information.ftLastWriteTime.dwLowDateTime;
    secondsSince1970 = int64_t(units / fileTimeUnitsPerSecond) - secondsFrom1601To1970;
    return true;
}

bool setModificationTime(const Block& path, int64_t secondsSince1970) {
    // Before 1601 a FILETIME cannot say it.
    if (secondsSince1970 < -secondsFrom1601To1970)
        return false;
    const uint64_t units =
        uint64_t(secondsSince1970 + secondsFrom1601To1970) * fileTimeUnitsPerSecond;
    FILETIME when;
    when.dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    when.dwHighDateTime = static_cast<DWORD>(units >> 32);
    HANDLE handle = openExisting(path, FILE_WRITE_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const BOOL set = SetFileTime(handle, nullptr, nullptr, &when);
    CloseHandle(handle);
    return set != 0;
}

bool flushFile(const Block& path) {
    if (!File::flushMayGoOn())
        return false;
    // FlushFileBuffers needs write access; nothing is written through it.
    HANDLE handle = openExisting(path, GENERIC_WRITE);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    bool flushed = GetFileType(handle) == FILE_TYPE_DISK &&
                   GetFileInformationByHandle(handle, &information) &&
                   (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                   FlushFileBuffers(handle) != 0;
    return CloseHandle(handle) != 0 && flushed;
}

bool flushFilesIn(const Block& folder, const std::vector<String>& files) {
    if (files.empty())
        return true;
    return flushFilesIn({FilesInFolder{String(folder), files}});
}

bool flushFilesIn(const std::vector<FilesInFolder>& groups) {
    bool flushed = true;
    for (const FilesInFolder& group : groups) {
        for (const String& file : group.files)
            flushed = flushFile(file) && flushed;
        // As on POSIX, a folder that is not there fails: the files cannot be in it.
        flushed = isDirectory(group.folder) && flushDirectory(group.folder) && flushed;
    }
    return flushed;
}

// Windows starts writing a closed file's bytes soon by itself, and has no call that asks
// for it without waiting.
void startFlushingFile(const Block&) {}

bool flushDirectory(const Block&) {
    return true;
}

FileIdentity fileIdentity(const Block& path) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!fileInformation(path, information))
        return {};
    return {information.dwVolumeSerialNumber,
            (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow,
            true};
}

FileState fileState(const Block& path) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!fileInformation(path, information))
        return {};
    const auto high = [](DWORD upper, DWORD lower) {
        return (static_cast<uint64_t>(upper) << 32) | lower;
    };
    return {{information.dwVolumeSerialNumber,
             high(information.nFileIndexHigh, information.nFileIndexLow), true},
            high(information.nFileSizeHigh, information.nFileSizeLow),
            static_cast<int64_t>(high(information.ftLastWriteTime.dwHighDateTime,
                                      information.ftLastWriteTime.dwLowDateTime))};
}

bool isReadOnly(const Block& path) {
    const uint32_t attributes = getAttributes(path);
    return attributes != NoAttributes && (attributes & AttributeReadOnly) != 0;
}

// Mailboxes reached through links are a POSIX matter; on Windows the name is used as given.
bool followLinks(Path&) {
    return true;
}

uint32_t hardLinkCount(const Block& path) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!fileInformation(path, information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return 0;
    return information.nNumberOfLinks;
}

bool copyFile(const Block& from, const Block& to, IfExists ifExists) {
    const BOOL failIfExists = ifExists == IfExists::Fail;
    String source;
    String target;
    bool wide = sameForm(from, to, source, target);
    SystemText sourceName(source);
    SystemText targetName(target);
    if (!sourceName.valid() || !targetName.valid())
        return false;
    bool existed = exists(target);
    BOOL copied = wide ? WideCallTable::instance().CopyFileW(sourceName.wideChars(),
                                                             targetName.wideChars(), failIfExists)
                       : CopyFileA(sourceName.narrow(), targetName.narrow(), failIfExists);
    if (copied)
        return true;
    if (!existed)
        removeFile(target);
    return false;
}

namespace {

// ReplaceFileA and ReplaceFileW came with Windows 2000: looked up, not linked, so that the
// program still starts without them; a system that lacks them gets the plain rename.
template <class Call> Call replaceFileCall(const char* name) {
    static std::atomic<void*> found{nullptr};
    static std::atomic<bool> looked{false};
    if (!looked.load()) {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        found.store(kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr);
        looked.store(true);
    }
    return reinterpret_cast<Call>(found.load());
}

std::atomic<ReplaceFileACall> narrowStandIn{nullptr};
std::atomic<ReplaceFileWCall> wideStandIn{nullptr};

ReplaceFileACall narrowReplaceFile() {
    ReplaceFileACall standIn = narrowStandIn.load();
    return standIn ? standIn : replaceFileCall<ReplaceFileACall>("ReplaceFileA");
}

ReplaceFileWCall wideReplaceFile() {
    ReplaceFileWCall standIn = wideStandIn.load();
    return standIn ? standIn : replaceFileCall<ReplaceFileWCall>("ReplaceFileW");
}

// A name beside the target that nothing holds, for ReplaceFile to move the original to.
bool freeBackupName(const Path& target, Path& backup) {
    String suffix;
    for (int n = 0; n < 100; ++n) {
        suffix.printFormatted(".klovin-old%d", n);
        backup.assign(target);
        backup.append(suffix, Path::Separator::None);
        if (!exists(backup))
            return true;
    }
    return false;
}

// The attributes a file keeps however often its bytes change. Read-only never gets here,
// and the archive bit stays the new file's own: it tells backup programs that the bytes
// changed.
constexpr DWORD keptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// ReplaceFile keeps the attributes and the creation time itself, but not every system's
// ReplaceFile does (Wine's does not), and the plain rename that stands in for it never
// does: the temporary takes them before it moves. Best effort, as what ReplaceFile merges.
void takeOverAttributes(const Path& temporary, const BY_HANDLE_FILE_INFORMATION& original) {
    HANDLE handle = openExisting(temporary, FILE_WRITE_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    SetFileTime(handle, &original.ftCreationTime, nullptr, nullptr);
    CloseHandle(handle);
    DWORD own = getAttributes(temporary);
    if (own == INVALID_FILE_ATTRIBUTES || (original.dwFileAttributes & keptAttributes) == 0)
        return;
    // "Normal" only stands for no attribute at all, never beside another.
    DWORD wanted = (own & ~FILE_ATTRIBUTE_NORMAL) | (original.dwFileAttributes & keptAttributes);
    SystemText name(temporary);
    if (name.wide())
        WideCallTable::instance().SetFileAttributesW(name.wideChars(), wanted);
    else
        SetFileAttributesA(name.narrow(), wanted);
}

} // namespace

void standInForReplaceFile(ReplaceFileACall narrow, ReplaceFileWCall wide) {
    narrowStandIn.store(narrow);
    wideStandIn.store(wide);
}

bool replaceKeepingAttributes(const Path& temporary, const Path& target) {
    uint32_t attributes = getAttributes(target);
    // Nothing to keep, or a link or folder that a rename treats as it always did.
    if (attributes == NoAttributes ||
        (attributes & (AttributeDirectory | AttributeReparsePoint)) != 0)
        return renameFile(temporary, target);
    // Windows refuses to replace a read-only file; said here too, so that no emulation of
    // it that is less strict (Wine's) takes the user's protection away.
    if ((attributes & AttributeReadOnly) != 0)
        return false;
    BY_HANDLE_FILE_INFORMATION original;
    if (fileInformation(target, original))
        takeOverAttributes(temporary, original);
    Path backup;
    // Without a backup name a failed ReplaceFile may leave the original gone; rather the
    // plain rename than that.
    if (!freeBackupName(target, backup))
        return renameFile(temporary, target);

    // One form for the three names: wide when any of them needs it.
    bool wide = (temporary.isWide() || target.isWide()) && wideCallsAvailable();
    String names[3];
    const Block* sources[3] = {&target, &temporary, &backup};
    for (int i = 0; i < 3; ++i) {
        if (wide)
            names[i].toWide(*sources[i]);
        else
            names[i].toNarrow(*sources[i]);
    }
    SystemText replaced(names[0]);
    SystemText replacement(names[1]);
    SystemText backupName(names[2]);
    if (!replaced.valid() || !replacement.valid() || !backupName.valid())
        return false;
    // Merge errors (an ACL the process may not copy, a file system without streams) are
    // ignored: the new bytes matter more than the attributes that could not follow.
    const DWORD flags = REPLACEFILE_IGNORE_MERGE_ERRORS;
    BOOL replacedNow = FALSE;
    bool callable = false;
    if (wide) {
        if (ReplaceFileWCall call = wideReplaceFile()) {
            callable = true;
            replacedNow = call(replaced.wideChars(), replacement.wideChars(),
                               backupName.wideChars(), flags, nullptr, nullptr);
        }
    } else if (ReplaceFileACall call = narrowReplaceFile()) {
        callable = true;
        replacedNow = call(replaced.narrow(), replacement.narrow(), backupName.narrow(), flags,
                           nullptr, nullptr);
    }
    if (replacedNow) {
        removeFile(backup);
        return true;
    }
    if (!callable)
        return renameFile(temporary, target);
    DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The original was moved to the backup name and the new version could not follow
        // into its place: the original goes back. Should even that fail, it stays under
        // the backup name rather than being lost.
        renameFile(backup, target);
        return false;
    }
    // Nothing should have moved. A system that moved or copied the original to the backup
    // name all the same gets it put back: a copy goes, a moved original returns.
    if (exists(backup)) {
        if (!exists(target)) {
            renameFile(backup, target);
            return false;
        }
        removeFile(backup);
    }
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return false;
    // The original vanished in the meantime, or the file system does not offer the call:
    // the plain rename still puts the new version in place.
    return renameFile(temporary, target);
}

} // namespace TOVK_Utils
