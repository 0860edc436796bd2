// POSIX paths: "/" is the separator, a leading one is the only root, and drive letters
// and server names mean nothing.
#include "utils/Path.h"

#include <gtest/gtest.h>

#include <string>

using namespace TOVK_Utils;

namespace {

std::string textOfPath(const Path& path) {
    return std::string(path.c_str(), path.length());
}

} // namespace

TEST(PathPosixTest, LeadingSeparatorIsTheRoot) {
    Path path;
    ASSERT_TRUE(path.assign(String("//home///user/")));
    EXPECT_EQ(path.rootKind(), Path::RootSeparator);
    EXPECT_EQ(textOfPath(path), "/home/user/");

    ASSERT_TRUE(path.join(String("/"), String("x")));
    EXPECT_EQ(textOfPath(path), "/x");
    ASSERT_TRUE(path.join(String("\\\\server\\share"), String("x")));
    EXPECT_EQ(path.rootKind(), Path::RootSeparator);
    EXPECT_EQ(textOfPath(path), "/server/share/x");
}

TEST(PathPosixTest, ColonsAreOrdinaryCharacters) {
    Path path;
    ASSERT_TRUE(path.join(String("C:"), String("x")));
    EXPECT_EQ(path.rootKind(), Path::RootRelative);
    EXPECT_EQ(textOfPath(path), "C:/x");
    ASSERT_TRUE(path.assign(String("1:x")));
    EXPECT_EQ(textOfPath(path), "1:x");
}

TEST(PathPosixTest, RemovingAnExtensionDownToTheRootKeepsIt) {
    Path path;
    ASSERT_TRUE(path.assign(String("/.profile")));
    ASSERT_TRUE(path.removeExtension());
    EXPECT_EQ(textOfPath(path), "/");
    ASSERT_TRUE(path.append(String("_1.profile"), Path::Separator::None));
    EXPECT_EQ(textOfPath(path), "/_1.profile");
}
