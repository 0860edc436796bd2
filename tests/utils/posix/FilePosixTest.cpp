// What only POSIX can set up: symbolic links, pipes, and a file size limit that makes a
// write fail half-way.
#include "utils/DirectorySearch.h"
#include "utils/File.h"
#include "utils/FileSystem.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

// Lowers the file size limit for its lifetime; writes past it fail with EFBIG instead of
// raising the signal that would end the test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit saved_;
    void (*oldHandler_)(int);
};

} // namespace

TEST(FilePosixTest, WriteAllRemovesAFileItCouldNotFill) {
    TempFolder temp;
    Block block;
    std::string content(5000, 'a');
    block.assign(content.data(), static_cast<int32_t>(content.size()));
    String path = textOf(temp.text("attachment.bin"));
    bool written;
    {
        FileSizeLimit limit(1000);
        written = writeAll(path, block);
    }
    EXPECT_FALSE(written);
    EXPECT_FALSE(fs::exists(temp / "attachment.bin"));
}

TEST(FilePosixTest, FailedCopyLeavesNoHalfCopy) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", std::string(5000, 'm'));
    bool copied;
    {
        FileSizeLimit limit(1000);
        copied = copyFile(textOf(temp.text("Inbox.dbx")), textOf(temp.text("backup.dbx")),
                          IfExists::Replace);
    }
    EXPECT_FALSE(copied);
    EXPECT_FALSE(fs::exists(temp / "backup.dbx"));
    EXPECT_EQ(fs::file_size(temp / "Inbox.dbx"), 5000u);
}

TEST(FilePosixTest, PipesAreRefusedWithoutWaiting) {
    TempFolder temp;
    ASSERT_EQ(mkfifo(temp.text("pipe").c_str(), 0600), 0);
    File file;
    // Opening a pipe for reading would wait for a writer forever if it were not refused.
    EXPECT_FALSE(file.openForReading(textOf(temp.text("pipe"))));
    EXPECT_FALSE(copyFile(textOf(temp.text("pipe")), textOf(temp.text("copy")), IfExists::Replace));
    EXPECT_FALSE(fs::exists(temp / "copy"));
}

TEST(FilePosixTest, LinksAreReparsePoints) {
    TempFolder temp;
    writeBytes(temp / "target.eml", std::string(42, 'x'));
    fs::create_directory(temp / "dir");
    fs::create_symlink(temp / "target.eml", temp / "link.eml");
    fs::create_directory_symlink(temp / "dir", temp / "dirlink");
    fs::create_symlink(temp / "gone", temp / "dangling");

    std::map<std::string, std::pair<uint32_t, uint64_t>> found;
    DirectorySearch search;
    Path pattern;
    pattern.join(textOf(temp.text()), String("*"));
    for (bool more = search.first(pattern, Width::Narrow); more; more = search.next()) {
        found[search.name().c_str()] = {search.attributes(), search.size()};
        Path entry;
        entry.join(textOf(temp.text()), search.name());
        EXPECT_EQ(getAttributes(entry), search.attributes()) << search.name().c_str();
    }
    std::map<std::string, std::pair<uint32_t, uint64_t>> expected = {
        {"target.eml", {AttributeNormal, 42}},
        {"dir", {AttributeDirectory, 0}},
        {"link.eml", {AttributeReparsePoint, 42}},
        {"dirlink", {AttributeReparsePoint | AttributeDirectory, 0}},
        {"dangling", {AttributeReparsePoint, 0}},
    };
    EXPECT_EQ(found, expected);
}

TEST(FilePosixTest, CreateNewDoesNotFollowALink) {
    TempFolder temp;
    fs::create_symlink(temp / "elsewhere", temp / "name.bin");
    EXPECT_FALSE(writeAll(textOf(temp.text("name.bin")), String("x")));
    EXPECT_FALSE(fs::exists(temp / "elsewhere"));
}
