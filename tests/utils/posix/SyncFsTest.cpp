// Whole-file-system flushes: when they are trusted, and that a failure of one is never
// taken for success, whichever way the files are flushed.
#include "utils/posix/SyncFs.h"
#include "utils/File.h"
#include "utils/FileSystem.h"

#include "../TempFolder.h"

#include <gtest/gtest.h>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

int flushesSeen = 0;
bool failEveryFlush() {
    ++flushesSeen;
    return false;
}

// Undoes the probe whatever the test's end.
struct FailingFlushes {
    FailingFlushes() {
        flushesSeen = 0;
        File::setFlushProbe(failEveryFlush);
    }
    ~FailingFlushes() { File::setFlushProbe(nullptr); }
};

} // namespace

// Only since Linux 5.8 does syncfs report a write-back error that happened before it.
TEST(SyncFs, TrustedFromTheKernelReleaseOn) {
    const struct {
        const char* release;
        bool trusted;
    } cases[] = {
        {"5.8.0", true},
        {"5.10.0-21-amd64", true},
        {"6.1.0-13-amd64", true},
        {"10.0", true},
        {"5.7.19", false},
        {"4.19.0-25-amd64", false},
        {"3.10.0-1160.el7", false},
        {"2.6.32", false},
        {"5", false},
        {"", false},
        {"abc", false},
        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(syncfsReportsEarlierErrors(c.release), c.trusted)
            << (c.release ? c.release : "null");
}

// A failed flush, of one file, of several together, of a folder's names or of closed files,
// is reported as failed: the cut that depends on it is then never made.
TEST(SyncFs, AFailedFlushIsNeverASuccess) {
    TempFolder temp;
    writeBytes(temp / "a.bin", "first");
    writeBytes(temp / "b.bin", "second");
    const String folder = textOf(temp.text());
    File a, b;
    ASSERT_TRUE(a.openForReading(textOf(temp.text("a.bin")), File::Access::ReadWrite));
    ASSERT_TRUE(b.openForReading(textOf(temp.text("b.bin")), File::Access::ReadWrite));
    const std::vector<String> closed = {textOf(temp.text("a.bin")), textOf(temp.text("b.bin"))};
    ASSERT_TRUE(File::flushTogether({&a, &b}, {{folder, closed}}));
    FailingFlushes failing;
    EXPECT_FALSE(a.flush());
    EXPECT_FALSE(File::flushTogether({&a}, {}));
    EXPECT_FALSE(File::flushTogether({&a, &b}, {}));
    EXPECT_FALSE(File::flushTogether({&a, &b}, {{folder, closed}}));
    EXPECT_FALSE(File::flushTogether({}, {{folder, {}}}));
    EXPECT_FALSE(flushFilesIn(folder, closed));
    EXPECT_FALSE(flushFile(closed[0]));
    EXPECT_FALSE(flushDirectory(folder));
    EXPECT_GE(flushesSeen, 8);
}
