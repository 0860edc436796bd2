// A file of the given size whose bytes take no disk space, for tests of sizes beyond
// 4 GiB. The system's own call, so that the file's size is set without writing it.
#pragma once

#include <cstdint>
#include <string>

namespace TOVK_Tests {

bool makeSparseFile(const std::string& path, uint64_t size);

} // namespace TOVK_Tests
