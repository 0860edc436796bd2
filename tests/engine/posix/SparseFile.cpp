#include "tests/engine/SparseFile.h"

#include <fcntl.h>
#include <unistd.h>

namespace TOVK_Tests {

bool makeSparseFile(const std::string& path, uint64_t size) {
    int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    bool sized = ftruncate(fd, static_cast<off_t>(size)) == 0;
    return close(fd) == 0 && sized;
}

} // namespace TOVK_Tests
