// Cutting meets what POSIX lets a user do to a file: several names for it, a symbolic link
// to it, a mode that keeps others out or marks it read-only.
#include "../JobFixture.h"

#include "formats/DbxJournal.h"
#include "utils/File.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string content = binary(2000, 5);

mode_t modeOf(const fs::path& path) {
    struct stat status;
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

bool anyAtAll(const std::string& found, const std::string& what) {
    return found.find(what) != std::string::npos;
}

int linesWith(const std::vector<std::string>& lines, const std::string& what) {
    int n = 0;
    for (const std::string& line : lines)
        n += anyAtAll(line, what);
    return n;
}

// The folder the write probe looks at, and every mode it saw on a temporary there.
fs::path probedFolder;
std::vector<mode_t> temporaryModes;

void noteTemporaryModes() {
    for (const auto& entry : fs::directory_iterator(probedFolder)) {
        // Only the temporaries the job writes: not the files planted beside the message.
        const std::string name = entry.path().filename().string();
        if (!anyAtAll(name, ".klovin-new") || name == "private.eml.klovin-new0" ||
            name == "private.eml.klovin-new3" || name == "private.eml.klovin-new5" ||
            name == "private.eml.klovin-new7")
            continue;
        struct stat status;
        if (stat(entry.path().c_str(), &status) == 0)
            temporaryModes.push_back(status.st_mode & 07777);
    }
}

} // namespace

// A mailbox with a second name is only read, and a mailbox beside it is still cut; one named
// through a symbolic link is cut, and what an interrupted run left beside the file the link
// names is put back first.
TEST_F(JobTest, AMailboxWithSeveralNamesIsOnlyReadAndOneThroughALinkIsRecoveredByItsFile) {
    const std::string message = makeMessage("m", {{"a.bin", content}});
    addMailbox("Linked", {message});
    addMailbox("Plain", {message});
    fs::create_directories(root / "elsewhere");
    fs::create_hard_link(root / "store" / "Linked.dbx", root / "elsewhere" / "second-name.dbx");
    const std::string linked = readFile(root / "store" / "Linked.dbx");
    view.cut = true;
    runJob();
    EXPECT_EQ(readFile(root / "store" / "Linked.dbx"), linked);
    EXPECT_LT(mailboxTexts(root / "store" / "Plain.dbx")[0].size(), message.size());
    EXPECT_EQ(linesWith(view.texts("problem"), "several hard links"), 1)
        << ::testing::PrintToString(view.texts("problem"));
    EXPECT_FALSE(view.finishedCounts.halted);

    // Through a symbolic link: the journal an interrupted run left lies beside the file.
    view.list.rows.clear();
    view.events.clear();
    writers.clear();
    auto& writer = addMailbox("Real", {message});
    const fs::path real = root / "elsewhere" / "Real.dbx";
    fs::rename(root / "store" / "Real.dbx", real);
    fs::create_symlink(real, root / "store" / "Real.dbx");
    const std::string original = readFile(real);
    const TOVK_Utils::String realText(TOVK_Utils::Block(real.string().c_str()));
    {
        TOVK_Internet::DbxJournal journal;
        ASSERT_TRUE(journal.open(realText, original.size(), TOVK_Utils::fileIdentity(realText)));
        const uint32_t at = writer.firstBlocks()[0] + 16;
        const std::string newBytes(64, 'X');
        ASSERT_TRUE(journal.record({{at, reinterpret_cast<const uint8_t*>(original.data()) + at,
                                     reinterpret_cast<const uint8_t*>(newBytes.data()), 64}}));
        std::string half = original;
        half.replace(at, 64, newBytes);
        writeFile(real, half);
    }
    view.list.rows = {{"Real", true}};
    runJob();
    EXPECT_TRUE(fs::is_symlink(root / "store" / "Real.dbx"));
    EXPECT_FALSE(fs::exists(real.string() + ".klovin-undo"));
    EXPECT_FALSE(fs::exists(root / "store" / "Real.dbx.klovin-undo"));
    EXPECT_LT(mailboxTexts(real)[0].size(), message.size()) << "restored, then cut";
    EXPECT_EQ(linesWith(view.texts("problem"), "Restored 1 block of Real.dbx"), 1)
        << ::testing::PrintToString(view.texts("problem"));
}

// The cut copy of a private message is its owner's alone at every write, and then takes
// the original's mode; what an earlier run left under the program's own temporary names
// goes, and nothing else beside the message does.
TEST_F(JobTest, TheCutCopyOfAMessageIsPrivateAtEveryMoment) {
    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    const std::string message = makeMessage("private", {{"a.bin", content}});
    const struct {
        const char* name;
        mode_t mode;
    } files[] = {{"private.eml", 0600}, {"shared.eml", 0644}, {"group.eml", 0640}};
    for (const auto& f : files) {
        writeFile(folder / f.name, message);
        ASSERT_EQ(chmod((folder / f.name).c_str(), f.mode), 0);
    }
    // The cut text, as a run over a copy makes it.
    const fs::path copy = root / "mail" / "Copy";
    fs::create_directories(copy);
    writeFile(copy / "private.eml", message);
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({copy.string(), true});
    runJob();
    const std::string cutText = readFile(copy / "private.eml");
    ASSERT_LT(cutText.size(), message.size());
    view.list.rows.clear();
    fs::remove_all(root / "out");
    fs::create_directories(root / "out");
    writeFile(folder / "private.eml.klovin-new0", "another program's " + cutText.substr(0, 100));
    writeFile(folder / "private.eml.klovin-new3", cutText.substr(0, 700)); // a killed run's
    writeFile(folder / "private.eml.klovin-new5", "");                     // killed at once
    writeFile(folder / "private.eml.klovin-new7", cutText);                // a killed run's
    writeFile(folder / "private.eml.bak", cutText);
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({folder.string(), true});
    probedFolder = folder;
    temporaryModes.clear();
    TOVK_Utils::File::setWriteProbe(noteTemporaryModes);
    runJob();
    TOVK_Utils::File::setWriteProbe(nullptr);

    ASSERT_FALSE(temporaryModes.empty()) << "the probe saw no temporary file";
    for (mode_t mode : temporaryModes)
        EXPECT_EQ(mode, 0600u);
    for (const auto& f : files) {
        EXPECT_LT(readFile(folder / f.name).size(), message.size()) << f.name;
        EXPECT_EQ(modeOf(folder / f.name), f.mode) << f.name;
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    // A file under a temporary name that is not the start of the cut text is no leftover.
    EXPECT_EQ(left, (std::vector<std::string>{"group.eml", "private.eml", "private.eml.bak",
                                              "private.eml.klovin-new0", "shared.eml"}));
}

// A message or a mailbox the user made read-only keeps its attachments; they are saved,
// it is said why nothing was cut, and the job goes on with the others.
TEST_F(JobTest, ReadOnlyMailIsSavedFromButNeverCut) {
    const std::string message = makeMessage("m", {{"a.bin", content}});
    const fs::path folder = root / "mail" / "Inbox";
    fs::create_directories(folder);
    writeFile(folder / "locked.eml", message);
    writeFile(folder / "open.eml", message);
    ASSERT_EQ(chmod((folder / "locked.eml").c_str(), 0444), 0);
    view.emlFolders = true;
    view.cut = true;
    view.list.rows.push_back({folder.string(), true});
    runJob();
    EXPECT_EQ(readFile(folder / "locked.eml"), message);
    EXPECT_EQ(modeOf(folder / "locked.eml"), 0444u);
    EXPECT_LT(readFile(folder / "open.eml").size(), message.size());
    EXPECT_EQ(linesWith(view.texts("problem"), "locked.eml was not written back: the file is "
                                               "read-only"),
              1)
        << ::testing::PrintToString(view.texts("problem"));

    view.emlFolders = false;
    view.list.rows.clear();
    view.events.clear();
    fs::remove_all(root / "out");
    fs::create_directories(root / "out");
    addMailbox("Locked", {message});
    addMailbox("Open", {message});
    ASSERT_EQ(chmod((root / "store" / "Locked.dbx").c_str(), 0444), 0);
    const std::string locked = readFile(root / "store" / "Locked.dbx");
    runJob();
    chmod((root / "store" / "Locked.dbx").c_str(), 0644);
    EXPECT_FALSE(view.finishedCounts.halted);
    EXPECT_EQ(readFile(root / "store" / "Locked.dbx"), locked);
    EXPECT_LT(mailboxTexts(root / "store" / "Open.dbx")[0].size(), message.size());
    EXPECT_EQ(folderFiles(root / "out").at("a.bin"), content);
    EXPECT_EQ(linesWith(view.texts("problem"), "Locked.dbx is only read, and its attachments "
                                               "stay in it: it is read-only"),
              1)
        << ::testing::PrintToString(view.texts("problem"));
    EXPECT_EQ(linesWith(view.texts("problem"), "not an Outlook Express mailbox"), 0);
}
