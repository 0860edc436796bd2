// Windows backend of File: CreateFileA, or CreateFileW through the table for wide names.
#include "utils/File.h"

#include "SystemText.h"
#include "utils/FileSystem.h"

#include <algorithm>

namespace TOVK_Utils {

namespace {

constexpr DWORD chunkBytes = 1u << 30;

HANDLE handleOf(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

bool File::systemOpen(const Block& path, bool write, Sharing sharing, Disposition disposition) {
    SystemText name(path);
    if (!name.valid()) {
        lastError_ = ERROR_INVALID_NAME;
        return false;
    }
    DWORD access = GENERIC_READ | (write ? GENERIC_WRITE : 0);
    DWORD share = sharing == ShareRead ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    DWORD how = disposition == CreateNew || disposition == CreateNewOwnerOnly ? CREATE_NEW
                : disposition == CreateAlways                                 ? CREATE_ALWAYS
                                                                              : OPEN_EXISTING;
    HANDLE handle =
        name.wide()
            ? WideCallTable::instance().CreateFileW(name.wideChars(), access, share, nullptr, how,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr)
            : CreateFileA(name.narrow(), access, share, nullptr, how, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        lastError_ = GetLastError();
        return false;
    }
    // Device names (NUL, CON, COM1...) open as character devices: they are not files, and
    // a write to NUL must never count as a saved file.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        lastError_ = ERROR_BAD_FILE_TYPE;
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(handle);
    return true;
}

bool File::systemRead(void* buffer, uint32_t count, uint32_t& delivered) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    delivered = 0;
    while (delivered < count) {
        DWORD got = 0;
        if (!ReadFile(handleOf(handle_), bytes + delivered,
                      std::min<DWORD>(count - delivered, chunkBytes), &got, nullptr)) {
            lastError_ = GetLastError();
            return false;
        }
        if (got == 0)
            break; // end of file: ReadFile succeeds with nothing
        delivered += got;
    }
    return true;
}

bool File::systemWrite(const void* bytes, uint32_t count, uint32_t& written) {
    const auto* from = static_cast<const uint8_t*>(bytes);
    written = 0;
    while (written < count) {
        DWORD put = 0;
        if (!WriteFile(handleOf(handle_), from + written,
                       std::min<DWORD>(count - written, chunkBytes), &put, nullptr)) {
            lastError_ = GetLastError();
            return false;
        }
        if (put == 0) {
            lastError_ = ERROR_DISK_FULL;
            return false;
        }
        written += put;
    }
    return true;
}

bool File::systemSeek(int64_t offset, SeekMethod method, uint64_t& newPosition) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    DWORD how = method == FromCurrent ? FILE_CURRENT : method == FromEnd ? FILE_END : FILE_BEGIN;
    if (!SetFilePointerEx(handleOf(handle_), distance, &result, how)) {
        lastError_ = GetLastError();
        return false;
    }
    newPosition = static_cast<uint64_t>(result.QuadPart);
    return true;
}

bool File::systemSize(uint64_t& size) {
    LARGE_INTEGER result;
    if (!GetFileSizeEx(handleOf(handle_), &result)) {
        lastError_ = GetLastError();
        return false;
    }
    size = static_cast<uint64_t>(result.QuadPart);
    return true;
}

bool File::systemFlush() {
    if (!flushMayGoOn()) {
        lastError_ = ERROR_WRITE_FAULT;
        return false;
    }
    if (!FlushFileBuffers(handleOf(handle_))) {
        lastError_ = GetLastError();
        return false;
    }
    return true;
}

bool File::flushTogether(const std::vector<File*>& files,
                         const std::vector<FilesInFolder>& others) {
    for (File* file : files) {
        if (!file->systemFlush())
            return false;
    }
    return flushFilesIn(others);
}

// The open's sharing already refuses every other writer, and a lock of a byte range would
// also make the file's own reads through other handles of this process fail.
bool File::lock() {
    if (handle_ == -1) {
        lastError_ = ERROR_INVALID_HANDLE;
        return false;
    }
    return true;
}

bool File::systemClose() {
    if (!CloseHandle(handleOf(handle_))) {
        lastError_ = GetLastError();
        return false;
    }
    return true;
}

bool File::systemErrorIsEndOfFile() const {
    return lastError_ == ERROR_HANDLE_EOF;
}

bool File::lastErrorWasSharingViolation() const {
    return lastError_ == ERROR_SHARING_VIOLATION;
}

} // namespace TOVK_Utils
