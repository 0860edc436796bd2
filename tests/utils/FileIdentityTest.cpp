// Identities and replacing a file in place, as far as every platform sees them alike.
#include "utils/FileSystem.h"
#include "utils/Path.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

// Replaces the file with the given bytes, written by the temporary's own writer.
bool replaceWith(const Path& path, const std::string& bytes) {
    return replaceBeside(path, [&](const Path& temporary) {
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

size_t entriesIn(const fs::path& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(FileIdentityTest, FilesAndFoldersAreToldApart) {
    TempFolder temp;
    writeBytes(temp / "a.eml", "same bytes");
    writeBytes(temp / "b.eml", "same bytes");
    fs::create_directory(temp / "folder");
    FileIdentity a = fileIdentity(textOf(temp.text("a.eml")));
    FileIdentity b = fileIdentity(textOf(temp.text("b.eml")));
    FileIdentity folder = fileIdentity(textOf(temp.text("folder")));
    ASSERT_TRUE(a.valid);
    ASSERT_TRUE(b.valid);
    ASSERT_TRUE(folder.valid);
    EXPECT_TRUE(a == fileIdentity(textOf(temp.text("a.eml"))));
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(a == folder);
    EXPECT_TRUE(a != b);
    // Files beside each other live on one volume: only the index tells them apart.
    EXPECT_EQ(a.device, b.device);
    EXPECT_EQ(a.device, folder.device);
}

TEST(FileIdentityTest, WhatCannotBeLookedAtIsNeverTheSame) {
    TempFolder temp;
    FileIdentity missing = fileIdentity(textOf(temp.text("missing")));
    FileIdentity other = fileIdentity(textOf(temp.text("other/missing")));
    EXPECT_FALSE(missing.valid);
    EXPECT_FALSE(missing == other);
    EXPECT_FALSE(missing == missing);
    EXPECT_FALSE(fileIdentity(textOf(temp.text("a") + std::string(1, '\0') + "b")).valid);
    writeBytes(temp / "a", "a");
    EXPECT_FALSE(missing == fileIdentity(textOf(temp.text("a"))));
    EXPECT_EQ(hardLinkCount(textOf(temp.text("missing"))), 0u);
}

TEST(FileIdentityTest, HardLinksShareTheIdentityAndAreCounted) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "mailbox");
    String original = textOf(temp.text("Inbox.dbx"));
    String link = textOf(temp.text("second name.dbx"));
    EXPECT_EQ(hardLinkCount(original), 1u);
    fs::create_hard_link(temp / "Inbox.dbx", temp / "second name.dbx");
    EXPECT_TRUE(fileIdentity(original) == fileIdentity(link));
    EXPECT_EQ(hardLinkCount(original), 2u);
    EXPECT_EQ(hardLinkCount(link), 2u);
    fs::remove(temp / "Inbox.dbx");
    EXPECT_EQ(hardLinkCount(link), 1u);
    // A folder's link count says nothing about its files.
    fs::create_directory(temp / "folder");
    EXPECT_EQ(hardLinkCount(textOf(temp.text("folder"))), 0u);
}

TEST(FileIdentityTest, WideNamesAreLookedUpWhole) {
    TempFolder temp;
    writeBytes(temp.root() / fs::path(u"\u0416.eml"), "one");
    writeBytes(temp.root() / fs::path(u"\u4E2D.eml"), "two");
    Path first;
    Path second;
    ASSERT_TRUE(first.join(textOf(temp.text()), wideText(u"\u0416.eml")));
    ASSERT_TRUE(second.join(textOf(temp.text()), wideText(u"\u4E2D.eml")));
    // Through an 8-bit code page both names would become the same "?.eml".
    ASSERT_TRUE(fileIdentity(first).valid);
    ASSERT_TRUE(fileIdentity(second).valid);
    EXPECT_FALSE(fileIdentity(first) == fileIdentity(second));
}

TEST(FileIdentityTest, FailedAndRepeatedReplacesLeaveNothingBeside) {
    TempFolder temp;
    writeBytes(temp / "1.eml", "original");
    writeBytes(temp / "1.eml.klovin-new0", "somebody else's");
    Path path = pathOf(temp, "1.eml");
    Path used;
    bool replaced = replaceBeside(path, [&](const Path& temporary) {
        used.assign(temporary);
        writeBytes(fs::path(used.c_str()), "half");
        removeFile(temporary);
        return false;
    });
    EXPECT_FALSE(replaced);
    EXPECT_STREQ(used.c_str(), temp.text("1.eml.klovin-new1").c_str());
    EXPECT_EQ(readBytes(temp / "1.eml"), "original");
    EXPECT_EQ(readBytes(temp / "1.eml.klovin-new0"), "somebody else's");
    EXPECT_EQ(entriesIn(temp.root()), 2u);

    // Replace after replace, nothing piles up beside the file.
    ASSERT_TRUE(replaceWith(path, "second"));
    ASSERT_TRUE(replaceWith(path, "third"));
    EXPECT_EQ(readBytes(temp / "1.eml"), "third");
    EXPECT_EQ(readBytes(temp / "1.eml.klovin-new0"), "somebody else's");
    EXPECT_EQ(entriesIn(temp.root()), 2u);
    // Where nothing was, the new version simply appears.
    ASSERT_TRUE(replaceWith(pathOf(temp, "2.eml"), "new"));
    EXPECT_EQ(readBytes(temp / "2.eml"), "new");
    EXPECT_EQ(entriesIn(temp.root()), 3u);
}
