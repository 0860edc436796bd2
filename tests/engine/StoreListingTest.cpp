#include "engine/StoreListing.h"

#include "tests/engine/SparseFile.h"
#include "tests/utils/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

std::string narrowText(const Block& text) {
    String narrow;
    narrow.toNarrow(text);
    return std::string(narrow.c_str(), narrow.length());
}

// A mailbox list that keeps its rows as "name|size" strings; starts with a stale row that
// the listing must remove.
class RecordingList : public MailboxList {
public:
    int nextChecked(int) override { return -1; }
    void itemText(Block&, int, int, bool) override {}
    void removeAll() override { rows.clear(); }
    int appendItem(const Block& text, intptr_t data) override {
        EXPECT_EQ(data, 0);
        rows.push_back(narrowText(text) + "|");
        return static_cast<int>(rows.size()) - 1;
    }
    void setItemText(const Block& text, int row, int column) override {
        ASSERT_EQ(row + 1, static_cast<int>(rows.size())) << "size set on another row";
        ASSERT_EQ(column, 1);
        rows[row] += narrowText(text);
    }
    std::vector<std::string> sorted() const {
        std::vector<std::string> out = rows;
        std::sort(out.begin(), out.end());
        return out;
    }

    std::vector<std::string> rows{"stale|9 KB"};
};

void makeFile(const fs::path& path, size_t bytes) {
    fs::create_directories(path.parent_path());
    writeBytes(path, std::string(bytes, 'x'));
}

using Rows = std::vector<std::string>;

TEST(ListDbxMailboxes, SkipsTheClientsOwnFilesWhateverTheirCase) {
    TempFolder temp;
    makeFile(temp / "Folders.dbx", 10);
    makeFile(temp / "OFFLINE.DBX", 10);
    makeFile(temp / "Pop3uidl.dbx", 10);
    RecordingList list;
    listDbxMailboxes(textOf(temp.text()), list);
    EXPECT_TRUE(list.rows.empty());
}

TEST(ListDbxMailboxes, NamesWithoutExtensionAndTruncatedKilobytes) {
    TempFolder temp;
    makeFile(temp / "Inbox.dbx", 1536);
    makeFile(temp / "My.Old.Mail.dbx", 1023);
    makeFile(temp / "Sent Items.DBX", 2048);
    makeFile(temp / "Empty.dbx", 0);
    // Names that merely contain a skipped name are mailboxes like any other.
    makeFile(temp / "old folders.dbx", 1024);
    makeFile(temp / "notes.txt", 5000);
    makeFile(temp / "Folders.dbx.bak", 10);
    RecordingList list;
    listDbxMailboxes(textOf(temp.text()), list);
    EXPECT_EQ(list.sorted(), (Rows{"Empty|0 KB", "Inbox|1 KB", "My.Old.Mail|0 KB",
                                   "Sent Items|2 KB", "old folders|1 KB"}));
}

TEST(ListDbxMailboxes, SizeBeyondFourGibibytesIsNotCut) {
    TempFolder temp;
    // 5 GiB + 3 KB + 100 bytes: the low 32 bits alone would give 3 KB.
    uint64_t size = (uint64_t{5} << 30) + 3 * 1024 + 100;
    ASSERT_TRUE(makeSparseFile(temp.text("Huge.dbx"), size));
    RecordingList list;
    listDbxMailboxes(textOf(temp.text()), list);
    EXPECT_EQ(list.sorted(), (Rows{"Huge|5242883 KB"}));
    std::error_code ignored;
    fs::remove(temp / "Huge.dbx", ignored);
}

TEST(ListDbxMailboxes, MissingFolderOrEmptyNameLooksInTheCurrentFolder) {
    TempFolder temp;
    RecordingList list;
    listDbxMailboxes(textOf(temp.text("missing")), list);
    EXPECT_TRUE(list.rows.empty());

    makeFile(temp / "Here.dbx", 3000);
    fs::path before = fs::current_path();
    fs::current_path(temp.root());
    listDbxMailboxes(String(""), list);
    fs::current_path(before);
    EXPECT_EQ(list.sorted(), (Rows{"Here|2 KB"}));
}

TEST(ListEmlFolders, OneRowPerFolderHoldingLowerCaseEmlFiles) {
    TempFolder temp;
    makeFile(temp / "store" / "readme.txt", 1);
    makeFile(temp / "store" / "Inbox" / "a.eml", 1);
    makeFile(temp / "store" / "Inbox" / "b.eml", 1);
    makeFile(temp / "store" / "Upper" / "A.EML", 1);
    makeFile(temp / "store" / "NoDot" / "eml", 1);
    makeFile(temp / "store" / "NoDot" / "x.eml.txt", 1);
    makeFile(temp / "store" / "Deep" / "One" / "Two" / "m.eml", 1);
    fs::create_directories(temp / "store" / "Empty");
    RecordingList list;
    listEmlFolders(textOf(temp.text("store")), list);
    // No size column for folders: nothing follows the "|".
    EXPECT_EQ(list.sorted(),
              (Rows{temp.text("store/Deep/One/Two") + "|", temp.text("store/Inbox") + "|"}));
}

TEST(ListEmlFolders, RootHoldingMessagesIsListedAndMissingRootGivesNothing) {
    TempFolder temp;
    makeFile(temp / "m.eml", 1);
    RecordingList list;
    listEmlFolders(textOf(temp.text()), list);
    EXPECT_EQ(list.rows, Rows{temp.text() + "|"});

    listEmlFolders(textOf(temp.text("missing")), list);
    EXPECT_TRUE(list.rows.empty());
}

// A subfolder is scanned the moment the enumeration meets it, so its row comes before
// its parent's whenever the folder is enumerated ahead of the parent's first message.
// The expected order is taken from the file system's own enumeration of the parent.
TEST(ListEmlFolders, SubfolderRowsFollowTheEnumerationOrder) {
    TempFolder temp;
    fs::path parent = temp / "store";
    for (int i = 0; i < 8; ++i)
        makeFile(parent / ("sub" + std::to_string(i)) / "x.eml", 1);
    makeFile(parent / "first.eml", 1);
    makeFile(parent / "second.eml", 1);

    Rows expected;
    bool parentListed = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(parent)) {
        if (entry.is_directory()) {
            expected.push_back(TempFolder::native(entry.path()) + "|");
        } else if (!parentListed) {
            expected.push_back(temp.text("store") + "|");
            parentListed = true;
        }
    }
    RecordingList list;
    listEmlFolders(textOf(temp.text("store")), list);
    EXPECT_EQ(list.rows, expected);
}

} // namespace
