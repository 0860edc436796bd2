#include "FileSystem.h"

#include "File.h"
#include "FileSystemBackend.h"
#include "Path.h"

namespace TOVK_Utils {

bool exists(const Block& path) {
    return getAttributes(path) != NoAttributes;
}

bool isDirectory(const Block& path) {
    uint32_t attributes = getAttributes(path);
    return attributes != NoAttributes && (attributes & AttributeDirectory) != 0;
}

bool createDirectories(const Path& path, bool lastIsFile, String* errorOut) {
    return path.createDirectories(lastIsFile, errorOut);
}

bool readAll(const Block& path, Block& block) {
    File file;
    if (!file.openForReading(path, false)) {
        block.setWide(false);
        block.setSize(0);
        return false;
    }
    if (!file.readRest(block)) {
        block.setSize(0);
        return false;
    }
    return true;
}

bool writeAll(const Block& path, const Block& block) {
    File file;
    if (!file.openForWriting(path, false))
        return false;
    bool written = file.write(block);
    // A failed close can be the first report of a write that never reached the disk.
    bool closed = file.close() == 1;
    if (written && closed)
        return true;
    removeFile(path);
    return false;
}

bool replaceBeside(const Path& path, const std::function<bool(const Path&)>& writeNew) {
    Path temporary;
    String suffix;
    for (int n = 0; n < 100; ++n) {
        suffix.printFormatted(".klovin-new%d", n);
        temporary.assign(path);
        temporary.append(suffix, false);
        if (exists(temporary))
            continue; // somebody else's file
        if (!writeNew(temporary))
            return false;
        if (replaceKeepingAttributes(temporary, path))
            return true;
        removeFile(temporary);
        return false;
    }
    return false;
}

} // namespace TOVK_Utils
