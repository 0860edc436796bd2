// What a POSIX file keeps through a replace, and symbolic links seen through identities.
#include "utils/FileSystem.h"
#include "utils/Path.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

bool replaceWith(const std::string& path, const std::string& bytes) {
    Path target;
    target.assign(textOf(path));
    return replaceBeside(target, [&](const Path& temporary) {
        Block block;
        block.assign(bytes.data(), static_cast<int32_t>(bytes.size()));
        return writeAll(temporary, block);
    });
}

struct stat statusOf(const std::string& path) {
    struct stat status = {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status;
}

void setTimes(const std::string& path, time_t accessed, time_t modified) {
    struct timespec times[2] = {{accessed, 123456789}, {modified, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

} // namespace

TEST(FileIdentityPosixTest, ALinkIsWhatItNames) {
    TempFolder temp;
    writeBytes(temp / "target.eml", "x");
    fs::create_directory(temp / "dir");
    fs::create_symlink(temp / "target.eml", temp / "link.eml");
    fs::create_directory_symlink(temp / "dir", temp / "dirlink");
    fs::create_symlink(temp / "gone", temp / "dangling");
    EXPECT_TRUE(fileIdentity(textOf(temp.text("link.eml"))) ==
                fileIdentity(textOf(temp.text("target.eml"))));
    EXPECT_TRUE(fileIdentity(textOf(temp.text("dirlink"))) ==
                fileIdentity(textOf(temp.text("dir"))));
    // The same folder through "." and ".." is still the same folder.
    EXPECT_TRUE(fileIdentity(textOf(temp.text("dir/../dir/."))) ==
                fileIdentity(textOf(temp.text("dir"))));
    EXPECT_FALSE(fileIdentity(textOf(temp.text("dangling"))).valid);
    EXPECT_EQ(hardLinkCount(textOf(temp.text("dangling"))), 0u);
    // The link is not a second name of the file.
    EXPECT_EQ(hardLinkCount(textOf(temp.text("link.eml"))), 1u);
}

TEST(FileIdentityPosixTest, AReplacedFileKeepsItsModeAndTimes) {
    TempFolder temp;
    std::string path = temp.text("private.eml");
    writeBytes(path, "with attachment");
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    setTimes(path, 1000000000, 1100000000);
    struct stat before = statusOf(path);

    ASSERT_TRUE(replaceWith(path, "cut"));
    struct stat after = statusOf(path); // before the read below moves the access time
    EXPECT_EQ(readBytes(path), "cut");
    EXPECT_NE(after.st_ino, before.st_ino);  // a new file took the place...
    EXPECT_EQ(after.st_mode & 07777, 0600u); // ...not readable by others meanwhile
    EXPECT_EQ(after.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(after.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(after.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);

    // A wider mode is kept as it is too, executable bits included.
    ASSERT_EQ(chmod(path.c_str(), 0754), 0);
    ASSERT_TRUE(replaceWith(path, "again"));
    EXPECT_EQ(statusOf(path).st_mode & 07777, 0754u);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.root()), fs::directory_iterator()), 1);
}

TEST(FileIdentityPosixTest, AReplacedFileKeepsItsOwnerWherePermitted) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only a privileged process can give a file to another owner";
    TempFolder temp;
    std::string path = temp.text("theirs.eml");
    writeBytes(path, "with attachment");
    ASSERT_EQ(chown(path.c_str(), 4321, 5432), 0);
    ASSERT_EQ(chmod(path.c_str(), 06640), 0);
    ASSERT_TRUE(replaceWith(path, "cut"));
    struct stat after = statusOf(path);
    EXPECT_EQ(after.st_uid, 4321u);
    EXPECT_EQ(after.st_gid, 5432u);
    // The change of owner would have cleared these two bits had the mode been set first.
    EXPECT_EQ(after.st_mode & 07777, 06640u);
}

TEST(FileIdentityPosixTest, ALinkIsReplacedNotFollowed) {
    TempFolder temp;
    writeBytes(temp / "target.eml", "original");
    ASSERT_EQ(chmod(temp.text("target.eml").c_str(), 0600), 0);
    fs::create_symlink(temp / "target.eml", temp / "link.eml");
    ASSERT_TRUE(replaceWith(temp.text("link.eml"), "new"));
    EXPECT_EQ(readBytes(temp / "target.eml"), "original");
    EXPECT_EQ(readBytes(temp / "link.eml"), "new");
    struct stat replaced = statusOf(temp.text("link.eml"));
    EXPECT_TRUE(S_ISREG(replaced.st_mode));
    // Neither the link's own 0777 nor anything taken from the file it named.
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(replaced.st_mode & 07777, 0666u & ~mask);
}
