// What a Windows file keeps through a replace, and one file under several spellings.
#include "utils/FileSystem.h"
#include "utils/Path.h"
#include "utils/win32/ReplaceFileStandIn.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

bool replaceWith(const Path& target, const std::string& bytes) {
    return replaceBeside(target, [&](const Path& temporary) {
        Block block;
        block.assign(bytes.data(), static_cast<int32_t>(bytes.size()));
        return writeAll(temporary, block);
    });
}

Path pathOf(const TempFolder& temp, const std::string& name) {
    Path path;
    path.assign(textOf(temp.text(name)));
    return path;
}

FILETIME creationTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
    return data.ftCreationTime;
}

size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// ReplaceFile as Windows documents its failures, and as a less faithful system might fail.
enum class Failure {
    NothingMoved,       // ERROR_UNABLE_TO_MOVE_REPLACEMENT with a backup name
    OriginalAtBackup,   // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2
    MovedThoughNotTold, // ERROR_UNABLE_TO_MOVE_REPLACEMENT, the original at the backup name
    CopiedThenRefused,  // ERROR_ACCESS_DENIED, a copy of the original at the backup name
    CallNotSupported,   // ERROR_INVALID_FUNCTION: a file system without the call
};
Failure failure;
int calls;

BOOL WINAPI failingReplaceFileA(LPCSTR replaced, LPCSTR, LPCSTR backup, DWORD, LPVOID, LPVOID) {
    ++calls;
    DWORD error = ERROR_UNABLE_TO_MOVE_REPLACEMENT;
    switch (failure) {
    case Failure::NothingMoved:
        break;
    case Failure::OriginalAtBackup:
        MoveFileA(replaced, backup);
        error = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
        break;
    case Failure::MovedThoughNotTold:
        MoveFileA(replaced, backup);
        break;
    case Failure::CopiedThenRefused:
        CopyFileA(replaced, backup, TRUE);
        error = ERROR_ACCESS_DENIED;
        break;
    case Failure::CallNotSupported:
        error = ERROR_INVALID_FUNCTION;
        break;
    }
    SetLastError(error);
    return FALSE;
}

// Stands in for the system's ReplaceFile while it lives.
class FailingReplaceFile {
public:
    explicit FailingReplaceFile(Failure how) {
        failure = how;
        calls = 0;
        standInForReplaceFile(failingReplaceFileA, nullptr);
    }
    ~FailingReplaceFile() { standInForReplaceFile(nullptr, nullptr); }
};

} // namespace

TEST(FileIdentityWin32Test, SpellingsOfOneNameAreOneFile) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mailbox");
    fs::create_directory(temp / "Folder");
    FileIdentity file = fileIdentity(textOf(temp.text("Inbox.dbx")));
    ASSERT_TRUE(file.valid);
    EXPECT_TRUE(file == fileIdentity(textOf(temp.text("INBOX.DBX"))));
    EXPECT_TRUE(file == fileIdentity(textOf(temp.text() + "\\.\\Inbox.dbx")));
    EXPECT_TRUE(file == fileIdentity(textOf(temp.text() + "\\Folder\\..\\inbox.dbx")));
    EXPECT_TRUE(file == fileIdentity(textOf(temp.text() + "/Inbox.dbx")));
    // A folder is opened even though it is no file, and it is not the file beside it.
    FileIdentity folder = fileIdentity(textOf(temp.text("Folder")));
    ASSERT_TRUE(folder.valid);
    EXPECT_TRUE(folder == fileIdentity(textOf(temp.text("folder\\"))));
    EXPECT_FALSE(folder == file);
}

TEST(FileIdentityWin32Test, AFileOpenElsewhereCanStillBeLookedAt) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mailbox");
    String path = textOf(temp.text("Inbox.dbx"));
    FileIdentity before = fileIdentity(path);
    // The mail program holds its mailbox and lets nobody else read or write it.
    HANDLE other = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fileIdentity(path) == before);
    EXPECT_EQ(hardLinkCount(path), 1u);
    CloseHandle(other);
}

TEST(FileIdentityWin32Test, AReplacedFileKeepsItsAttributesAndCreationTime) {
    TempFolder temp;
    std::string name = temp.text("1.eml");
    writeBytes(name, "with attachment");
    // A creation time well apart from now, so that a new file could not have it.
    HANDLE handle = CreateFileA(name.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME created = {0x12345600, 0x01C00000}; // 2001
    ASSERT_TRUE(SetFileTime(handle, &created, nullptr, nullptr));
    CloseHandle(handle);
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    // Wine keeps no creation time of its own: it derives one from the Unix times.
    FILETIME stored = creationTime(name);
    bool keepsCreationTimes = CompareFileTime(&stored, &created) == 0;

    ASSERT_TRUE(replaceWith(pathOf(temp, "1.eml"), "cut"));
    EXPECT_EQ(readBytes(name), "cut");
    DWORD attributes = GetFileAttributesA(name.c_str());
    EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
    if (keepsCreationTimes) {
        FILETIME after = creationTime(name);
        EXPECT_EQ(CompareFileTime(&after, &created), 0);
    }
    // Neither the temporary nor the original under its backup name stays behind.
    EXPECT_EQ(entriesIn(temp.root()), 1u);
}

TEST(FileIdentityWin32Test, ABackupNameInUseIsPassedOver) {
    TempFolder temp;
    writeBytes(temp.root() / fs::path(u"\u0416.eml"), "with attachment");
    writeBytes(temp.root() / fs::path(u"\u0416.eml.klovin-old0"), "somebody else's");
    Path path;
    ASSERT_TRUE(path.join(textOf(temp.text()), wideText(u"\u0416.eml")));
    SetFileAttributesW((temp.root() / fs::path(u"\u0416.eml")).c_str(), FILE_ATTRIBUTE_HIDDEN);

    ASSERT_TRUE(replaceWith(path, "cut"));
    EXPECT_EQ(readBytes(temp.root() / fs::path(u"\u0416.eml")), "cut");
    EXPECT_NE(GetFileAttributesW((temp.root() / fs::path(u"\u0416.eml")).c_str()) &
                  FILE_ATTRIBUTE_HIDDEN,
              0u);
    EXPECT_EQ(readBytes(temp.root() / fs::path(u"\u0416.eml.klovin-old0")), "somebody else's");
    EXPECT_EQ(entriesIn(temp.root()), 2u);
}

TEST(FileIdentityWin32Test, AReadOnlyFileIsNotReplaced) {
    TempFolder temp;
    std::string name = temp.text("1.eml");
    writeBytes(name, "original");
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(replaceWith(pathOf(temp, "1.eml"), "cut"));
    EXPECT_EQ(readBytes(name), "original");
    EXPECT_NE(GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(entriesIn(temp.root()), 1u);
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FileIdentityWin32Test, AFailedReplaceFilePutsTheOriginalBackOrFallsBackToRename) {
    for (Failure how :
         {Failure::NothingMoved, Failure::OriginalAtBackup, Failure::MovedThoughNotTold,
          Failure::CopiedThenRefused, Failure::CallNotSupported}) {
        SCOPED_TRACE(static_cast<int>(how));
        TempFolder temp;
        std::string name = temp.text("1.eml");
        writeBytes(name, "original");
        ASSERT_TRUE(SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_HIDDEN));
        FailingReplaceFile standIn(how);
        bool replaced = replaceWith(pathOf(temp, "1.eml"), "cut");
        EXPECT_EQ(calls, 1);
        // Refused before anything moved, the plain rename still does the job, and the
        // attributes still follow.
        bool refused = how == Failure::CopiedThenRefused || how == Failure::CallNotSupported;
        EXPECT_EQ(replaced, refused);
        EXPECT_EQ(readBytes(name), refused ? "cut" : "original");
        EXPECT_NE(GetFileAttributesA(name.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
        EXPECT_EQ(entriesIn(temp.root()), 1u);
    }
}
