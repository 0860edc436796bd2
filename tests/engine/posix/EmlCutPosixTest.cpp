// A message file that is cut keeps what the user gave it: a private file stays private.
#include "../JobFixture.h"

#include <sys/stat.h>

TEST_F(JobTest, ACutMessageFileKeepsItsPermissions) {
    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    const std::string message = makeMessage("private", {{"a.bin", "secret bytes"}});
    writeFile(folder / "private.eml", message);
    ASSERT_EQ(chmod((folder / "private.eml").c_str(), 0600), 0);
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({folder.string(), true});
    runJob();

    EXPECT_LT(readFile(folder / "private.eml").size(), message.size());
    struct stat status;
    ASSERT_EQ(stat((folder / "private.eml").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
}
