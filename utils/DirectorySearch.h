// DirectorySearch: the entries of one folder whose names match a wildcard pattern such as
// "folder\*.eml" ("*" any run of characters, "?" one character, ASCII case ignored, "*.*"
// everything). The pattern is the Path text this object derives from. "." and ".." are
// never reported.
#pragma once

#include "Path.h"
#include "String.h"

#include <cstdint>

namespace TOVK_Utils {

class DirectorySearch : public Path {
public:
    DirectorySearch() = default;
    DirectorySearch(const DirectorySearch&) = delete;
    DirectorySearch& operator=(const DirectorySearch&) = delete;
    ~DirectorySearch() override;

    // Starts a search (closing any earlier one). With Width::Wide, on systems whose wide
    // calls are available, names come as wide text, so no character is lost to the 8-bit
    // code page; otherwise they are 8-bit. False when nothing matches.
    bool first(const Block& pattern, Width names);
    // The next matching entry; false, and valid cleared, when there is none.
    bool next();
    void close();

    // The current entry. name is the entry's own name, without the folder.
    bool valid() const { return valid_; }
    const String& name() const { return name_; }
    uint64_t size() const { return size_; }
    // Windows attribute bits; on POSIX a folder is 0x10, a symbolic link 0x400 (plus 0x10
    // when it names a folder) and anything else 0x80.
    uint32_t attributes() const { return attributes_; }
    bool isDirectory() const { return valid_ && (attributes_ & 0x10) != 0; }
    bool wideSearch() const { return wide_; }

private:
    bool skipDots();
    // The backend's calls; each fills name_, size_ and attributes_ on success.
    bool systemFirst();
    bool systemNext();
    void systemClose();

    intptr_t handle_ = -1; // search handle, or the backend's search state
    bool wide_ = false;
    bool valid_ = false;
    String name_;
    uint64_t size_ = 0;
    uint32_t attributes_ = 0;
};

} // namespace TOVK_Utils
