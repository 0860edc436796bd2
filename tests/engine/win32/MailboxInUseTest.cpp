#include "../JobFixture.h"

#include <windows.h>

// While cutting, another program holding the mailbox open for writing makes the job
// halt with its own text instead of calling the file "not a mailbox".
TEST_F(JobTest, MailboxInUseByAnotherProgram) {
    addMailbox("Inbox", {makeMessage("m", {{"f.txt", "x"}})});
    const std::string path = (root / "store" / "Inbox.dbx").string();
    HANDLE other =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    view.cut = true;
    runJob();
    CloseHandle(other);
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].message,
              path +
                  " is in use by another program. Close it and try again. Extraction will halt.");
    EXPECT_TRUE(folderFiles(root / "out").empty());
    EXPECT_TRUE(job.counts().halted);

    // Without cutting the mailbox is only read, which the other program allows.
    view.cut = false;
    view.asked.clear();
    other =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    runJob();
    CloseHandle(other);
    EXPECT_TRUE(view.asked.empty());
    EXPECT_EQ(folderFiles(root / "out").size(), 1u);
}
