// POSIX backend of DirectorySearch: readdir over the pattern's folder, with the wildcard
// matched here the way Windows matches it (ASCII case ignored).
#include "utils/DirectorySearch.h"

#include "SystemText.h"
#include "utils/FileSystem.h"

#include <dirent.h>
#include <string>

namespace TOVK_Utils {

namespace {

struct Search {
    DIR* directory = nullptr;
    std::string folder;  // ends with "/" unless empty (the current folder)
    std::string pattern; // the last component of the pattern, UTF-8
};

unsigned char lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Length of the UTF-8 character at s: "?" stands for one character, not one byte.
size_t characterLength(const char* s) {
    size_t n = 1;
    while ((static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

// "*" matches any run, "?" one character; on a mismatch the last "*" takes one more
// character and the rest is tried again.
bool wildcardMatch(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?') {
            ++pattern;
            name += characterLength(name);
        } else if (*pattern && lower(*pattern) == lower(*name)) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            resume += characterLength(resume);
            name = resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == 0;
}

bool matches(const std::string& pattern, const char* name) {
    // Windows' "*.*" means every entry, also one without a dot.
    return pattern == "*.*" || wildcardMatch(pattern.c_str(), name);
}

Search* searchOf(intptr_t handle) {
    return reinterpret_cast<Search*>(handle);
}

} // namespace

bool DirectorySearch::systemFirst() {
    String folderPart;
    String patternPart;
    substring(folderPart, 0, lastComponent());
    tail(patternPart, lastComponent());
    SystemText folder(folderPart);
    SystemText pattern(patternPart);
    if (!folder.valid() || !pattern.valid() || patternPart.length() == 0)
        return false;
    auto* search = new Search;
    search->folder = folder.get();
    search->pattern = pattern.get();
    search->directory = opendir(search->folder.empty() ? "." : search->folder.c_str());
    if (!search->directory) {
        delete search;
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(search);
    if (systemNext())
        return true;
    close();
    return false;
}

bool DirectorySearch::systemNext() {
    if (handle_ == -1)
        return false;
    Search* search = searchOf(handle_);
    while (dirent* entry = readdir(search->directory)) {
        if (!matches(search->pattern, entry->d_name))
            continue;
        uint64_t size = 0;
        uint32_t attributes = posixAttributes((search->folder + entry->d_name).c_str(), &size);
        if (attributes == NoAttributes)
            continue; // removed since the folder was read
        Block rawName(entry->d_name);
        if (wide_)
            name_.toWide(rawName);
        else
            name_.toNarrow(rawName);
        size_ = size;
        attributes_ = attributes;
        return true;
    }
    return false;
}

void DirectorySearch::systemClose() {
    Search* search = searchOf(handle_);
    closedir(search->directory);
    delete search;
}

} // namespace TOVK_Utils
