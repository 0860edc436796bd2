// Arbitrary bytes as a mailbox opened for cutting: every message is read, then one message
// (picked by the input's last byte) takes the first half of its own text. Either the write
// is refused and the file is unchanged, or that message reads as the new text and every
// other message, and the index, exactly as before: read through the same mailbox and
// through one opened afresh. A journal checks that it is given the bytes the disk really
// holds before the write and after it.
#include "formats/DbxCommit.h"
#include "formats/DbxMailbox.h"
#include "formats/DbxMailboxWriter.h"
#include "formats/WriteJournal.h"
#include "utils/LightBlock.h"
#include "utils/String.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using TOVK_Internet::DbxCommit;
using TOVK_Internet::DbxMailbox;
using TOVK_Internet::DbxMailboxWriter;
using TOVK_Internet::WriteJournal;

namespace {

std::string path;

std::vector<uint8_t> fileBytes() {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        std::abort();
    uint8_t buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

bool holds(const std::vector<uint8_t>& file, uint64_t offset, const uint8_t* bytes,
           uint32_t length) {
    return offset + length <= file.size() && std::memcmp(file.data() + offset, bytes, length) == 0;
}

class CheckingJournal : public WriteJournal {
public:
    std::vector<Span> spans;
    std::vector<std::vector<uint8_t>> newCopies;
    bool record(const std::vector<Span>& given) override {
        const std::vector<uint8_t> file = fileBytes();
        spans = given;
        newCopies.clear();
        for (const Span& s : given) {
            if (!holds(file, s.offset, s.oldBytes, s.length))
                std::abort(); // the old bytes must be what the disk holds
            newCopies.emplace_back(s.newBytes, s.newBytes + s.length);
        }
        return true;
    }
    bool clear() override {
        const std::vector<uint8_t> file = fileBytes();
        for (size_t i = 0; i < spans.size(); ++i)
            if (!holds(file, spans[i].offset, newCopies[i].data(), spans[i].length))
                std::abort(); // cleared before the new bytes were all written
        return true;
    }
};

struct Reading {
    bool ok;
    std::string text;
    bool operator==(const Reading& other) const = default;
};

Reading readOne(DbxMailbox& box, uint32_t offset) {
    TOVK_Utils::Block text;
    const DbxMailbox::Read read = box.readMessage(offset, text);
    if (read == DbxMailbox::Read::Unreadable)
        std::abort(); // a regular file in /tmp does not fail
    const bool ok = read == DbxMailbox::Read::Complete;
    return {ok, text.byteSize() > 0 ? std::string(reinterpret_cast<const char*>(text.data()),
                                                  size_t(text.byteSize()))
                                    : std::string()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (path.empty())
        path = "/tmp/tovk-dbx-write-fuzz-" + std::to_string(getpid()) + ".dbx";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (size == 0)
        return 0;

    const TOVK_Utils::String name(path.c_str()); // wraps path, which outlives it
    std::vector<uint32_t> offsets;
    std::vector<Reading> before;
    CheckingJournal journal;
    const std::vector<uint8_t> original(data, data + size);
    uint32_t target = 0;
    std::string text;
    bool written = false;
    {
        DbxMailbox box;
        if (box.open(name, DbxMailbox::Access::ReadWrite) != DbxMailbox::Open::Opened)
            return 0;
        const bool scanned = box.scan();
        offsets = box.messageOffsets;
        if (offsets.size() > 64)
            offsets.resize(64);
        if (offsets.empty())
            return 0;
        for (uint32_t offset : offsets)
            before.push_back(readOne(box, offset));
        const size_t pick = data[size - 1] % offsets.size();
        target = offsets[pick];
        const std::string& old = before[pick].text;
        text = before[pick].ok ? old.substr(0, old.size() / 2) : std::string("Subject: x\r\n\r\n");
        // Staged, then journaled, written and flushed as a cutting job settles it.
        DbxMailboxWriter writer(box);
        const DbxMailboxWriter::Staging staging =
            writer.stage(target, TOVK_Utils::LightBlock(text.data(), int32_t(text.size())));
        if (staging == DbxMailboxWriter::Staging::ReadFailed)
            std::abort(); // a regular file in /tmp does not fail
        written = staging == DbxMailboxWriter::Staging::Staged;
        if (written && DbxCommit::settle(writer, &journal) != DbxCommit::Outcome::Settled)
            std::abort();
        if (written && (!scanned || !before[pick].ok))
            std::abort(); // only a sound chain of a completely scanned mailbox is written
        for (size_t i = 0; i < offsets.size(); ++i) {
            const Reading expected =
                written && offsets[i] == target ? Reading{true, text} : before[i];
            if (!(readOne(box, offsets[i]) == expected))
                std::abort();
        }
    }
    if (!written && fileBytes() != original)
        std::abort(); // a refused write changes nothing
    DbxMailbox again;
    if (again.open(name) != DbxMailbox::Open::Opened)
        std::abort();
    again.scan();
    std::vector<uint32_t> found = again.messageOffsets;
    if (found.size() > 64)
        found.resize(64);
    if (found != offsets)
        std::abort();
    for (size_t i = 0; i < offsets.size(); ++i) {
        const Reading expected = written && offsets[i] == target ? Reading{true, text} : before[i];
        if (!(readOne(again, offsets[i]) == expected))
            std::abort();
    }
    return 0;
}
