// The lock a second program meets: another process, and another File of this process;
// and the folder flush, which only POSIX does.
#include "utils/File.h"
#include "utils/FileSystem.h"

#include "../TempFolder.h"
#include "LockHolder.h"

#include <gtest/gtest.h>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

TEST(FileLockPosixTest, AFileLockedByAnotherProcessCannotBeLocked) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mail");
    File file;
    ASSERT_TRUE(file.openForReading(textOf(temp.text("Inbox.dbx")), File::Access::ReadWrite));
    {
        LockHolder other(temp.text("Inbox.dbx"));
        ASSERT_TRUE(other.locked());
        EXPECT_FALSE(file.lock());
        other.let();
        EXPECT_TRUE(file.lock()); // the lock went with the process
    }
    // And the other way round: ours keeps the other process out.
    LockHolder other(temp.text("Inbox.dbx"));
    EXPECT_FALSE(other.locked());
}

// A process lock would not keep a second File of the same process out, and would vanish
// when any other handle of the file in the process closed.
TEST(FileLockPosixTest, TheLockBelongsToTheOpenFileAndGoesWithClose) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mail");
    String path = textOf(temp.text("Inbox.dbx"));
    File first;
    File second;
    ASSERT_TRUE(first.openForReading(path, File::Access::ReadWrite));
    ASSERT_TRUE(second.openForReading(path, File::Access::ReadWrite));
    ASSERT_TRUE(first.lock());
    {
        File reader;
        ASSERT_TRUE(reader.openForReading(path));
        reader.close();
    }
    EXPECT_FALSE(second.lock());
    first.close();
    EXPECT_TRUE(second.lock());
}

TEST(FolderFlushPosixTest, OnlyAnExistingFolderIsFlushed) {
    TempFolder temp;
    EXPECT_TRUE(flushDirectory(textOf(temp.text())));
    EXPECT_FALSE(flushDirectory(textOf(temp.text("missing"))));
    writeBytes(temp / "file", "x");
    EXPECT_FALSE(flushDirectory(textOf(temp.text("file"))));
}
