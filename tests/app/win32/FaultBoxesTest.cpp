// The boxes that only a fault of the disk brings, met by real jobs run through the desktop
// windows. The faults are made in-process: File's flush hook fails the flushes of a cut,
// and a journal that an earlier failed write-back left stays beside the mailbox for the
// next job, which may find it changed or unreadable. Every box met is captured for the
// user guide, checked to look like a box, and answered.
#include "tests/napp/win32/NappTestUtil.h"
#include "tests/napp/win32/ScreenCapture.h"

#include "app/AppData.h"
#include "formats/DbxJournal.h"
#include "formats/DbxMailbox.h"
#include "tests/support/DbxWriter.h"
#include "utils/File.h"
#include "utils/Thread2.h"
#include "tests/app/win32/TestMail.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

using namespace NappTest;
using TOVK_Utils::String;

using AppTest::fileText;
using AppTest::messageWith;

namespace {

// A box the job is to show next: its title, the start of its message, the button to
// press, and the name of its picture (none: not captured).
struct Box {
    std::string title, opening, caption, picture;
};

struct Picture {
    std::string name, message;
    int width = 0, height = 0;
    size_t colours = 0;
    bool saved = false;
};

// The boxes are met in the order given; one that is not the next expected is recorded
// and left open, so that the test fails instead of answering what it did not foresee.
struct Boxes {
    std::vector<Box> expected;
    size_t next = 0;
    int ticksSeen = 0;
    std::vector<std::string> messages;
    std::vector<std::string> unexpected;
    std::vector<Picture> pictures;
};
Boxes* boxes = nullptr;
// The boxes answered so far, for a fault that waits for an answer.
std::atomic<size_t> boxesAnswered{0};

struct FoundBox {
    HWND window = nullptr;
    std::string title;
};

BOOL CALLBACK findQuestion(HWND candidate, LPARAM found) {
    char title[64] = {};
    GetWindowTextA(candidate, title, sizeof title);
    const std::string text = title;
    if (IsWindowVisible(candidate) &&
        (text == "Warning" || text == "Error" || text == "Information")) {
        *reinterpret_cast<FoundBox*>(found) = {candidate, text};
        return FALSE;
    }
    return TRUE;
}

std::string messageOf(HWND box, const std::string& caption, HWND& button) {
    std::string message;
    button = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (_strnicmp(name, "RichEdit", 8) == 0)
            message = nativeText(child);
        else if (nativeText(child) == caption)
            button = child;
    }
    return message;
}

Picture take(HWND box, const std::string& name, const std::string& message) {
    Picture picture{name, message};
    std::vector<uint8_t> rgb;
    // The client area alone: without a window manager the screen holds no frame.
    picture.saved = savePng(box, name.c_str(), rgb);
    RECT r;
    GetClientRect(box, &r);
    picture.width = r.right - r.left;
    picture.height = r.bottom - r.top;
    picture.colours = distinctColours(rgb);
    return picture;
}

// The box is left a few ticks to paint itself (it belongs to the job's thread) before it
// is captured and answered.
void CALLBACK boxTimer(HWND, UINT, UINT_PTR, DWORD) {
    FoundBox found;
    EnumWindows(findQuestion, reinterpret_cast<LPARAM>(&found));
    if (!found.window || !boxes)
        return;
    Boxes& b = *boxes;
    const Box* wanted = b.next < b.expected.size() ? &b.expected[b.next] : nullptr;
    HWND button = nullptr;
    const std::string message = messageOf(found.window, wanted ? wanted->caption : "", button);
    if (!wanted || found.title != wanted->title || message.rfind(wanted->opening, 0) != 0 ||
        !button) {
        const std::string seen = found.title + ": " + message;
        if (b.unexpected.empty() || b.unexpected.back() != seen)
            b.unexpected.push_back(seen);
        return;
    }
    ++b.ticksSeen;
    if (b.ticksSeen == 5)
        RedrawWindow(found.window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (b.ticksSeen < 15)
        return;
    if (!wanted->picture.empty())
        b.pictures.push_back(take(found.window, wanted->picture, message));
    b.messages.push_back(message);
    b.ticksSeen = 0;
    ++b.next;
    // Hidden at once so that the next tick does not take the box twice.
    ShowWindow(found.window, SW_HIDE);
    ++boxesAnswered;
    PostMessageA(button, BM_CLICK, 0, 0);
}

// Which flushes or writes fail. A journal's entry is written in one write just before the
// flush that takes it to the disk together with the saved attachments: from then on the
// job's flushes are those of the cut, and its next write is the mailbox's.
enum class Fault {
    None,
    CutFlushes,     // every flush once the journal holds an entry
    MailboxFlushes, // those after the mailbox is written: the entry and attachments are safe
    MailboxWrite,   // the first write after the entry; the original then goes back
    ListHeading,    // the heading of the list in the destination
    MessageReads,   // every read once the first message's attachment is saved
    ReadsAfterAnAnswer, // every read once the first box was answered
};

struct Injected {
    Fault fault = Fault::None;
    std::string journal, list, firstSaved;
    std::atomic<int> writes{0};
    std::atomic<int> writesAtTheEntry{-1};
    std::atomic<int> failed{0};
};
Injected injected;

bool hasBytes(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (data.nFileSizeLow != 0 || data.nFileSizeHigh != 0);
}

void countWrite() {
    ++injected.writes;
}

// Fails one write: the first made once the journal holds its entry, or the list's heading
// (the job's first write once the list is made).
bool writeGoesOn() {
    Injected& i = injected;
    const std::string& watched = i.fault == Fault::MailboxWrite ? i.journal : i.list;
    const bool fails =
        (i.fault == Fault::MailboxWrite && hasBytes(watched)) ||
        (i.fault == Fault::ListHeading &&
         GetFileAttributesA(watched.c_str()) != INVALID_FILE_ATTRIBUTES && !hasBytes(watched));
    if (!fails || i.failed > 0)
        return true;
    ++i.failed;
    return false;
}

bool readGoesOn() {
    Injected& i = injected;
    const bool fails = (i.fault == Fault::MessageReads && hasBytes(i.firstSaved)) ||
                       (i.fault == Fault::ReadsAfterAnAnswer && boxesAnswered > 0);
    if (!fails)
        return true;
    ++i.failed;
    return false;
}

bool flushGoesOn() {
    Injected& i = injected;
    if ((i.fault != Fault::CutFlushes && i.fault != Fault::MailboxFlushes) || !hasBytes(i.journal))
        return true;
    if (i.writesAtTheEntry < 0)
        i.writesAtTheEntry = i.writes.load();
    const bool fails = i.fault == Fault::CutFlushes || i.writes > i.writesAtTheEntry;
    if (fails)
        ++i.failed;
    return !fails;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

const Box closeOutlookExpress{"Warning", "Please close Outlook Express",
                              "I have closed Outlook Express", ""};
const Box withoutBackups{"Warning", "CAUTION!", "Continue without backups", ""};

struct FaultBoxesTest : ::testing::Test {
    void SetUp() override {
        boxes = &met;
        timer = SetTimer(nullptr, 0, 20, boxTimer);
        data.defaultFont.set("Verdana", 8);
        app.setDefaultFont(&data.defaultFont);
        ASSERT_TRUE(app.topLevel.createWindow(data.mainWindow, String("Main"), nullptr, nullptr,
                                              {.topLevel = true, .resizable = true}));
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        root = std::string(temp) + "klovin-faults-" + std::to_string(GetCurrentProcessId());
        store = root + "\\store";
        out = root + "\\out";
        mailbox = store + "\\Inbox.dbx";
        journal = textOf(TOVK_Internet::DbxJournal::journalPath(String(mailbox.c_str())));
        for (const std::string& folder : {root, store, out})
            CreateDirectoryA(folder.c_str(), nullptr);
        data.settings.extractFolder = String(out.c_str());
        data.settings.outlookExpressStoreRoot = String(store.c_str());
        data.settings.createBackups = false;
        injected.journal = journal;
        injected.list = out + "\\attachments.csv";
        injected.firstSaved = out + "\\hello.txt";
    }
    void TearDown() override {
        TOVK_Utils::File::setWriteProbe(nullptr);
        TOVK_Utils::File::setFlushProbe(nullptr);
        TOVK_Utils::File::setWriteFaultProbe(nullptr);
        TOVK_Utils::File::setReadFaultProbe(nullptr);
        TOVK_Utils::Thread2::setStartProbe(nullptr);
        injected.fault = Fault::None;
        KillTimer(nullptr, timer);
        boxes = nullptr;
        data.extractionWindow.destroy();
        data.progressWindow.destroy();
        data.mainWindow.destroy();
        pumpPending();
        removeAll(root);
    }
    static void removeAll(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name == "." || name == "..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    removeAll(folder + "\\" + name);
                else
                    DeleteFileA((folder + "\\" + name).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }

    // Three messages, the first and the last with an attachment.
    void writeMailbox() {
        DbxTest::DbxWriter writer;
        writer.addMessage(messageWith("hello.txt", "aGVsbG8gd29ybGQ=")); // "hello world"
        writer.addMessage(messageWith(nullptr, nullptr));
        writer.addMessage(messageWith("numbers.csv", "MSwyLDMNCg==")); // "1,2,3\r\n"
        ASSERT_TRUE(writer.writeFile(mailbox));
        original = fileText(mailbox);
    }

    // The second message is too large to be read with the first: its own read comes after
    // the first message's attachment is saved.
    void writeMailboxWithALargeMessage() {
        DbxTest::DbxWriter writer;
        writer.addMessage(messageWith("hello.txt", "aGVsbG8gd29ybGQ="));
        writer.addMessage(messageWith("large.bin", std::string(1 << 20, 'A').c_str()));
        writer.addMessage(messageWith("numbers.csv", "MSwyLDMNCg=="));
        ASSERT_TRUE(writer.writeFile(mailbox));
        original = fileText(mailbox);
    }

    // The store's one mailbox ticked and the options window open over the main window.
    void openOptions() {
        data.showDbxMailboxes(data.settings.outlookExpressStoreRoot);
        ASSERT_EQ(data.mainWindow.mailboxList.itemCount, 1);
        data.mainWindow.mailboxList.setChecked(0, true);
        ASSERT_TRUE(data.mainWindow.createWindow(data.extractionWindow,
                                                 String("Extract All Attachments"), nullptr,
                                                 nullptr, {.modal = true}));
    }

    // The job from the options window's extract button to "Done", each box answered.
    void runJob(Fault fault, std::vector<Box> expected) {
        met = Boxes();
        met.expected = std::move(expected);
        injected.fault = fault;
        injected.writes = 0;
        injected.writesAtTheEntry = -1;
        injected.failed = 0;
        boxesAnswered = 0;
        TOVK_Utils::File::setWriteProbe(countWrite);
        TOVK_Utils::File::setFlushProbe(flushGoesOn);
        TOVK_Utils::File::setWriteFaultProbe(writeGoesOn);
        TOVK_Utils::File::setReadFaultProbe(readGoesOn);
        openOptions();
        if (::testing::Test::HasFatalFailure())
            return;
        SendMessageA(data.extractionWindow.extractButton.handle, BM_CLICK, 0, 0);
        ProgressWindow& p = data.progressWindow;
        ASSERT_NE(p.handle, nullptr) << ::testing::PrintToString(met.unexpected);
        const bool done =
            pumpUntil([&] { return nativeText(p.stopButton.handle) == "Done"; }, 30000);
        TOVK_Utils::File::setWriteProbe(nullptr);
        TOVK_Utils::File::setFlushProbe(nullptr);
        TOVK_Utils::File::setWriteFaultProbe(nullptr);
        TOVK_Utils::File::setReadFaultProbe(nullptr);
        injected.fault = Fault::None;
        ASSERT_TRUE(done) << ::testing::PrintToString(met.unexpected);
        pumpPending();
        PostMessageA(p.stopButton.handle, BM_CLICK, 0, 0);
        ASSERT_TRUE(pumpUntil([&] { return p.handle == nullptr; }));
        ASSERT_TRUE(data.job.join(5000));
        EXPECT_EQ(met.next, met.expected.size()) << ::testing::PrintToString(met.unexpected);
        EXPECT_TRUE(met.unexpected.empty()) << ::testing::PrintToString(met.unexpected);
    }

    // The picture of the box, and that it shows a box rather than a blank or black patch.
    void expectPicture(const std::string& name, const std::string& words) {
        for (const Picture& picture : met.pictures) {
            if (picture.name != name)
                continue;
            SCOPED_TRACE(name);
            EXPECT_TRUE(picture.saved);
            EXPECT_GT(picture.width, 200);
            EXPECT_GT(picture.height, 80);
            EXPECT_GT(picture.colours, 4u);
            EXPECT_NE(picture.message.find(words), std::string::npos) << picture.message;
            return;
        }
        ADD_FAILURE() << "no picture " << name;
    }

    void emptyTheDestination() {
        removeAll(out);
        CreateDirectoryA(out.c_str(), nullptr);
    }

    void cutting(bool on) { data.settings.cutAttachments = on; }

    TestApp app;
    AppData data;
    Boxes met;
    UINT_PTR timer = 0;
    std::string root, store, out, mailbox, journal, original;
};

} // namespace

// The saved attachments and the journal could not be flushed: nothing is written into the
// mailbox, and the attachments stay saved.
TEST_F(FaultBoxesTest, CutsNotFlushedAreNotWritten) {
    writeMailbox();
    cutting(true);
    runJob(Fault::CutFlushes,
           {closeOutlookExpress,
            withoutBackups,
            {"Error", "The attachments saved from", "Ok", "question-cut-not-flushed.png"},
            {"Information", "", "Ok", ""}});
    EXPECT_GT(injected.failed, 0);
    expectPicture("question-cut-not-flushed.png", "so 2 of its messages were not cut");
    EXPECT_EQ(fileText(mailbox), original);
    EXPECT_EQ(fileText(out + "\\hello.txt"), "hello world");
    EXPECT_EQ(fileText(out + "\\numbers.csv"), "1,2,3\r\n");
}

namespace {

// The messages of the mailbox as its index gives them; empty when it cannot be read.
std::vector<std::string> messagesOf(const std::string& path) {
    std::vector<std::string> texts;
    TOVK_Internet::DbxMailbox box;
    if (box.open(String(path.c_str())) != TOVK_Internet::DbxMailbox::Open::Opened || !box.scan())
        return texts;
    for (uint32_t offset : box.messageOffsets) {
        String text;
        if (box.readMessage(offset, text) == TOVK_Internet::DbxMailbox::Read::Complete)
            texts.push_back(textOf(text));
    }
    return texts;
}

} // namespace

// The cut mailbox could not be flushed, nor its original bytes once they were put back: the
// journal stays beside it. A later job finds the original there and only removes it; the
// same journal beside the mailbox as that job cut it (as a power loss before the journal
// went would leave it) has the original put back from it before the mailbox is cut again.
TEST_F(FaultBoxesTest, AJournalKeptByAFailedWriteBackIsPutBackByTheNextJob) {
    writeMailbox();
    cutting(true);
    runJob(Fault::MailboxFlushes, {closeOutlookExpress,
                                   withoutBackups,
                                   {"Error", "Writing ", "Ok", "question-cut-not-written-back.png"},
                                   {"Information", "", "Ok", ""}});
    EXPECT_GT(injected.failed, 0);
    expectPicture("question-cut-not-written-back.png",
                  "could not all be put back now. They are kept in");
    ASSERT_TRUE(hasBytes(journal));
    EXPECT_EQ(fileText(mailbox), original);
    const std::string kept = fileText(journal);

    emptyTheDestination();
    runJob(Fault::None,
           {closeOutlookExpress,
            withoutBackups,
            {"Information", "An interrupted run had not yet changed Inbox.dbx", "Ok", ""},
            {"Information", "The attachments have been cut", "Ok", ""}});
    EXPECT_EQ(GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::string cut = fileText(mailbox);
    ASSERT_NE(cut, original);

    ASSERT_TRUE(writeFile(journal, kept));
    emptyTheDestination();
    runJob(Fault::None, {closeOutlookExpress,
                         withoutBackups,
                         {"Information", "Restored ", "Ok", "question-mailbox-put-back.png"},
                         {"Information", "The attachments have been cut", "Ok", ""}});
    expectPicture("question-mailbox-put-back.png", "left half-written by an interrupted run.");
    EXPECT_EQ(GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(fileText(mailbox), cut); // put back, then cut again the same way
    EXPECT_EQ(fileText(out + "\\hello.txt"), "hello world");
    const std::vector<std::string> texts = messagesOf(mailbox);
    ASSERT_EQ(texts.size(), 3u);
    for (const std::string& text : texts) {
        EXPECT_NE(text.find("See attached."), std::string::npos);
        EXPECT_EQ(text.find("aGVsbG8gd29ybGQ="), std::string::npos);
        EXPECT_EQ(text.find("MSwyLDMNCg=="), std::string::npos);
    }
}

// A journal whose mailbox was made shorter since (compacted, say) cannot be put back
// safely: the mailbox is left as it is and the journal kept.
TEST_F(FaultBoxesTest, AJournalOfAMailboxChangedSinceIsKept) {
    writeMailbox();
    cutting(true);
    runJob(Fault::MailboxFlushes, {closeOutlookExpress,
                                   withoutBackups,
                                   {"Error", "Writing ", "Ok", ""},
                                   {"Information", "", "Ok", ""}});
    ASSERT_TRUE(hasBytes(journal));
    const std::string shorter = original.substr(0, 0x24BC); // the file's header alone
    ASSERT_TRUE(writeFile(mailbox, shorter));
    const std::string kept = fileText(journal);

    runJob(Fault::None,
           {closeOutlookExpress,
            withoutBackups,
            {"Error", "Inbox.dbx was left as it is", "Ok", "question-journal-kept.png"},
            {"Information", "", "Ok", ""}});
    expectPicture("question-journal-kept.png", "is kept. It is left as it is");
    EXPECT_EQ(fileText(mailbox), shorter);
    EXPECT_EQ(fileText(journal), kept);
}

// Where the journal should be there is something that cannot be read as one (here a
// folder): the mailbox is left as it is, neither read nor cut.
TEST_F(FaultBoxesTest, AJournalThatCannotBeReadLeavesTheMailboxAlone) {
    writeMailbox();
    ASSERT_TRUE(CreateDirectoryA(journal.c_str(), nullptr));
    cutting(true);
    runJob(Fault::None,
           {closeOutlookExpress,
            withoutBackups,
            {"Error", "Inbox.dbx was left as it is", "Ok", "question-journal-unreadable.png"},
            {"Information", "", "Ok", ""}});
    expectPicture("question-journal-unreadable.png", "its journal could not be read");
    EXPECT_EQ(fileText(mailbox), original);
    EXPECT_EQ(fileText(out + "\\hello.txt"), "");
    EXPECT_NE(GetFileAttributesA(journal.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

// Writing the cut mailbox fails, and its original goes back at once: no journal is left,
// and the attachments stay saved.
TEST_F(FaultBoxesTest, ACutThatCannotBeWrittenIsPutBackAtOnce) {
    writeMailbox();
    cutting(true);
    runJob(Fault::MailboxWrite, {closeOutlookExpress,
                                 withoutBackups,
                                 {"Error", "Writing ", "Ok", "question-cut-put-back.png"},
                                 {"Information", "", "Ok", ""}});
    EXPECT_EQ(injected.failed, 1);
    expectPicture("question-cut-put-back.png", "they were left as they were");
    EXPECT_EQ(fileText(mailbox), original);
    EXPECT_EQ(GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(fileText(out + "\\hello.txt"), "hello world");
}

// The list cannot be written: the job says so and saves the attachments all the same.
TEST_F(FaultBoxesTest, AListThatCannotBeWrittenIsLeftOut) {
    writeMailbox();
    cutting(false);
    data.settings.writeList = true;
    runJob(Fault::ListHeading,
           {{"Error", "The list of the saved attachments", "Ok", "question-list-not-written.png"}});
    EXPECT_GT(injected.failed, 0);
    expectPicture("question-list-not-written.png", "attachments.csv.");
    EXPECT_EQ(fileText(out + "\\hello.txt"), "hello world");
    EXPECT_EQ(fileText(out + "\\numbers.csv"), "1,2,3\r\n");
    EXPECT_EQ(fileText(mailbox), original);
}

// The mailbox cannot be read on at its second message: the job says so, keeps what it
// saved, and goes on with the next mailbox.
TEST_F(FaultBoxesTest, AMailboxThatCannotBeReadOnIsLeftThere) {
    writeMailboxWithALargeMessage();
    cutting(false);
    runJob(Fault::MessageReads,
           {{"Error", "Reading ", "Ok", "question-mailbox-not-read-on.png"}});
    EXPECT_GT(injected.failed, 0);
    expectPicture("question-mailbox-not-read-on.png", "failed at message 2 of 3");
    EXPECT_EQ(fileText(out + "\\hello.txt"), "hello world");
    EXPECT_EQ(GetFileAttributesA((out + "\\large.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(fileText(mailbox), original);
}

// The system refuses the job's thread: the progress window says so and closes, and
// nothing is read or written.
TEST_F(FaultBoxesTest, AJobWhoseThreadIsRefusedSaysSo) {
    writeMailbox();
    cutting(false);
    met = Boxes();
    met.expected = {{"Error", "The extraction could not be started", "Ok",
                     "question-job-not-started.png"}};
    ASSERT_NO_FATAL_FAILURE(openOptions());
    TOVK_Utils::Thread2::setStartProbe([] { return false; });
    SendMessageA(data.extractionWindow.extractButton.handle, BM_CLICK, 0, 0);
    TOVK_Utils::Thread2::setStartProbe(nullptr);
    pumpPending();
    EXPECT_EQ(data.progressWindow.handle, nullptr);
    EXPECT_EQ(met.next, 1u) << ::testing::PrintToString(met.unexpected);
    EXPECT_TRUE(met.unexpected.empty()) << ::testing::PrintToString(met.unexpected);
    expectPicture("question-job-not-started.png", "refused to create its thread");
    EXPECT_EQ(fileText(mailbox), original);
    EXPECT_EQ(GetFileAttributesA((out + "\\hello.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A mailbox whose index is lost is to be recovered, but the disk cannot be read for it:
// the job halts, and the mailbox stays as it was.
TEST_F(FaultBoxesTest, AMailboxThatCannotBeRecoveredHaltsTheJob) {
    writeMailbox();
    // The index root past the end of the file: the index is lost, the messages are there.
    std::string damaged = original;
    const uint32_t past = static_cast<uint32_t>(damaged.size() + 100);
    for (int i = 0; i < 4; ++i)
        damaged[0xE4 + i] = static_cast<char>(past >> (8 * i));
    ASSERT_TRUE(writeFile(mailbox, damaged));
    cutting(false);
    runJob(Fault::ReadsAfterAnAnswer,
           {{"Error", mailbox, "Recover attachments", ""},
            {"Error", mailbox, "Ok", "question-mailbox-not-recovered.png"}});
    EXPECT_GT(injected.failed, 0);
    expectPicture("question-mailbox-not-recovered.png", "could not be read. Extraction");
    EXPECT_EQ(fileText(mailbox), damaged);
    EXPECT_EQ(GetFileAttributesA((out + "\\hello.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// A smallest size that is no whole number of KB is refused before anything starts, and
// the window stays open for it to be put right.
TEST_F(FaultBoxesTest, ASmallestSizeThatIsNoNumberIsRefused) {
    writeMailbox();
    met = Boxes();
    met.expected = {{"Error", "Please give the smallest size", "Ok", "question-size-not-whole.png"}};
    ASSERT_NO_FATAL_FAILURE(openOptions());
    SetWindowTextA(data.extractionWindow.minSizeEdit.handle, "12.5");
    SendMessageA(data.extractionWindow.extractButton.handle, BM_CLICK, 0, 0);
    pumpPending();
    EXPECT_NE(data.extractionWindow.handle, nullptr);
    EXPECT_EQ(data.progressWindow.handle, nullptr);
    EXPECT_EQ(met.next, 1u) << ::testing::PrintToString(met.unexpected);
    expectPicture("question-size-not-whole.png", "whole number of KB");
}
