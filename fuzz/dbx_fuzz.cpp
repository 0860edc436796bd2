// Arbitrary bytes as a mailbox file: open, scan and read every message must neither
// crash nor loop, and a message that read completely must take its own text back.
#include "formats/DbxCommit.h"
#include "formats/DbxMailbox.h"
#include "formats/DbxMailboxWriter.h"
#include "utils/String.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using TOVK_Internet::DbxCommit;
using TOVK_Internet::DbxMailbox;
using TOVK_Internet::DbxMailboxWriter;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/tovk-dbx-fuzz-" + std::to_string(getpid()) + ".dbx";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    TOVK_Utils::String name(path.c_str());
    DbxMailbox box;
    if (box.open(name, DbxMailbox::Access::ReadWrite) != DbxMailbox::Open::Opened)
        return 0;
    box.scan();
    int budget = 64;
    for (uint32_t offset : box.messageOffsets) {
        if (budget-- == 0)
            break;
        TOVK_Utils::Block text, again;
        if (box.readMessage(offset, text) != DbxMailbox::Read::Complete)
            continue;
        // Whatever the damage, a write that reports success must have stored exactly the
        // text, and (not checked here, but by the unit tests) one that fails wrote nothing.
        DbxMailboxWriter writer(box);
        if (writer.stage(offset, text) != DbxMailboxWriter::Staging::Staged ||
            DbxCommit::settle(writer, nullptr) != DbxCommit::Outcome::Settled)
            continue;
        if (box.readMessage(offset, again) != DbxMailbox::Read::Complete ||
            again.byteSize() != text.byteSize() ||
            (text.byteSize() &&
             std::memcmp(again.data(), text.data(), size_t(text.byteSize())) != 0))
            std::abort();
    }
    return 0;
}
