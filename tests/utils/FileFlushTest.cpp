// Flushing reaches the disk only in a crash, which a test cannot stage; what it can see is
// that a flush takes what it should, refuses what it should, and changes no byte.
#include "utils/File.h"
#include "utils/FileSystem.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

TEST(FileFlushTest, AFileFlushesByNameWithoutChange) {
    TempFolder temp;
    writeBytes(temp / "attachment.bin", "saved bytes");
    EXPECT_TRUE(flushFile(textOf(temp.text("attachment.bin"))));
    EXPECT_EQ(readBytes(temp / "attachment.bin"), "saved bytes");
    EXPECT_FALSE(flushFile(textOf(temp.text("missing.bin"))));
    EXPECT_FALSE(flushFile(textOf(temp.text())));
    EXPECT_TRUE(flushDirectory(textOf(temp.text())));
}

TEST(FileFlushTest, SavedFilesFlushTogether) {
    TempFolder temp;
    writeBytes(temp / "a.bin", "first");
    writeBytes(temp / "b.bin", "second");
    const TOVK_Utils::String folder = textOf(temp.text());
    startFlushingFile(textOf(temp.text("a.bin")));
    startFlushingFile(textOf(temp.text("missing.bin"))); // only a hint: nothing to fail
    EXPECT_TRUE(flushFilesIn(folder, {textOf(temp.text("a.bin")), textOf(temp.text("b.bin"))}));
    EXPECT_TRUE(flushFilesIn(textOf(temp.text("missing")), {})) << "nothing to flush";
    EXPECT_FALSE(flushFilesIn(textOf(temp.text("missing")), {textOf(temp.text("a.bin"))}));
    EXPECT_EQ(readBytes(temp / "a.bin"), "first");
}

TEST(FileLockTest, OnlyAnOpenFileLocks) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mail");
    File file;
    EXPECT_FALSE(file.lock());
    ASSERT_TRUE(file.openForReading(textOf(temp.text("Inbox.dbx")), File::Access::ReadWrite,
                                    File::ShareRead));
    EXPECT_TRUE(file.lock());
    ASSERT_TRUE(file.write("M", 1));
    EXPECT_TRUE(file.flush());
    file.close();
    EXPECT_EQ(readBytes(temp / "Inbox.dbx"), "Mail");
    EXPECT_FALSE(file.lock());
}
