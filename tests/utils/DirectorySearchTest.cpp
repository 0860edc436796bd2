#include "utils/DirectorySearch.h"
#include "utils/FileSystem.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

std::string narrowName(const String& name) {
    String narrow;
    narrow.toNarrow(name);
    return std::string(narrow.c_str(), narrow.length());
}

Path inFolder(const TempFolder& temp, const char* pattern) {
    Path path;
    path.join(textOf(temp.text()), String(pattern));
    return path;
}

// Every entry the search delivers, by name, with its directory flag.
std::map<std::string, bool> entries(const TempFolder& temp, const char* pattern) {
    std::map<std::string, bool> found;
    DirectorySearch search;
    for (bool more = search.first(inFolder(temp, pattern), Width::Narrow); more;
         more = search.next()) {
        EXPECT_TRUE(found.emplace(narrowName(search.name()), search.isDirectory()).second)
            << "reported twice: " << narrowName(search.name());
    }
    EXPECT_FALSE(search.valid());
    EXPECT_FALSE(search.next());
    return found;
}

} // namespace

TEST(DirectorySearchTest, NoMatchMeansFirstIsFalse) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "x");
    DirectorySearch search;
    EXPECT_FALSE(search.first(inFolder(temp, "*.eml"), Width::Wide));
    EXPECT_FALSE(search.valid());
    EXPECT_FALSE(search.next());
    // An empty folder has only "." and "..", which never count.
    fs::create_directory(temp / "empty");
    EXPECT_FALSE(search.first(inFolder(temp, "empty/*"), Width::Narrow));
    EXPECT_FALSE(search.first(inFolder(temp, "missing/*"), Width::Narrow));

    // A search that was closed delivers nothing more; a new first starts over.
    ASSERT_TRUE(search.first(inFolder(temp, "*"), Width::Narrow));
    search.close();
    EXPECT_FALSE(search.valid());
    EXPECT_FALSE(search.next());
    EXPECT_TRUE(search.first(inFolder(temp, "*"), Width::Narrow));
}

TEST(DirectorySearchTest, PatternMatchesNamesIgnoringCase) {
    TempFolder temp;
    for (const char* name : {"a.eml", "B.EML", "notes.txt", "noext", "ab.txt", "xab.txt"})
        writeBytes(temp / name, "x");
    fs::create_directory(temp / "sub.eml");
    fs::create_directory(temp / "folder");

    std::map<std::string, bool> expected = {{"a.eml", false}, {"B.EML", false}, {"sub.eml", true}};
    EXPECT_EQ(entries(temp, "*.eml"), expected);
    std::map<std::string, bool> all = {{"a.eml", false},  {"B.EML", false},  {"notes.txt", false},
                                       {"noext", false},  {"ab.txt", false}, {"xab.txt", false},
                                       {"sub.eml", true}, {"folder", true}};
    EXPECT_EQ(entries(temp, "*"), all);
    EXPECT_EQ(entries(temp, "*.*"), all);
    EXPECT_EQ(entries(temp, "NOTES.TXT"), (std::map<std::string, bool>{{"notes.txt", false}}));
    EXPECT_EQ(entries(temp, "?b.txt"), (std::map<std::string, bool>{{"ab.txt", false}}));
    EXPECT_EQ(entries(temp, "*ab.txt"),
              (std::map<std::string, bool>{{"ab.txt", false}, {"xab.txt", false}}));
}

TEST(DirectorySearchTest, EntriesCarryTheirSizeAndAttributes) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", std::string(12345, 'm'));
    fs::create_directory(temp / "Archive.dbx");
    DirectorySearch search;
    std::map<std::string, std::pair<uint64_t, uint32_t>> found;
    for (bool more = search.first(inFolder(temp, "*.dbx"), Width::Narrow); more;
         more = search.next()) {
        EXPECT_FALSE(search.name().isWide());
        found[narrowName(search.name())] = {search.size(),
                                            search.attributes() & AttributeDirectory};
    }
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found["Inbox.dbx"], std::make_pair(uint64_t{12345}, 0u));
    EXPECT_EQ(found["Archive.dbx"].second, AttributeDirectory);
}

TEST(DirectorySearchTest, WideSearchGivesWideNamesWithoutLoss) {
    TempFolder temp;
    const std::u16string name = u"\u0416\u4E2D.eml";
    writeBytes(temp.root() / fs::path(name), "x");
    ASSERT_TRUE(wideCallsAvailable());

    DirectorySearch search;
    ASSERT_TRUE(search.first(inFolder(temp, "*.eml"), Width::Wide));
    EXPECT_TRUE(search.wideSearch());
    EXPECT_EQ(charsOf(search.name()), name);
    // The name joined back onto the folder opens the file.
    Path file;
    file.join(textOf(temp.text()), search.name());
    Block content;
    EXPECT_TRUE(readAll(file, content));
    EXPECT_FALSE(search.next());

    // "?" stands for one character of the name, however many bytes it takes.
    EXPECT_TRUE(search.first(inFolder(temp, "??.eml"), Width::Wide));
    EXPECT_FALSE(search.first(inFolder(temp, "?.eml"), Width::Wide));
}
