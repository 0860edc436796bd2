// Shared by the mailbox tests: a folder of the test's own for the mailbox file, the
// messages put into it, and reading them back through a DbxMailbox.
#pragma once

#include "DbxWriter.h"
#include "MimeTestUtil.h"
#include "formats/DbxCommit.h"
#include "formats/DbxMailbox.h"
#include "formats/DbxMailboxWriter.h"
#include "utils/Block.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace DbxTest {

// A message of at least size bytes: a subject naming i, then numbered lines.
inline std::string message(int i, size_t size) {
    std::string text = "Subject: message " + std::to_string(i) + "\r\n\r\n";
    while (text.size() < size)
        text += "line " + std::to_string(text.size()) + " of message " + std::to_string(i) + "\r\n";
    return text;
}

// Where the blocks of each chain lie: one after the other, or out of file order.
enum class BlockOrder { InFileOrder, Shuffled };

// Blocks of 64 body bytes: a message of a few hundred bytes takes a chain of several.
inline DbxOptions smallBlocks(BlockOrder order) {
    DbxOptions options;
    options.blockCapacity = 64;
    options.shuffleBlocks = order == BlockOrder::Shuffled;
    return options;
}

// The little-endian word at a file offset, as the mailbox stores its offsets.
inline uint32_t get32(const std::vector<uint8_t>& file, uint32_t offset) {
    return uint32_t(file.at(offset)) | uint32_t(file.at(offset + 1)) << 8 |
           uint32_t(file.at(offset + 2)) << 16 | uint32_t(file.at(offset + 3)) << 24;
}

// Writes the text over the message at once, without a journal, as a tool working on a copy
// would: true when it was written.
inline bool writeNow(TOVK_Internet::DbxMailbox& box, uint32_t offset,
                     const TOVK_Utils::Block& text) {
    TOVK_Internet::DbxMailboxWriter writer(box);
    return writer.stage(offset, text) == TOVK_Internet::DbxMailboxWriter::Staging::Staged &&
           TOVK_Internet::DbxCommit::settle(writer, nullptr) ==
               TOVK_Internet::DbxCommit::Outcome::Settled;
}

// Each test gets a fresh folder, named after it and removed after it, and the path of a
// mailbox in it.
class MailboxTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* unitTest = ::testing::UnitTest::GetInstance();
        const auto* test = unitTest->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("tovk-" + std::string(test->test_suite_name()) + "-" +
               std::to_string(unitTest->random_seed()) + "-" + test->name());
        std::filesystem::create_directories(dir);
        path = (dir / "Inbox.dbx").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // The mailbox file as it is on the disk; and the file replaced by these bytes.
    std::vector<uint8_t> bytes() const { return readFileBytes(path); }
    bool save(const std::vector<uint8_t>& data) const { return writeFileBytes(path, data); }

    bool open(TOVK_Internet::DbxMailbox& box,
              TOVK_Internet::DbxMailbox::Access access = TOVK_Internet::DbxMailbox::Access::Read) {
        const TOVK_Utils::String name(view(path)); // a copy, not a view of path
        return box.open(name, access) == TOVK_Internet::DbxMailbox::Open::Opened;
    }
    bool openAndScan(TOVK_Internet::DbxMailbox& box, TOVK_Internet::DbxMailbox::Access access =
                                                         TOVK_Internet::DbxMailbox::Access::Read) {
        return open(box, access) && box.scan();
    }

    // The message's text; ok, when given, says whether it read whole.
    static std::string read(TOVK_Internet::DbxMailbox& box, uint32_t offset, bool* ok = nullptr) {
        TOVK_Utils::Block text;
        const bool result =
            box.readMessage(offset, text) == TOVK_Internet::DbxMailbox::Read::Complete;
        if (ok)
            *ok = result;
        return str(text);
    }

    std::filesystem::path dir;
    std::string path;
};

} // namespace DbxTest
