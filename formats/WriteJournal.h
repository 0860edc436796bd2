// Where the old bytes of a message's blocks go before they are overwritten, so that a
// crash between two block writes can be undone when the mailbox is opened again. DbxCommit
// says when (see its invariants); a journal only records entries and lets them go.
#pragma once
#include "utils/File.h"
#include "utils/FileSystem.h"

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
    // record() in two steps, so that one flush serves several journals: the entry is
    // written but not yet known to be on the disk; collectUnflushed names what must be
    // flushed for it to be, and unflushedFlushed says how that flush went. A journal that
    // keeps nothing on a disk records at once.
    virtual bool recordUnflushed(const std::vector<Span>& spans) { return record(spans); }
    virtual void collectUnflushed(std::vector<TOVK_Utils::File*>& /*files*/,
                                  std::vector<TOVK_Utils::FilesInFolder>& /*others*/) {}
    virtual void unflushedFlushed(bool /*onDisk*/) {}
    // The spans were written and flushed to the mailbox (or put back): the entries may go.
    virtual bool clear() = 0;
};
} // namespace TOVK_Internet
