#include "tests/engine/SparseFile.h"

#include <windows.h>

namespace TOVK_Tests {

// Moving the end of an empty file leaves the bytes unwritten; under Wine on a Linux file
// system this becomes a truncate, so the file stays sparse.
bool makeSparseFile(const std::string& path, uint64_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    return CloseHandle(file) && sized;
}

} // namespace TOVK_Tests
