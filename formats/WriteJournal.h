// Where the old bytes of a message's blocks go before they are overwritten, so that a
// crash between two block writes can be undone when the mailbox is opened again.
#pragma once
#include <cstdint>
#include <vector>
namespace TOVK_Internet {
class WriteJournal {
public:
    struct Span {
        uint64_t offset;
        const uint8_t* oldBytes;
        const uint8_t* newBytes;
        uint32_t length;
    };
    virtual ~WriteJournal() = default;
    // True only when every span's old and new bytes are on disk in the journal.
    virtual bool record(const std::vector<Span>& spans) = 0;
    // The spans were written and flushed to the mailbox: the entries may go.
    virtual bool clear() = 0;
};
} // namespace TOVK_Internet
