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

bool createDirectories(const Path& path, Path::LastComponent last, String* errorOut) {
    return path.createDirectories(last, errorOut);
}

bool readAll(const Block& path, Block& block) {
    File file;
    if (!file.openForReading(path)) {
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
    if (!file.openForWriting(path, IfExists::Fail))
        return false;
    bool written = file.write(block);
    // A failed close can be the first report of a write that never reached the disk.
    bool closed = file.close() == 1;
    if (written && closed)
        return true;
    removeFile(path);
    return false;
}

bool replaceBeside(const Path& path, const std::function<bool(const Path&)>& writeNew,
                   Replaced replaced) {
    Path temporary;
    String suffix;
    for (int n = 0; n < 100; ++n) {
        suffix.printFormatted(".klovin-new%d", n);
        temporary.assign(path);
        temporary.append(suffix, Path::Separator::None);
        if (exists(temporary))
            continue; // somebody else's file
        if (!writeNew(temporary))
            return false;
        const bool done = replaced == Replaced::WholeFile
                              ? renameFile(temporary, path)
                              : replaceKeepingAttributes(temporary, path);
        if (done)
            return true;
        removeFile(temporary);
        return false;
    }
    return false;
}

namespace {

bool isSeparator(uint32_t c) {
    return c == '/' || c == '\\';
}

} // namespace

bool isSameOrInside(const Block& path, const FileIdentity& folder) {
    if (!folder.valid)
        return false;
    String current(path);
    for (;;) {
        if (fileIdentity(current) == folder)
            return true;
        int32_t cut = current.length() - 1;
        while (cut >= 0 && isSeparator(current.charAt(cut)))
            --cut; // a separator at the end names the same folder
        while (cut >= 0 && !isSeparator(current.charAt(cut)))
            --cut;
        if (cut < 0)
            return false;
        int32_t keep = cut;
        while (keep > 0 && isSeparator(current.charAt(keep - 1)))
            --keep;
        // A root keeps its separator: "/" or "C:\\", never "" or "C:", which would name
        // the current folder instead.
        if (keep == 0 || current.charAt(keep - 1) == ':')
            keep = cut + 1;
        if (keep >= current.length())
            return false;
        current.resize(keep);
    }
}

} // namespace TOVK_Utils
