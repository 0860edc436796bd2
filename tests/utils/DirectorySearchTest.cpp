#include "utils/DirectorySearch.h"
#include "utils/FileSystem.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

using namespace TOVK_Utils;
using namespace TOVK_Tests;

namespace {

std::string narrowName(const String &name) {
    String narrow;
    narrow.toNarrow(name);
    return std::string(narrow.c_str(), narrow.length());
}

// Every entry the search delivers, by name, with its directory flag.
std::map<std::string, bool> entries(const TempFolder &temp, const char *pattern,
                                    bool allowWide = false) {
    std::map<std::string, bool> found;
    DirectorySearch search;
    Path full;
    full.join(textOf(temp.text()), String(pattern));
    for (bool more = search.first(full, allowWide); more; more = search.next()) {
        EXPECT_TRUE(search.valid());
        EXPECT_TRUE(found.emplace(narrowName(search.name()), search.isDirectory()).second)
            << "reported twice: " << narrowName(search.name());
    }
    EXPECT_FALSE(search.valid());
    return found;
}

void makeMailFolder(const TempFolder &temp) {
    writeBytes(temp / "a.eml", "first message");
    writeBytes(temp / "B.EML", "second");
    writeBytes(temp / "notes.txt", "x");
    writeBytes(temp / "noext", "x");
    fs::create_directory(temp / "sub.eml");
    fs::create_directory(temp / "folder");
}

} // namespace

TEST(DirectorySearchTest, NoMatchMeansFirstIsFalse) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", "x");
    DirectorySearch search;
    Path pattern;
    pattern.join(textOf(temp.text()), String("*.eml"));
    EXPECT_FALSE(search.first(pattern, true));
    EXPECT_FALSE(search.valid());
    EXPECT_FALSE(search.next());

    // An empty folder has only "." and "..", which never count.
    fs::create_directory(temp / "empty");
    pattern.join(textOf(temp.text("empty")), String("*"));
    EXPECT_FALSE(search.first(pattern, false));

    pattern.join(textOf(temp.text("missing")), String("*"));
    EXPECT_FALSE(search.first(pattern, false));
}

TEST(DirectorySearchTest, PatternMatchesNamesIgnoringCase) {
    TempFolder temp;
    makeMailFolder(temp);
    std::map<std::string, bool> expected = {{"a.eml", false}, {"B.EML", false}, {"sub.eml", true}};
    EXPECT_EQ(entries(temp, "*.eml"), expected);

    std::map<std::string, bool> all = {{"a.eml", false}, {"B.EML", false},  {"notes.txt", false},
                                       {"noext", false}, {"sub.eml", true}, {"folder", true}};
    EXPECT_EQ(entries(temp, "*"), all);
    EXPECT_EQ(entries(temp, "*.*"), all);

    std::map<std::string, bool> one = {{"notes.txt", false}};
    EXPECT_EQ(entries(temp, "NOTES.TXT"), one);
}

TEST(DirectorySearchTest, QuestionMarkStandsForOneCharacter) {
    TempFolder temp;
    writeBytes(temp / "a.txt", "");
    writeBytes(temp / "ab.txt", "");
    writeBytes(temp / "abc.txt", "");
    writeBytes(temp / "xab.txt", "");
    std::map<std::string, bool> expected = {{"ab.txt", false}};
    EXPECT_EQ(entries(temp, "a?.txt"), expected);
    expected = {{"ab.txt", false}, {"xab.txt", false}};
    EXPECT_EQ(entries(temp, "*ab.txt"), expected);
    expected = {{"abc.txt", false}, {"xab.txt", false}};
    EXPECT_EQ(entries(temp, "???.txt"), expected);
}

TEST(DirectorySearchTest, EntriesCarryTheirSizeAndAttributes) {
    TempFolder temp;
    writeBytes(temp / "Inbox.dbx", std::string(12345, 'm'));
    fs::create_directory(temp / "Archive.dbx");
    DirectorySearch search;
    Path pattern;
    pattern.join(textOf(temp.text()), String("*.dbx"));
    int seen = 0;
    for (bool more = search.first(pattern, false); more; more = search.next()) {
        ++seen;
        EXPECT_FALSE(search.name().isWide());
        if (narrowName(search.name()) == "Inbox.dbx") {
            EXPECT_EQ(search.size(), 12345u);
            EXPECT_FALSE(search.isDirectory());
            EXPECT_EQ(search.attributes() & AttributeDirectory, 0u);
        } else {
            EXPECT_EQ(narrowName(search.name()), "Archive.dbx");
            EXPECT_TRUE(search.isDirectory());
            EXPECT_NE(search.attributes() & AttributeDirectory, 0u);
        }
    }
    EXPECT_EQ(seen, 2);
}

TEST(DirectorySearchTest, WideSearchGivesWideNamesWithoutLoss) {
    TempFolder temp;
    const std::u16string name = u"\u0416\u4E2D.eml";
    writeBytes(temp.root() / fs::path(name), "x");
    ASSERT_TRUE(wideCallsAvailable());

    DirectorySearch search;
    Path pattern;
    pattern.join(textOf(temp.text()), String("*.eml"));
    ASSERT_TRUE(search.first(pattern, true));
    EXPECT_TRUE(search.wideSearch());
    ASSERT_TRUE(search.name().isWide());
    EXPECT_EQ(charsOf(search.name()), name);

    // The name joined back onto the folder opens the file.
    Path file;
    file.join(textOf(temp.text()), search.name());
    Block content;
    EXPECT_TRUE(readAll(file, content));
    EXPECT_FALSE(search.next());

    // "?" stands for one character of the name, however many bytes it takes.
    pattern.join(textOf(temp.text()), String("??.eml"));
    EXPECT_TRUE(search.first(pattern, true));
    pattern.join(textOf(temp.text()), String("?.eml"));
    EXPECT_FALSE(search.first(pattern, true));
}

TEST(DirectorySearchTest, SearchCanBeClosedAndStartedAgain) {
    TempFolder temp;
    writeBytes(temp / "one.eml", "1");
    writeBytes(temp / "two.eml", "2");
    DirectorySearch search;
    Path pattern;
    pattern.join(textOf(temp.text()), String("*.eml"));
    ASSERT_TRUE(search.first(pattern, false));
    search.close();
    EXPECT_FALSE(search.valid());
    EXPECT_FALSE(search.next());

    std::set<std::string> names;
    for (bool more = search.first(pattern, false); more; more = search.next())
        names.insert(narrowName(search.name()));
    EXPECT_EQ(names, (std::set<std::string>{"one.eml", "two.eml"}));
    EXPECT_FALSE(search.next());
    EXPECT_FALSE(search.valid());
}
