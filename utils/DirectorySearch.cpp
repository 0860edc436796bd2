#include "DirectorySearch.h"

#include "FileSystem.h"

namespace TOVK_Utils {

namespace {

// "." and "..", in either character width.
bool isDotEntry(const String& name) {
    int32_t n = name.length();
    if (n < 1 || n > 2)
        return false;
    return name.charAt(0) == '.' && (n == 1 || name.charAt(1) == '.');
}

} // namespace

DirectorySearch::~DirectorySearch() {
    close();
}

bool DirectorySearch::first(const Block& pattern, Width names) {
    close();
    if (!assign(pattern) || length() == 0)
        return false;
    wide_ = names == Width::Wide && wideCallsAvailable();
    if (!systemFirst())
        return false;
    valid_ = true;
    return skipDots();
}

bool DirectorySearch::next() {
    if (handle_ == -1) {
        valid_ = false;
        return false;
    }
    if (!systemNext()) {
        valid_ = false;
        return false;
    }
    valid_ = true;
    return skipDots();
}

bool DirectorySearch::skipDots() {
    while (isDotEntry(name_)) {
        if (!systemNext()) {
            valid_ = false;
            return false;
        }
    }
    return true;
}

void DirectorySearch::close() {
    if (handle_ != -1)
        systemClose();
    handle_ = -1;
    valid_ = false;
}

} // namespace TOVK_Utils
