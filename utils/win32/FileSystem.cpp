// Windows backend of the file system helpers: the "A" calls for 8-bit text, the wide calls
// through the table for wide text.
#include "utils/FileSystem.h"

#include "SystemText.h"
#include "utils/Path.h"

namespace TOVK_Utils {

const PathRules hostPathRules = {'\\', true};

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

bool copyFile(const Block& from, const Block& to, bool failIfExists) {
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

} // namespace TOVK_Utils
