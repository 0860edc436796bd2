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

namespace {

int refusedCalls = 0;

bool refuseOnce() {
    return ++refusedCalls > 1;
}

} // namespace

// The fault hooks fail the call they are asked for and only that one, on every system:
// the write, which then writes nothing, the flush by handle and by name, and the read.
TEST(FileFlushTest, TheFaultHooksFailOneCallAndChangeNothing) {
    TempFolder temp;
    const TOVK_Utils::String name = textOf(temp.text("f.bin"));
    File file;
    ASSERT_TRUE(file.openForWriting(name, IfExists::Fail));
    ASSERT_TRUE(file.write("abc", 3));

    refusedCalls = 0;
    File::setWriteFaultProbe(refuseOnce);
    const bool firstWrite = file.write("def", 3);
    const uint64_t afterRefusal = file.position();
    const bool secondWrite = file.write("ghi", 3);
    File::setWriteFaultProbe(nullptr);
    EXPECT_FALSE(firstWrite);
    EXPECT_EQ(afterRefusal, 3u);
    EXPECT_TRUE(secondWrite);

    refusedCalls = 0;
    File::setFlushProbe(refuseOnce);
    const bool firstFlush = file.flush();
    const bool secondFlush = file.flush();
    file.close(); // Windows flushes by name through a handle of its own
    refusedCalls = 0;
    const bool firstByName = flushFile(name);
    const bool secondByName = flushFile(name);
    File::setFlushProbe(nullptr);
    EXPECT_FALSE(firstFlush);
    EXPECT_TRUE(secondFlush);
    EXPECT_FALSE(firstByName);
    EXPECT_TRUE(secondByName);
    EXPECT_EQ(readBytes(temp / "f.bin"), "abcghi");

    // A refused read reads nothing and leaves the position: the next read gets the bytes.
    refusedCalls = 0;
    File::setReadFaultProbe(refuseOnce);
    File reader;
    char read[3] = {};
    ASSERT_TRUE(reader.openForReading(name));
    const bool firstRead = reader.read(read, 3);
    const bool secondRead = reader.read(read, 3);
    File::setReadFaultProbe(nullptr);
    EXPECT_FALSE(firstRead);
    EXPECT_TRUE(secondRead);
    EXPECT_EQ(std::string(read, 3), "abc");
    reader.close();
}
