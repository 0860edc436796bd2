// What only Windows has: sharing modes, device names, the "A" and "W" calls.
#include "utils/File.h"
#include "utils/FileSystem.h"
#include "utils/Path.h"
#include "utils/win32/WideCallTable.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

TEST(FileWin32Test, SharingViolationIsToldApart) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mailbox");
    String path = textOf(temp.text("Inbox.dbx"));

    // Another program holds it with write access and lets others only read.
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    File file;
    EXPECT_FALSE(file.openForReading(path, File::Access::ReadWrite));
    EXPECT_TRUE(file.lastErrorWasSharingViolation());
    // Reading alone fails too: this open lets others write, which the holder does.
    EXPECT_FALSE(file.openForReading(path, File::Access::ReadOnly, File::ShareRead));
    EXPECT_TRUE(file.lastErrorWasSharingViolation());
    CloseHandle(other);

    ASSERT_TRUE(file.openForReading(path, File::Access::ReadWrite, File::ShareRead));
    // Now this object writes and lets others only read: a second writer is refused.
    File second;
    EXPECT_FALSE(second.openForReading(path, File::Access::ReadWrite));
    EXPECT_TRUE(second.lastErrorWasSharingViolation());
    EXPECT_TRUE(second.openForReading(path, File::Access::ReadOnly));

    EXPECT_FALSE(file.openForReading(textOf(temp.text("missing"))));
    EXPECT_FALSE(file.lastErrorWasSharingViolation());
}

TEST(FileWin32Test, DeviceNamesAreNotFiles) {
    File file;
    EXPECT_FALSE(file.openForWriting(String("NUL"), IfExists::Replace));
    EXPECT_FALSE(writeAll(String("NUL"), String("attachment")));
    EXPECT_FALSE(file.openForReading(String("NUL")));
}

TEST(FileWin32Test, CopyFileUsesTheWideCallForWideNames) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mailbox bytes");
    Path target;
    ASSERT_TRUE(target.join(textOf(temp.text()), wideText(u"\u0416.dbx")));
    ASSERT_TRUE(copyFile(textOf(temp.text("Inbox.dbx")), target, IfExists::Fail));
    EXPECT_EQ(readBytes(temp.root() / fs::path(u"\u0416.dbx")), "mailbox bytes");
    // Through the 8-bit call the name would have become "#.dbx" or "?.dbx".
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.root()), fs::directory_iterator()), 2);

    writeBytes(temp / "Inbox.dbx", "newer");
    EXPECT_FALSE(copyFile(textOf(temp.text("Inbox.dbx")), target, IfExists::Fail));
    EXPECT_EQ(readBytes(temp.root() / fs::path(u"\u0416.dbx")), "mailbox bytes");
    ASSERT_TRUE(copyFile(textOf(temp.text("Inbox.dbx")), target, IfExists::Replace));
    EXPECT_EQ(readBytes(temp.root() / fs::path(u"\u0416.dbx")), "newer");
}

TEST(WideCallTableTest, WindowTextGoesThroughTheTable) {
    WideCallTable& table = WideCallTable::instance();
    EXPECT_EQ(&table, &WideCallTable::instance());
    ASSERT_TRUE(table.isWideCapable());

    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    const wchar_t text[] = L"\x0416\x4E2D text";
    ASSERT_TRUE(table.SetWindowTextW(window, text));
    EXPECT_TRUE(table.isResolved(WideCallTable::FunctionSetWindowTextW));
    wchar_t back[32] = {};
    EXPECT_EQ(table.GetWindowTextW(window, back, 32), 7);
    EXPECT_STREQ(back, text);
    DestroyWindow(window);
}
