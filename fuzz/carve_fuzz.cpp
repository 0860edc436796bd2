// Arbitrary bytes behind an empty file header, carved: the carve must neither crash nor
// loop nor read outside the source, every chain it gives must start at a plausible block,
// and the size of the pieces it reads the source in must change nothing.
#include "formats/DbxCarver.h"
#include "formats/DbxMailbox.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using TOVK_Internet::DbxCarver;
using TOVK_Internet::DbxMailbox;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file(DbxMailbox::headerSize, 0);
    file.insert(file.end(), data, data + size);
    const DbxCarver::Reader read = [&](uint64_t offset, uint8_t* buffer, uint32_t count) {
        if (offset > file.size() || count > file.size() - offset)
            std::abort(); // a read outside the file
        std::memcpy(buffer, file.data() + offset, count);
        return count;
    };
    const auto chains = DbxCarver::carve(read, file.size());
    for (size_t i = 0; i < chains.size(); ++i) {
        const auto& chain = chains[i];
        if (chain.blocks == 0 || (i > 0 && chains[i - 1].first >= chain.first) ||
            !DbxCarver::plausibleBlock(file.data() + chain.first, chain.first, file.size()))
            std::abort();
    }
    const auto again = DbxCarver::carve(read, file.size(), 37);
    if (again.size() != chains.size())
        std::abort();
    for (size_t i = 0; i < chains.size(); ++i)
        if (again[i].first != chains[i].first || again[i].blocks != chains[i].blocks ||
            again[i].complete != chains[i].complete)
            std::abort();
    return 0;
}
