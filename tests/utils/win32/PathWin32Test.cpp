// Windows paths: drive and network roots, "\" as the separator.
#include "utils/Path.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;

namespace {

std::string textOfPath(const Path& path) {
    return std::string(path.c_str(), path.length());
}

Path joined(const char* folder, const char* component) {
    Path path;
    EXPECT_TRUE(path.join(String(folder), String(component)));
    return path;
}

} // namespace

TEST(PathWin32Test, DriveRootsTakeASeparatorBehindTheColon) {
    Path path = joined("C:", "x");
    EXPECT_EQ(path.rootKind(), Path::RootDrive);
    EXPECT_EQ(textOfPath(path), "C:\\x");
    EXPECT_EQ(textOfPath(joined("C:\\a\\", "\\b")), "C:\\a\\b");
    EXPECT_EQ(textOfPath(joined("c:/a//", "b/")), "c:\\a\\b\\");
    EXPECT_EQ(textOfPath(joined("dir", "x")), "dir\\x");
    EXPECT_EQ(textOfPath(joined("F", "a//b")), "F\\a\\b");

    ASSERT_TRUE(path.assign(String("C:")));
    EXPECT_EQ(textOfPath(path), "C:\\");
}

TEST(PathWin32Test, DriveLetterMustBeALetter) {
    Path path = joined("C:", "x");
    EXPECT_FALSE(path.assign(String("1:x")));
    EXPECT_EQ(path.length(), 0);
    EXPECT_EQ(path.rootKind(), Path::RootUnknown);
    EXPECT_FALSE(path.join(String("?:"), String("y")));
    EXPECT_EQ(path.length(), 0);
}

TEST(PathWin32Test, NetworkRootsKeepTheirLeadingPair) {
    Path path = joined("\\\\server\\share", "x");
    EXPECT_EQ(path.rootKind(), Path::RootNetwork);
    EXPECT_EQ(textOfPath(path), "\\\\server\\share\\x");
    path = joined("//server//share/", "x");
    EXPECT_EQ(path.rootKind(), Path::RootNetwork);
    EXPECT_EQ(textOfPath(path), "\\\\server\\share\\x");

    // Three separators are no server name: one root separator stays.
    path = joined("\\\\\\x", "y");
    EXPECT_EQ(path.rootKind(), Path::RootSeparator);
    EXPECT_EQ(textOfPath(path), "\\x\\y");
}

TEST(PathWin32Test, RootOfTheCurrentDriveStaysRooted) {
    Path path = joined("\\Windows", "x");
    EXPECT_EQ(path.rootKind(), Path::RootSeparator);
    EXPECT_EQ(textOfPath(path), "\\Windows\\x");
}

TEST(PathWin32Test, ExtensionStopsAtTheLastSeparator) {
    String ext;
    Path path = joined("C:\\a.b", "file");
    path.extension(ext);
    EXPECT_EQ(ext.length(), 0);
    EXPECT_FALSE(path.removeExtension());
    EXPECT_EQ(textOfPath(path), "C:\\a.b\\file");

    path = joined("C:\\d", "x.tar.gz");
    path.extension(ext);
    EXPECT_STREQ(ext.c_str(), "gz");
    EXPECT_TRUE(path.removeExtension());
    EXPECT_EQ(textOfPath(path), "C:\\d\\x.tar");
}

TEST(PathWin32Test, NetworkWalkStartsAtTheShare) {
    // The server itself is never created: the first folder tried is the share.
    Path path = joined("\\\\nosuchserver.invalid\\share", "a\\b");
    String error;
    EXPECT_FALSE(path.createDirectories(Path::LastComponent::File, &error));
    EXPECT_STREQ(error.c_str(), "\\\\nosuchserver.invalid\\share");
}
