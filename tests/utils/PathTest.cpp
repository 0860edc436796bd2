#include "utils/Path.h"
#include "utils/FileSystem.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

// "a/b" written with the host's separator.
std::string host(std::string text) {
    for (char& c : text) {
        if (c == '/')
            c = hostPathRules.separator;
    }
    return text;
}

std::string textOfPath(const Path& path) {
    return std::string(path.c_str(), path.length());
}

Path joined(const char* folder, const char* component) {
    Path path;
    EXPECT_TRUE(path.join(String(folder), String(component)));
    return path;
}

} // namespace

TEST(PathTest, JoinPutsExactlyOneSeparatorBetween) {
    EXPECT_EQ(textOfPath(joined("dir", "x")), host("dir/x"));
    EXPECT_EQ(joined("dir", "x").rootKind(), Path::RootRelative);
    EXPECT_EQ(textOfPath(joined("dir/", "/x")), host("dir/x"));
    EXPECT_EQ(textOfPath(joined("F", "a//b")), host("F/a/b"));
    // Both separators are accepted and written as the host's; a trailing one is kept once.
    EXPECT_EQ(textOfPath(joined("a\\\\b", "c/\\d//")), host("a/b/c/d/"));

    Path path = joined("a", "b");
    ASSERT_TRUE(path.join(path, String("c")));
    EXPECT_EQ(textOfPath(path), host("a/b/c"));
}

TEST(PathTest, AppendHonoursTheSeparatorRequests) {
    Path path;
    ASSERT_TRUE(path.append(String("store/Inbox"), Path::Separator::Before));
    EXPECT_EQ(textOfPath(path), host("store/Inbox")); // no leading separator when relative
    ASSERT_TRUE(path.append(String(".dbx"), Path::Separator::None));
    EXPECT_EQ(textOfPath(path), host("store/Inbox.dbx"));
    ASSERT_TRUE(path.append(String("x"), Path::Separator::BeforeAndAfter));
    ASSERT_TRUE(path.append(String("y"), Path::Separator::BeforeAndAfter));
    EXPECT_EQ(textOfPath(path), host("store/Inbox.dbx/x/y/"));
    // An empty component changes nothing, not even a requested separator.
    ASSERT_TRUE(path.append(String(""), Path::Separator::BeforeAndAfter));
    EXPECT_EQ(textOfPath(path), host("store/Inbox.dbx/x/y/"));
}

TEST(PathTest, ExtensionIsTheTextAfterTheLastDotOfTheLastComponent) {
    String ext;
    Path path = joined("d", "x.tar.gz");
    path.extension(ext);
    EXPECT_STREQ(ext.c_str(), "gz");
    EXPECT_TRUE(path.removeExtension());
    EXPECT_EQ(textOfPath(path), host("d/x.tar"));

    // A name without a dot never keeps the extension of an earlier call.
    path = joined("a.b", "README");
    path.extension(ext);
    EXPECT_STREQ(ext.c_str(), "");
    EXPECT_FALSE(path.removeExtension());
    EXPECT_EQ(textOfPath(path), host("a.b/README"));
}

// The numbered candidates of a taken file name are built from these operations.
TEST(PathTest, NumberedCandidatesKeepTheirFolder) {
    auto candidate = [](const char* folder, const char* name) {
        Path path = joined(folder, name);
        String ext;
        path.extension(ext);
        path.removeExtension();
        path.append(String("_1."), Path::Separator::None);
        path.append(ext, Path::Separator::None);
        return textOfPath(path);
    };
    EXPECT_EQ(candidate("out", "archive.tar.gz"), host("out/archive.tar_1.gz"));
    EXPECT_EQ(candidate("out", "README"), host("out/README_1."));
    EXPECT_EQ(candidate("out", ".profile"), host("out/_1.profile"));
    // Cut down to nothing, a relative path still takes no leading separator.
    Path bare;
    bare.assign(String(".profile"));
    ASSERT_TRUE(bare.removeExtension());
    bare.append(String("_1.profile"), Path::Separator::None);
    EXPECT_EQ(textOfPath(bare), "_1.profile");
}

TEST(PathTest, WideComponentMakesThePathWideWithoutLoss) {
    const std::u16string name = u"\u0416\u4E2D.txt"; // outside every 8-bit code page
    Path path;
    ASSERT_TRUE(path.join(String("dir"), wideText(name)));
    ASSERT_TRUE(path.isWide());
    std::u16string expected = u"dir" + std::u16string(1, hostPathRules.separator) + name;
    EXPECT_EQ(charsOf(path), expected);
    EXPECT_EQ(charsOf(path).substr(path.lastComponent()), name);

    ASSERT_TRUE(path.append(String(".bak"), Path::Separator::None));
    EXPECT_EQ(charsOf(path), expected + u".bak");
    String ext;
    path.extension(ext);
    EXPECT_EQ(charsOf(ext), u"bak");
}

TEST(PathTest, CreateDirectoriesMakesEveryMissingFolderInOrder) {
    TempFolder temp;
    Path path;
    ASSERT_TRUE(path.join(textOf(temp.text()), String("a/b/c")));
    ASSERT_TRUE(path.createDirectories(Path::LastComponent::File, nullptr));
    EXPECT_TRUE(fs::is_directory(temp / "a/b"));
    EXPECT_FALSE(fs::exists(temp / "a/b/c")); // the last component is a file name

    ASSERT_TRUE(createDirectories(path, Path::LastComponent::Folder));
    EXPECT_TRUE(fs::is_directory(temp / "a/b/c"));
    EXPECT_TRUE(
        path.createDirectories(Path::LastComponent::Folder, nullptr)); // all there: still a success
}

TEST(PathTest, CreateDirectoriesReportsTheFirstFolderItCannotMake) {
    TempFolder temp;
    fs::create_directory(temp / "a");
    writeBytes(temp / "a/b", "a file, not a folder");
    Path path;
    String error;
    // The file at a/b counts as there, so the walk fails one step later and stops.
    ASSERT_TRUE(path.join(textOf(temp.text()), String("a/b/c/d")));
    EXPECT_FALSE(path.createDirectories(Path::LastComponent::Folder, &error));
    EXPECT_STREQ(error.c_str(), temp.text("a/b/c").c_str());
    EXPECT_EQ(readBytes(temp / "a/b"), "a file, not a folder");
    // As the last component, a file is no folder.
    ASSERT_TRUE(path.join(textOf(temp.text()), String("a/b")));
    EXPECT_FALSE(path.createDirectories(Path::LastComponent::Folder, &error));
    EXPECT_STREQ(error.c_str(), temp.text("a/b").c_str());
    EXPECT_TRUE(path.createDirectories(Path::LastComponent::File, nullptr));

    // Folders made before the failure stay. No file system takes a name this long.
    std::string tooLong(300, 'n');
    ASSERT_TRUE(path.join(textOf(temp.text()), textOf("made/" + tooLong + "/x")));
    EXPECT_FALSE(path.createDirectories(Path::LastComponent::Folder, &error));
    EXPECT_STREQ(error.c_str(), temp.text("made/" + tooLong).c_str());
    EXPECT_TRUE(fs::is_directory(temp / "made"));
}
