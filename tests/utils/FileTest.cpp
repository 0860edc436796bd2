#include "utils/File.h"
#include "utils/FileSystem.h"
#include "utils/Path.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

// Runs the call and gives the int it threw, or -1 when it threw nothing.
template <class Call> int thrown(Call call) {
    try {
        call();
    } catch (int error) {
        return error;
    }
    return -1;
}

} // namespace

TEST(FileTest, WriteSeekAndReadKeepThePosition) {
    TempFolder temp;
    File file;
    ASSERT_TRUE(file.openForWriting(textOf(temp.text("f.bin")), IfExists::Fail));
    ASSERT_TRUE(file.write("0123456789", 10));
    EXPECT_EQ(file.position(), 10u);
    ASSERT_TRUE(file.seek(3));
    char bytes[4] = {};
    ASSERT_TRUE(file.read(bytes, 4));
    EXPECT_EQ(std::string(bytes, 4), "3456");
    EXPECT_EQ(file.position(), 7u);
    ASSERT_TRUE(file.seek(-2, File::FromCurrent));
    EXPECT_EQ(file.position(), 5u);
    ASSERT_TRUE(file.seek(-1, File::FromEnd));
    EXPECT_EQ(file.position(), 9u);
    // Before the start fails and leaves the position; past the end is allowed.
    EXPECT_FALSE(file.seek(-1));
    EXPECT_EQ(file.position(), 9u);
    EXPECT_TRUE(file.seek(100));
    EXPECT_EQ(file.getSize(File::Refresh::Always), 10u);
}

TEST(FileTest, CreateNewNeverTouchesAnExistingFile) {
    TempFolder temp;
    writeBytes(temp / "mail.eml", "original");
    String path = textOf(temp.text("mail.eml"));
    File file;
    EXPECT_FALSE(file.openForWriting(path, IfExists::Fail));
    EXPECT_FALSE(writeAll(path, String("replacement")));
    EXPECT_EQ(readBytes(temp / "mail.eml"), "original");

    ASSERT_TRUE(file.openForWriting(path, IfExists::Replace)); // create-always empties it
    EXPECT_EQ(file.getSize(), 0u);
    ASSERT_TRUE(file.write(String("new")));
    EXPECT_EQ(file.close(), 1);
    EXPECT_EQ(file.close(), -1);
    EXPECT_FALSE(file.write("x", 1));
    EXPECT_EQ(readBytes(temp / "mail.eml"), "new");
}

TEST(FileTest, OpeningWhatIsNotAFileFails) {
    TempFolder temp;
    File file;
    EXPECT_FALSE(file.openForReading(textOf(temp.text("missing"))));
    EXPECT_NE(file.lastError(), 0u);
    EXPECT_FALSE(file.openForReading(textOf(temp.text())));
    EXPECT_FALSE(file.openForWriting(textOf(temp.text()), IfExists::Replace));
    // A name with a zero character inside would reach the system cut short.
    writeBytes(temp / "a", "a");
    String withZero = textOf(temp.text("a") + std::string(1, '\0') + "b");
    EXPECT_FALSE(file.openForReading(withZero));
    EXPECT_FALSE(exists(withZero));
}

TEST(FileTest, ShortReadsFailAndKeepOnlyTheBytesThatCame) {
    TempFolder temp;
    writeBytes(temp / "data", "0123456789");
    File file;
    ASSERT_TRUE(file.openForReading(textOf(temp.text("data"))));
    Block block;
    ASSERT_TRUE(file.read(block, 4, File::Placement::Replace));
    ASSERT_TRUE(file.read(block, 3, File::Placement::Append));
    EXPECT_EQ(bytesOf(block), "0123456");
    // Three bytes are left: the block grows by those only.
    EXPECT_FALSE(file.read(block, 50, File::Placement::Append));
    EXPECT_EQ(bytesOf(block), "0123456789");
    EXPECT_EQ(file.lastReadCount(), 3u);
    EXPECT_EQ(file.position(), 10u);

    // readSome takes fewer bytes, and none at the end, as a success.
    char bytes[10];
    ASSERT_TRUE(file.seek(8));
    EXPECT_TRUE(file.readSome(bytes, 10));
    EXPECT_EQ(file.lastReadCount(), 2u);
    EXPECT_TRUE(file.readSome(bytes, 10));
    EXPECT_FALSE(file.read(bytes, 1));

    // A read that fails outright cuts an appended block back to what it held.
    file.close();
    String text("kept");
    EXPECT_FALSE(file.read(text, 8, File::Placement::Append));
    EXPECT_STREQ(text.c_str(), "kept");
    EXPECT_FALSE(file.read(text, 8, File::Placement::Replace));
    EXPECT_EQ(text.length(), 0);
}

TEST(FileTest, RaisingModeThrowsEndOfFileOrFailure) {
    TempFolder temp;
    writeBytes(temp / "mailbox", "12345678");
    File file;
    file.setRaiseErrors(true);
    EXPECT_EQ(
        thrown([&] { file.openForReading(textOf(temp.text("missing")), File::Access::ReadWrite); }),
        FileFailure);
    EXPECT_EQ(
        thrown([&] { file.openForReading(textOf(temp.text("mailbox")), File::Access::ReadWrite); }),
        -1);
    char bytes[16];
    EXPECT_EQ(thrown([&] { file.read(bytes, 6); }), -1);
    EXPECT_EQ(thrown([&] { file.read(bytes, 6); }), FileEndOfFile);
    EXPECT_EQ(file.lastReadCount(), 2u);
    EXPECT_EQ(thrown([&] { file.seek(-5); }), FileFailure);

    // The failures did not close the file.
    Block block;
    EXPECT_EQ(thrown([&] { file.seek(4); }), -1);
    EXPECT_EQ(thrown([&] { file.read(block, 10, File::Placement::Replace); }), FileEndOfFile);
    EXPECT_EQ(bytesOf(block), "5678");
    EXPECT_EQ(thrown([&] { file.read(bytes, 1); }), FileEndOfFile);
    EXPECT_EQ(thrown([&] { file.readSome(bytes, 1); }), -1);
    file.close();
    EXPECT_EQ(thrown([&] { file.write("x", 1); }), FileFailure);
}

TEST(FileTest, ReadRestUsesTheSizeTakenAtOpenOrAfresh) {
    TempFolder temp;
    writeBytes(temp / "big", std::string(1000, 'b'));
    writeBytes(temp / "grows", "abc");
    String path = textOf(temp.text("grows"));
    File file;
    file.setKeepSize(true);
    // The size of an earlier file never carries over.
    ASSERT_TRUE(file.openForReading(textOf(temp.text("big"))));
    ASSERT_TRUE(file.openForReading(path));
    Block block;
    ASSERT_TRUE(file.readRest(block));
    EXPECT_EQ(bytesOf(block), "abc");

    // With the size kept, the rest is what the size said at the open...
    writeBytes(temp / "grows", "abcdef");
    ASSERT_TRUE(file.seek(0));
    ASSERT_TRUE(file.readRest(block));
    EXPECT_EQ(bytesOf(block), "abc");
    // ...without, it is asked again...
    file.setKeepSize(false);
    ASSERT_TRUE(file.seek(0));
    ASSERT_TRUE(file.readRest(block));
    EXPECT_EQ(bytesOf(block), "abcdef");
    // ...and a file that shrank behind a kept size gives a failed read, never padding.
    file.setKeepSize(true);
    writeBytes(temp / "grows", "ab");
    ASSERT_TRUE(file.seek(0));
    EXPECT_FALSE(file.readRest(block));
    EXPECT_EQ(bytesOf(block), "ab");
}

TEST(FileTest, ReadAllAndWriteAllMoveWholeFiles) {
    TempFolder temp;
    std::string content(70000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7);
    Block block;
    block.assign(content.data(), static_cast<int32_t>(content.size()));
    String path = textOf(temp.text("attachment.bin"));
    ASSERT_TRUE(writeAll(path, block));
    EXPECT_EQ(readBytes(temp / "attachment.bin"), content);
    Block back;
    ASSERT_TRUE(readAll(path, back));
    EXPECT_EQ(bytesOf(back), content);

    ASSERT_TRUE(writeAll(textOf(temp.text("empty")), Block()));
    EXPECT_EQ(fs::file_size(temp / "empty"), 0u);
    EXPECT_FALSE(readAll(textOf(temp.text("missing")), back));
    EXPECT_EQ(back.length(), 0);
    EXPECT_FALSE(writeAll(textOf(temp.text("no/such.bin")), block));
    EXPECT_FALSE(fs::exists(temp / "no"));
}

TEST(FileTest, PositionsAndSizesAreSixtyFourBit) {
    TempFolder temp;
    String path = textOf(temp.text("sparse"));
    const uint64_t beyond = (uint64_t{3} << 30) + 5; // past the 2 GiB boundary
    {
        File file;
        ASSERT_TRUE(file.openForWriting(path, IfExists::Fail));
        ASSERT_TRUE(file.seek(static_cast<int64_t>(beyond)));
        ASSERT_TRUE(file.write("z", 1));
    }
    File file;
    ASSERT_TRUE(file.openForReading(path));
    EXPECT_EQ(file.getSize(), beyond + 1);
    ASSERT_TRUE(file.seek(-1, File::FromEnd));
    EXPECT_EQ(file.position(), beyond);
    char byte = 0;
    ASSERT_TRUE(file.read(&byte, 1));
    EXPECT_EQ(byte, 'z');

    // More than a block can hold: refused before anything is read or allocated.
    Block block;
    block.assign("old", 3);
    ASSERT_TRUE(file.seek(0));
    EXPECT_FALSE(file.readRest(block));
    EXPECT_EQ(block.length(), 0);
    EXPECT_FALSE(readAll(path, block));
}

TEST(FileTest, CopyFileRespectsAnExistingTarget) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mailbox bytes");
    writeBytes(temp / "old.dbx", "older backup");
    String source = textOf(temp.text("Inbox.dbx"));
    String old = textOf(temp.text("old.dbx"));
    EXPECT_FALSE(copyFile(source, old, IfExists::Fail));
    EXPECT_EQ(readBytes(temp / "old.dbx"), "older backup");
    ASSERT_TRUE(copyFile(source, old, IfExists::Replace));
    EXPECT_EQ(readBytes(temp / "old.dbx"), "mailbox bytes");

    // A missing source leaves no target behind; a copy onto itself keeps the bytes.
    EXPECT_FALSE(
        copyFile(textOf(temp.text("missing.dbx")), textOf(temp.text("t.dbx")), IfExists::Replace));
    EXPECT_FALSE(fs::exists(temp / "t.dbx"));
    EXPECT_FALSE(copyFile(source, source, IfExists::Replace));
    EXPECT_EQ(readBytes(temp / "Inbox.dbx"), "mailbox bytes");
}

TEST(FileTest, FileSystemHelpers) {
    TempFolder temp;
    writeBytes(temp / "mail.tmp", "rebuilt");
    writeBytes(temp / "mail.eml", "original");
    ASSERT_TRUE(renameFile(textOf(temp.text("mail.tmp")), textOf(temp.text("mail.eml"))));
    EXPECT_EQ(readBytes(temp / "mail.eml"), "rebuilt");
    String file = textOf(temp.text("mail.eml"));
    EXPECT_TRUE(exists(file));
    EXPECT_FALSE(isDirectory(file));

    String folder = textOf(temp.text("d"));
    EXPECT_EQ(getAttributes(folder), NoAttributes);
    EXPECT_FALSE(exists(folder));
    EXPECT_TRUE(makeDirectory(folder));
    EXPECT_FALSE(makeDirectory(folder));
    EXPECT_TRUE(isDirectory(folder));
    EXPECT_FALSE(removeFile(folder));

    ASSERT_TRUE(removeFile(file));
    EXPECT_FALSE(fs::exists(temp / "mail.eml"));
}

TEST(FileTest, WideNamesReachTheFileSystemWhole) {
    TempFolder temp;
    const std::u16string name = u"\u0416\u4E2D\u00E9.eml"; // outside every 8-bit code page
    Path path;
    ASSERT_TRUE(path.join(textOf(temp.text()), wideText(name)));
    ASSERT_TRUE(writeAll(path, String("body")));
    EXPECT_EQ(readBytes(temp.root() / fs::path(name)), "body");
    EXPECT_TRUE(exists(path));
    Block back;
    ASSERT_TRUE(readAll(path, back));
    EXPECT_EQ(bytesOf(back), "body");

    Path copy;
    ASSERT_TRUE(copy.join(textOf(temp.text()), wideText(u"\u4E2D.bak")));
    ASSERT_TRUE(copyFile(path, copy, IfExists::Fail));
    EXPECT_EQ(readBytes(temp.root() / fs::path(u"\u4E2D.bak")), "body");

    Path folder;
    ASSERT_TRUE(folder.join(textOf(temp.text()), wideText(u"\u0416/\u4E2D")));
    ASSERT_TRUE(folder.createDirectories(Path::LastComponent::Folder));
    EXPECT_TRUE(fs::is_directory(temp.root() / fs::path(u"\u0416") / fs::path(u"\u4E2D")));
}
