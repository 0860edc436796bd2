#include "engine/StoreListing.h"

#include "tests/utils/TempFolder.h"

#include <gtest/gtest.h>

#include <vector>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

class CountingList : public MailboxList {
public:
    int nextChecked(int) override { return -1; }
    void itemText(Block&, int, int, bool) override {}
    void removeAll() override { rows.clear(); }
    int appendItem(const Block& text, intptr_t) override {
        String narrow;
        narrow.toNarrow(text);
        rows.emplace_back(narrow.c_str(), narrow.length());
        return static_cast<int>(rows.size()) - 1;
    }
    void setItemText(const Block&, int, int) override {}
    std::vector<std::string> rows;
};

// Links back up the tree must not be followed: the scan would never end. A link to a
// message file is still a message file.
TEST(ListEmlFolders, DoesNotFollowFolderLinks) {
    TempFolder temp;
    fs::create_directories(temp / "store" / "Inbox");
    writeBytes(temp / "store" / "Inbox" / "a.eml", "x");
    fs::create_directory_symlink(temp / "store", temp / "store" / "Inbox" / "loop");
    fs::create_directory_symlink(temp / "store" / "Inbox", temp / "store" / "alias");
    fs::create_directories(temp / "store" / "Linked");
    fs::create_symlink(temp / "store" / "Inbox" / "a.eml", temp / "store" / "Linked" / "b.eml");
    CountingList list;
    listEmlFolders(textOf(temp.text("store")), list);
    std::sort(list.rows.begin(), list.rows.end());
    EXPECT_EQ(list.rows,
              (std::vector<std::string>{temp.text("store/Inbox"), temp.text("store/Linked")}));
}

} // namespace
