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
    for (char &c : text) {
        if (c == '/')
            c = hostPathRules.separator;
    }
    return text;
}

std::string textOfPath(const Path &path) {
    String narrow;
    narrow.toNarrow(path);
    return std::string(narrow.c_str(), narrow.length());
}

Path joined(const char *folder, const char *component) {
    Path path;
    EXPECT_TRUE(path.join(String(folder), String(component)));
    return path;
}

} // namespace

TEST(PathTest, JoinPutsExactlyOneSeparatorBetween) {
    EXPECT_EQ(textOfPath(joined("dir", "x")), host("dir/x"));
    EXPECT_EQ(textOfPath(joined("dir/", "x")), host("dir/x"));
    EXPECT_EQ(textOfPath(joined("dir/", "/x")), host("dir/x"));
    EXPECT_EQ(textOfPath(joined("F", "a//b")), host("F/a/b"));
    // Both separators are accepted and written as the host's.
    EXPECT_EQ(textOfPath(joined("a\\\\b", "c/\\d")), host("a/b/c/d"));
    // A separator at the end of the component is kept, once.
    EXPECT_EQ(textOfPath(joined("a", "b//")), host("a/b/"));
}

TEST(PathTest, AppendHonoursTheSeparatorRequests) {
    Path path;
    ASSERT_TRUE(path.assign(String("store/Inbox")));
    ASSERT_TRUE(path.append(String(".dbx"), false));
    EXPECT_EQ(textOfPath(path), host("store/Inbox.dbx"));

    ASSERT_TRUE(path.append(String("x"), true, true));
    EXPECT_EQ(textOfPath(path), host("store/Inbox.dbx/x/"));
    ASSERT_TRUE(path.append(String("y"), true, true));
    EXPECT_EQ(textOfPath(path), host("store/Inbox.dbx/x/y/"));

    // An empty component changes nothing, not even a requested separator.
    ASSERT_TRUE(path.append(String(""), true, true));
    EXPECT_EQ(textOfPath(path), host("store/Inbox.dbx/x/y/"));
}

TEST(PathTest, RelativePathNeverStartsWithASeparator) {
    Path path;
    ASSERT_TRUE(path.append(String("x"), true, false));
    EXPECT_EQ(textOfPath(path), "x");
    EXPECT_EQ(path.rootKind(), Path::RootRelative);

    ASSERT_TRUE(path.assign(String("name")));
    EXPECT_EQ(path.rootKind(), Path::RootRelative);
    EXPECT_EQ(path.lastComponent(), 0);
}

TEST(PathTest, LastComponentFollowsTheLastSeparatorWritten) {
    Path path = joined("dir/sub", "name.eml");
    std::string text = textOfPath(path);
    EXPECT_EQ(text.substr(path.lastComponent()), "name.eml");

    // A collapsed separator run does not move it.
    path = joined("dir//", "//x");
    text = textOfPath(path);
    EXPECT_EQ(text.substr(path.lastComponent()), "x");
}

TEST(PathTest, JoinOntoItselfUsesTheOldText) {
    Path path = joined("a", "b");
    ASSERT_TRUE(path.join(path, String("c")));
    EXPECT_EQ(textOfPath(path), host("a/b/c"));
    ASSERT_TRUE(path.append(path, true));
    EXPECT_EQ(textOfPath(path), host("a/b/c/a/b/c"));
}

TEST(PathTest, ExtensionIsTheTextAfterTheLastDotOfTheLastComponent) {
    String ext;
    joined("d", "x.tar.gz").extension(ext);
    EXPECT_STREQ(ext.c_str(), "gz");

    Path path = joined("a.b", "file");
    path.extension(ext);
    EXPECT_EQ(ext.length(), 0);
    EXPECT_FALSE(path.removeExtension());
    EXPECT_EQ(textOfPath(path), host("a.b/file"));

    path = joined("d", "x.tar.gz");
    EXPECT_TRUE(path.removeExtension());
    EXPECT_EQ(textOfPath(path), host("d/x.tar"));

    joined("d", "trailing.").extension(ext);
    EXPECT_EQ(ext.length(), 0);
}

TEST(PathTest, NameWithoutDotNeverInheritsAnEarlierExtension) {
    String ext;
    joined("out", "report.pdf").extension(ext);
    ASSERT_STREQ(ext.c_str(), "pdf");
    joined("out", "README").extension(ext);
    EXPECT_EQ(ext.length(), 0);
    EXPECT_STREQ(ext.c_str(), "");
}

// The numbered candidates of a taken file name are built from these operations.
TEST(PathTest, NumberedCandidatesKeepTheirFolder) {
    auto candidate = [](const char *name) {
        Path path = joined("out", name);
        String ext;
        path.extension(ext);
        path.removeExtension();
        path.append(String("_1."), false);
        path.append(ext, false);
        return textOfPath(path);
    };
    EXPECT_EQ(candidate("report.pdf"), host("out/report_1.pdf"));
    EXPECT_EQ(candidate("archive.tar.gz"), host("out/archive.tar_1.gz"));
    EXPECT_EQ(candidate("README"), host("out/README_1."));
    EXPECT_EQ(candidate(".profile"), host("out/_1.profile"));

    // Cut down to nothing, a relative path still takes no leading separator.
    Path bare;
    bare.assign(String(".profile"));
    ASSERT_TRUE(bare.removeExtension());
    bare.append(String("_1.profile"), false);
    EXPECT_EQ(textOfPath(bare), "_1.profile");
}

TEST(PathTest, WideComponentMakesThePathWideWithoutLoss) {
    const std::u16string name = u"\u0416\u4E2D.txt"; // outside every 8-bit code page
    Path path;
    ASSERT_TRUE(path.join(String("dir"), wideText(name)));
    ASSERT_TRUE(path.isWide());
    std::u16string expected = u"dir";
    expected += static_cast<char16_t>(hostPathRules.separator);
    expected += name;
    EXPECT_EQ(charsOf(path), expected);
    EXPECT_EQ(charsOf(path).substr(path.lastComponent()), name);

    // An 8-bit component joins a wide path converted.
    ASSERT_TRUE(path.append(String(".bak"), false));
    EXPECT_EQ(charsOf(path), expected + u".bak");

    String ext;
    path.extension(ext);
    EXPECT_TRUE(ext.isWide());
    EXPECT_EQ(charsOf(ext), u"bak");
}

TEST(PathTest, CreateDirectoriesMakesEveryMissingFolderInOrder) {
    TempFolder temp;
    Path path;
    ASSERT_TRUE(path.join(textOf(temp.text()), String("a/b/c")));

    String error;
    ASSERT_TRUE(path.createDirectories(true, &error));
    EXPECT_TRUE(fs::is_directory(temp / "a/b"));
    EXPECT_FALSE(fs::exists(temp / "a/b/c")); // the last component is a file name

    ASSERT_TRUE(createDirectories(path, false, &error));
    EXPECT_TRUE(fs::is_directory(temp / "a/b/c"));
    // Everything there already: nothing to do, still a success.
    EXPECT_TRUE(path.createDirectories(false, nullptr));
}

TEST(PathTest, CreateDirectoriesStopsAtTheFirstFolderItCannotMake) {
    TempFolder temp;
    fs::create_directory(temp / "a");
    writeBytes(temp / "a/b", "a file, not a folder");

    Path path;
    ASSERT_TRUE(path.join(textOf(temp.text()), String("a/b/c/d")));
    String error;
    EXPECT_FALSE(path.createDirectories(false, &error));
    // The file at a/b counts as existing, so the walk fails one step later, and nothing
    // behind that step is tried.
    EXPECT_STREQ(error.c_str(), temp.text("a/b/c").c_str());
    EXPECT_EQ(readBytes(temp / "a/b"), "a file, not a folder");

    ASSERT_TRUE(path.join(textOf(temp.text()), String("a/b")));
    EXPECT_FALSE(path.createDirectories(false, &error));
    EXPECT_STREQ(error.c_str(), temp.text("a/b").c_str());
    EXPECT_TRUE(path.createDirectories(true, nullptr));
}

TEST(PathTest, CreateDirectoriesKeepsWhatItMadeBeforeAFailure) {
    TempFolder temp;
    // No file system takes a name this long.
    std::string tooLong(300, 'n');
    Path path;
    ASSERT_TRUE(path.join(textOf(temp.text()), textOf("made/" + tooLong + "/x")));
    String error;
    EXPECT_FALSE(path.createDirectories(false, &error));
    EXPECT_STREQ(error.c_str(), temp.text("made/" + tooLong).c_str());
    EXPECT_TRUE(fs::is_directory(temp / "made"));
}
