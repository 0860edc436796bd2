// The options window in-process: which backup controls exist and are enabled or ticked
// for each combination of settings and list contents, what the window stores back, and
// which safety questions its extract button asks; the choices of what to take and what
// else to do, their mnemonics and the tab order.
#include "tests/napp/win32/NappTestUtil.h"
#include "tests/napp/win32/ScreenCapture.h"

#include "app/AppData.h"
#include "app/MyApp.h"
#include "formats/DbxMailbox.h"
#include "napp/Mnemonic.h"
#include "tests/support/DbxWriter.h"
#include "tests/app/win32/TestMail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace NappTest;
using TOVK_Utils::String;

using AppTest::fileText;
using AppTest::messageWith;

namespace {

// Answers question boxes from a timer on the interface thread: each box that appears
// is recorded by its message and answered with the caption given for its title.
struct Answers {
    std::vector<std::pair<std::string, std::string>> byTitle; // title, caption to press
    std::vector<std::string> messages;
};
Answers* answers = nullptr;

void CALLBACK answerTimer(HWND, UINT, UINT_PTR, DWORD) {
    for (const auto& [title, caption] : answers->byTitle) {
        HWND box = FindWindowA(nullptr, title.c_str());
        if (!box || !IsWindowVisible(box))
            continue;
        std::string message;
        HWND button = nullptr;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char name[64] = {};
            GetClassNameA(child, name, sizeof name);
            if (_strnicmp(name, "RichEdit", 8) == 0)
                message = nativeText(child);
            else if (nativeText(child) == caption)
                button = child;
        }
        if (!button)
            continue;
        answers->messages.push_back(message);
        // Hidden at once so that the next tick does not count the box twice.
        ShowWindow(box, SW_HIDE);
        PostMessageA(button, BM_CLICK, 0, 0);
    }
}

struct OptionsWindowTest : ::testing::Test {
    void SetUp() override {
        answers = &given;
        timer = SetTimer(nullptr, 0, 20, answerTimer);
        // As the program sets it up, so that sizes and the screenshot match it.
        data.defaultFont.set("Verdana", 8);
        app.setDefaultFont(&data.defaultFont);
        ASSERT_TRUE(app.topLevel.createWindow(data.mainWindow, String("Main"), nullptr, nullptr,
                                              {.topLevel = true, .resizable = true}));
        data.settings.extractFolder = String("C:\\out");
        data.settings.backupFolder = String("C:\\backups");
    }
    void TearDown() override {
        KillTimer(nullptr, timer);
        answers = nullptr;
        data.extractionWindow.destroy();
        data.mainWindow.destroy();
        pumpPending();
    }
    void open() {
        ASSERT_TRUE(data.mainWindow.createWindow(data.extractionWindow,
                                                 String("Extract All Attachments"), nullptr,
                                                 nullptr, {.modal = true}));
    }
    bool enabled(NApp::Window& w) { return IsWindowEnabled(w.handle) != 0; }
    void click(NApp::Window& w) { SendMessageA(w.handle, BM_CLICK, 0, 0); }
    // Alt and a letter, typed while the focus is wherever it is.
    void altKey(char letter) {
        HWND focused = GetFocus() ? GetFocus() : data.extractionWindow.handle;
        SendMessageA(focused, WM_SYSCHAR, letter, 1 << 29);
    }

    TestApp app;
    AppData data;
    Answers given;
    UINT_PTR timer = 0;
};

} // namespace

TEST_F(OptionsWindowTest, FillFollowsTheBackupAndCutSettings) {
    struct Case {
        bool createBackups, cut;
        bool backupTicked, backupBoxEnabled, folderEnabled;
    };
    const Case cases[] = {
        {false, false, false, false, false},
        {true, false, true, false, true}, // the tick shows; the folder stays usable
        {false, true, false, true, false},
        {true, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "backups " << c.createBackups << " cut " << c.cut);
        data.settings.createBackups = c.createBackups;
        data.settings.cutAttachments = c.cut;
        open();
        ExtractionWindow1& w = data.extractionWindow;
        EXPECT_EQ(textOf(w.destinationEdit.text), "C:\\out");
        EXPECT_EQ(nativeText(w.backupEdit.handle), "C:\\backups");
        EXPECT_EQ(w.cutCheckBox.isChecked(), c.cut);
        EXPECT_EQ(w.backupCheckBox.isChecked(), c.backupTicked);
        EXPECT_EQ(enabled(w.backupCheckBox), c.backupBoxEnabled);
        EXPECT_EQ(enabled(w.backupEdit), c.folderEnabled);
        EXPECT_EQ(enabled(w.backupBrowseButton), c.folderEnabled);
        w.destroy();
        EXPECT_TRUE(IsWindowEnabled(data.mainWindow.handle));
    }
}

TEST_F(OptionsWindowTest, CutBoxSwitchesTheBackupControlsWithoutChangingTheirTicks) {
    data.settings.createBackups = true;
    data.settings.cutAttachments = true;
    open();
    ExtractionWindow1& w = data.extractionWindow;
    SendMessageA(w.cutCheckBox.handle, BM_CLICK, 0, 0);
    EXPECT_FALSE(w.cutCheckBox.isChecked());
    EXPECT_FALSE(enabled(w.backupCheckBox));
    EXPECT_FALSE(enabled(w.backupEdit));
    EXPECT_FALSE(enabled(w.backupBrowseButton));
    EXPECT_TRUE(w.backupCheckBox.isChecked());

    SendMessageA(w.cutCheckBox.handle, BM_CLICK, 0, 0);
    EXPECT_TRUE(enabled(w.backupCheckBox));
    EXPECT_TRUE(enabled(w.backupEdit));

    // Unticking the backup box takes the folder controls with it, and ticking the cut
    // box again does not bring them back while backups stay off.
    SendMessageA(w.backupCheckBox.handle, BM_CLICK, 0, 0);
    EXPECT_FALSE(enabled(w.backupEdit));
    SendMessageA(w.cutCheckBox.handle, BM_CLICK, 0, 0);
    SendMessageA(w.cutCheckBox.handle, BM_CLICK, 0, 0);
    EXPECT_TRUE(enabled(w.backupCheckBox));
    EXPECT_FALSE(enabled(w.backupEdit));
    EXPECT_FALSE(enabled(w.backupBrowseButton));
}

TEST_F(OptionsWindowTest, ClosingStoresTheFieldsAndStartsNothing) {
    data.settings.cutAttachments = true;
    open();
    ExtractionWindow1& w = data.extractionWindow;
    SetWindowTextA(w.destinationEdit.handle, "D:\\elsewhere");
    SetWindowTextA(w.backupEdit.handle, "D:\\copies");
    SendMessageA(w.backupCheckBox.handle, BM_CLICK, 0, 0);
    SendMessageA(w.handle, WM_CLOSE, 0, 0);
    EXPECT_EQ(w.handle, nullptr);
    EXPECT_EQ(textOf(data.settings.extractFolder), "D:\\elsewhere");
    EXPECT_EQ(textOf(data.settings.backupFolder), "D:\\copies");
    EXPECT_TRUE(data.settings.createBackups);
    EXPECT_TRUE(data.settings.cutAttachments);
    EXPECT_EQ(data.progressWindow.handle, nullptr);
    EXPECT_TRUE(IsWindowEnabled(data.mainWindow.handle));
}

TEST_F(OptionsWindowTest, MessageFoldersHaveNoBackupControlsAndKeepTheBackupChoice) {
    data.listShowsEmlFolders = true;
    data.settings.createBackups = true;
    data.settings.cutAttachments = false;
    open();
    ExtractionWindow1& w = data.extractionWindow;
    EXPECT_EQ(w.backupCheckBox.handle, nullptr);
    EXPECT_EQ(w.backupEdit.handle, nullptr);
    EXPECT_EQ(w.backupBrowseButton.handle, nullptr);
    SendMessageA(w.cutCheckBox.handle, BM_CLICK, 0, 0);
    SendMessageA(w.handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(data.settings.cutAttachments);
    EXPECT_TRUE(data.settings.createBackups);
    EXPECT_EQ(textOf(data.settings.backupFolder), "C:\\backups");
}

// The backup controls and the questions follow what the list holds, not the mail client
// the program serves: mailboxes browsed to in Windows Mail mode get them too.
TEST_F(OptionsWindowTest, CuttingMailboxesWithoutBackupsAsksTwiceAndCancelKeepsTheWindow) {
    for (bool windowsMail : {false, true}) {
        SCOPED_TRACE(windowsMail ? "Windows Mail mode" : "Outlook Express mode");
        data.client = windowsMail ? MailClient::WindowsMail : MailClient::OutlookExpress;
        data.settings.createBackups = false;
        data.settings.cutAttachments = true;
        given.messages.clear();
        given.byTitle = {{"Warning", "I have closed Outlook Express"},
                         {"Warning", "Cancel extraction"}};
        open();
        ExtractionWindow1& w = data.extractionWindow;
        EXPECT_TRUE(w.backupCheckBox.handle != nullptr);
        SendMessageA(w.extractButton.handle, BM_CLICK, 0, 0);
        ASSERT_EQ(given.messages.size(), 2u);
        EXPECT_EQ(given.messages[0], "Please close Outlook Express if it is open.");
        EXPECT_EQ(given.messages[1].rfind("CAUTION! Please read the following warning", 0), 0u);
        EXPECT_NE(given.messages[1].find(TOVK_HOMEPAGE " website."), std::string::npos);
        EXPECT_NE(w.handle, nullptr);
        EXPECT_EQ(data.progressWindow.handle, nullptr);
        EXPECT_FALSE(IsWindowEnabled(data.mainWindow.handle));
        w.destroy();
    }
}

namespace {

// The new controls' texts as the window gives them ("&" before the letter that Alt
// takes) and the words a person reads, in the order of ExtractionWindow1's members.
struct ChoiceText {
    const char* text;
    const char* words;
};
const ChoiceText choiceTexts[] = {
    {"Leave a &note in each message where its attachment went",
     "Leave a note in each message where its attachment went"},
    {"&Write a list of the saved attachments", "Write a list of the saved attachments"},
    {"A &folder for each mailbox", "A folder for each mailbox"},
    {"Skip &pictures shown in the message text", "Skip pictures shown in the message text"},
    {"&Only these file types:", "Only these file types:"},
    {"Skip files &smaller than:", "Skip files smaller than:"},
    {"KB", "KB"},
};

std::string withoutAmpersands(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    return text;
}

} // namespace

TEST_F(OptionsWindowTest, ChoiceControlsExistForBothListsWithDistinctMnemonics) {
    for (bool emlFolders : {false, true}) {
        SCOPED_TRACE(emlFolders ? ".eml folders" : "mailboxes");
        data.listShowsEmlFolders = emlFolders;
        open();
        ExtractionWindow1& w = data.extractionWindow;
        NApp::Window* controls[] = {&w.noteCheckBox,         &w.listCheckBox, &w.folderCheckBox,
                                    &w.inlineImagesCheckBox, &w.typesCaption, &w.minSizeCaption,
                                    &w.minSizeUnit};
        static_assert(std::size(controls) == std::size(choiceTexts));
        for (size_t i = 0; i < std::size(controls); ++i) {
            SCOPED_TRACE(choiceTexts[i].words);
            ASSERT_NE(controls[i]->handle, nullptr);
            EXPECT_EQ(textOf(controls[i]->text), choiceTexts[i].text);
            EXPECT_EQ(withoutAmpersands(choiceTexts[i].text), choiceTexts[i].words);
            EXPECT_NE(GetWindowLongPtrA(controls[i]->handle, GWL_STYLE) & WS_VISIBLE, 0);
        }
        EXPECT_NE(w.typesEdit.handle, nullptr);
        EXPECT_NE(w.minSizeEdit.handle, nullptr);
        // No two controls of the window answer the same Alt letter.
        std::set<char> letters;
        int withLetter = 0;
        for (int32_t i = 0; i < w.childCount(); ++i) {
            if (char letter = NApp::mnemonicOf(w.child(i)->text.c_str())) {
                ++withLetter;
                letters.insert(letter);
            }
        }
        EXPECT_EQ(withLetter, 6);
        EXPECT_EQ(letters.size(), 6u);
        w.destroy();
    }
}

TEST_F(OptionsWindowTest, ChoicesFollowTheSettingsInAndOut) {
    struct Case {
        const char* what;
        bool note, list, folders, inlineImages;
        const char* types;
        uint32_t minSizeKB;
        const char* sizeShown; // 0 KB is no limit: an empty edit
    };
    const Case cases[] = {
        {"none chosen", false, false, false, false, "", 0, ""},
        {"every box", true, true, true, true, "pdf doc", 120, "120"},
        {"only the boxes of the middle", false, true, true, false, "", 1, "1"},
        {"types and size alone", false, false, false, false, "xls, .PDF", 4096, "4096"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        data.settings.cutAttachments = true;
        data.settings.leaveNote = c.note;
        data.settings.writeList = c.list;
        data.settings.folderPerMailbox = c.folders;
        data.settings.skipInlineImages = c.inlineImages;
        data.settings.onlyTypes = String(c.types);
        data.settings.minSizeKB = c.minSizeKB;
        open();
        ExtractionWindow1& w = data.extractionWindow;
        EXPECT_EQ(w.noteCheckBox.isChecked(), c.note);
        EXPECT_EQ(w.listCheckBox.isChecked(), c.list);
        EXPECT_EQ(w.folderCheckBox.isChecked(), c.folders);
        EXPECT_EQ(w.inlineImagesCheckBox.isChecked(), c.inlineImages);
        EXPECT_EQ(nativeText(w.typesEdit.handle), c.types);
        EXPECT_EQ(nativeText(w.minSizeEdit.handle), c.sizeShown);

        // Every box turned over and new texts typed come back into the settings.
        for (NApp::CheckBox* box :
             {&w.noteCheckBox, &w.listCheckBox, &w.folderCheckBox, &w.inlineImagesCheckBox})
            click(*box);
        SetWindowTextA(w.typesEdit.handle, "zip");
        SetWindowTextA(w.minSizeEdit.handle, "7");
        SendMessageA(w.handle, WM_CLOSE, 0, 0);
        EXPECT_EQ(w.handle, nullptr);
        EXPECT_EQ(data.settings.leaveNote, !c.note);
        EXPECT_EQ(data.settings.writeList, !c.list);
        EXPECT_EQ(data.settings.folderPerMailbox, !c.folders);
        EXPECT_EQ(data.settings.skipInlineImages, !c.inlineImages);
        EXPECT_EQ(textOf(data.settings.onlyTypes), "zip");
        EXPECT_EQ(data.settings.minSizeKB, 7u);
    }
}

// What the window stores, and what the job is then handed, for what is typed as the
// smallest size. A text that is no number keeps the earlier size when the window is
// closed, and stops the extract button with a box that says what to type.
TEST_F(OptionsWindowTest, SmallestSizeTakesWholeKilobytesOnly) {
    struct Case {
        const char* typed;
        bool accepted;
        uint32_t storedKB;
    };
    const Case cases[] = {
        {"", true, 0},
        {"0", true, 0},
        {"250", true, 250},
        {" 12 ", true, 12},
        {"12a", false, 33},
        {"1.5", false, 33},
        {"-3", false, 33},
        {"99999999999", false, 33},
        {"4194304", true, 4194304},
        {"4194305", false, 33},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("typed \"") + c.typed + "\"");
        data.settings.minSizeKB = 33;
        open();
        ExtractionWindow1& w = data.extractionWindow;
        SetWindowTextA(w.minSizeEdit.handle, c.typed);
        SendMessageA(w.handle, WM_CLOSE, 0, 0);
        EXPECT_EQ(data.settings.minSizeKB, c.storedKB);
        EXPECT_EQ(data.view.choices().minSize, int64_t(c.storedKB) * 1024);

        if (c.accepted)
            continue;
        given.messages.clear();
        given.byTitle = {{"Error", "Ok"}};
        open();
        SetWindowTextA(w.minSizeEdit.handle, c.typed);
        click(w.extractButton);
        ASSERT_EQ(given.messages.size(), 1u);
        EXPECT_NE(given.messages[0].find("whole number of KB"), std::string::npos);
        EXPECT_NE(w.handle, nullptr);
        EXPECT_EQ(data.progressWindow.handle, nullptr);
        EXPECT_EQ(GetFocus(), w.minSizeEdit.handle);
        w.destroy();
    }
}

TEST_F(OptionsWindowTest, NoteBoxFollowsTheCutBoxForBothLists) {
    for (bool emlFolders : {false, true}) {
        SCOPED_TRACE(emlFolders ? ".eml folders" : "mailboxes");
        data.listShowsEmlFolders = emlFolders;
        data.settings.cutAttachments = false;
        data.settings.leaveNote = true;
        open();
        ExtractionWindow1& w = data.extractionWindow;
        EXPECT_FALSE(enabled(w.noteCheckBox));
        EXPECT_TRUE(w.noteCheckBox.isChecked()); // kept for when cutting comes back
        click(w.cutCheckBox);
        EXPECT_TRUE(enabled(w.noteCheckBox));
        click(w.noteCheckBox);
        EXPECT_FALSE(w.noteCheckBox.isChecked());
        click(w.noteCheckBox);
        click(w.cutCheckBox);
        EXPECT_FALSE(enabled(w.noteCheckBox));
        // Alt and its letter cannot tick a disabled box either.
        altKey('n');
        EXPECT_TRUE(w.noteCheckBox.isChecked());
        SendMessageA(w.handle, WM_CLOSE, 0, 0);
        // Stored as ticked, but no note is asked of a job that does not cut.
        EXPECT_TRUE(data.settings.leaveNote);
        EXPECT_FALSE(data.view.choices().leaveNote);
    }
}

// Tab from the first control visits every enabled control once, in the order a person
// reads them: top to bottom, and left to right within a row.
TEST_F(OptionsWindowTest, TabFollowsTheReadingOrder) {
    for (bool emlFolders : {false, true}) {
        SCOPED_TRACE(emlFolders ? ".eml folders" : "mailboxes");
        data.listShowsEmlFolders = emlFolders;
        data.settings.cutAttachments = true;
        data.settings.createBackups = true;
        open();
        ExtractionWindow1& w = data.extractionWindow;
        pumpPending();
        std::vector<HWND> reading;
        for (int32_t i = 0; i < w.childCount(); ++i) {
            NApp::Window* child = w.child(i);
            if (dynamic_cast<NApp::Static2*>(child) == nullptr)
                reading.push_back(child->handle);
        }
        auto top = [](HWND h) {
            RECT r;
            GetWindowRect(h, &r);
            return std::make_pair((r.top + r.bottom) / 2, r.left);
        };
        // Controls of one row share their middle within a few pixels.
        std::stable_sort(reading.begin(), reading.end(), [&](HWND a, HWND b) {
            auto [ya, xa] = top(a);
            auto [yb, xb] = top(b);
            return std::abs(ya - yb) > 4 ? ya < yb : xa < xb;
        });
        ASSERT_EQ(reading.size(), emlFolders ? 10u : 13u);
        w.destinationBrowseButton.focus();
        std::vector<HWND> visited = {GetFocus()};
        for (size_t i = 1; i < reading.size(); ++i) {
            SendMessageA(GetFocus(), WM_CHAR, '\t', 0);
            visited.push_back(GetFocus());
        }
        EXPECT_EQ(visited, reading);
        SendMessageA(GetFocus(), WM_CHAR, '\t', 0);
        EXPECT_EQ(GetFocus(), reading.front()); // round again
        // Shift+Tab is not sent here: GetKeyState reads the real keyboard.
        w.destroy();
    }
}

TEST_F(OptionsWindowTest, AltAndTheUnderlinedLetterActsOnItsControl) {
    data.settings.cutAttachments = true;
    open();
    ExtractionWindow1& w = data.extractionWindow;
    struct Case {
        char letter;
        NApp::Window* focused;  // where the focus goes
        NApp::CheckBox* ticked; // the box it turns over, if any
    };
    const Case cases[] = {
        {'n', &w.noteCheckBox, &w.noteCheckBox},
        {'w', &w.listCheckBox, &w.listCheckBox},
        {'F', &w.folderCheckBox, &w.folderCheckBox},
        {'p', &w.inlineImagesCheckBox, &w.inlineImagesCheckBox},
        {'o', &w.typesEdit, nullptr},
        {'s', &w.minSizeEdit, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Alt+" << c.letter);
        w.destinationEdit.focus();
        const bool before = c.ticked && c.ticked->isChecked();
        altKey(c.letter);
        EXPECT_EQ(GetFocus(), c.focused->handle);
        if (c.ticked) {
            EXPECT_NE(c.ticked->isChecked(), before);
        }
    }
    SendMessageA(w.handle, WM_CLOSE, 0, 0);
    EXPECT_TRUE(data.settings.leaveNote);
    EXPECT_TRUE(data.settings.writeList);
    EXPECT_TRUE(data.settings.folderPerMailbox);
    EXPECT_TRUE(data.settings.skipInlineImages);
}

TEST(MyAppTest, OnlyMajorVersionSixServesWindowsMail) {
    EXPECT_FALSE(MyApp::isWindowsMailVersion(5));
    EXPECT_TRUE(MyApp::isWindowsMailVersion(6));
    EXPECT_FALSE(MyApp::isWindowsMailVersion(10));
}


// A whole job through the real windows: the options window hands over to the progress
// window, the worker's questions and counters reach it, and "Done" closes it.
TEST_F(OptionsWindowTest, ProgressWindowRunsTheJobToDoneAndCloses) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string root =
        std::string(temp) + "klovin-progress-" + std::to_string(GetCurrentProcessId());
    std::string store = root + "\\store", out = root + "\\out", copies = root + "\\backups";
    for (const std::string& folder : {root, store, copies})
        CreateDirectoryA(folder.c_str(), nullptr);
    DbxTest::DbxWriter writer;
    writer.addMessage(messageWith("hello.txt", "aGVsbG8gd29ybGQ=")); // "hello world"
    writer.addMessage(messageWith(nullptr, nullptr));
    writer.addMessage(messageWith("numbers.csv", "MSwyLDMNCg==")); // "1,2,3\r\n"
    ASSERT_TRUE(writer.writeFile(store + "\\Inbox.dbx"));
    const std::string original = fileText(store + "\\Inbox.dbx");

    data.settings.extractFolder = String(out.c_str());
    data.settings.backupFolder = String(copies.c_str());
    data.settings.outlookExpressStoreRoot = String(store.c_str());
    data.settings.createBackups = true;
    data.settings.cutAttachments = true;
    data.showDbxMailboxes(data.settings.outlookExpressStoreRoot);
    ASSERT_EQ(data.mainWindow.mailboxList.itemCount, 1);
    data.mainWindow.mailboxList.setChecked(0, true);
    // The destination is missing: the job offers to create it.
    given.byTitle = {
        {"Warning", "I have closed Outlook Express"}, {"Error", "Yes"}, {"Information", "Ok"}};
    open();
    ExtractionWindow1& w = data.extractionWindow;
    SendMessageA(w.extractButton.handle, BM_CLICK, 0, 0);
    EXPECT_EQ(w.handle, nullptr);
    ProgressWindow& p = data.progressWindow;
    ASSERT_NE(p.handle, nullptr);
    EXPECT_FALSE(IsWindowEnabled(data.mainWindow.handle));

    ASSERT_TRUE(pumpUntil([&] { return nativeText(p.stopButton.handle) == "Done"; }));
    pumpPending(); // the counters posted before "Done"
    EXPECT_FALSE(IsWindowEnabled(p.pauseButton.handle));
    EXPECT_EQ(nativeText(p.values[0].handle), "1");
    EXPECT_EQ(nativeText(p.values[1].handle), "3");
    EXPECT_EQ(nativeText(p.values[2].handle), "2");
    EXPECT_EQ(nativeText(p.values[4].handle), "0.0 MB");
    ASSERT_FALSE(given.messages.empty());
    EXPECT_EQ(given.messages.back().rfind("The attachments have been cut", 0), 0u);
    SendMessageA(p.handle, WM_CLOSE, 0, 0); // the close box does nothing
    EXPECT_NE(p.handle, nullptr);
    PostMessageA(p.stopButton.handle, BM_CLICK, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return p.handle == nullptr; }));
    EXPECT_TRUE(IsWindowEnabled(data.mainWindow.handle));
    EXPECT_TRUE(data.job.join(5000));

    EXPECT_EQ(fileText(out + "\\hello.txt"), "hello world");
    EXPECT_EQ(fileText(out + "\\numbers.csv"), "1,2,3\r\n");
    EXPECT_EQ(fileText(copies + "\\Inbox.dbx"), original);
    const std::string cut = fileText(store + "\\Inbox.dbx");
    EXPECT_EQ(cut.size(), original.size()); // rewritten in place
    {
        // Every message is still there and whole; the saved attachments are gone from them.
        TOVK_Internet::DbxMailbox box;
        ASSERT_TRUE(box.open(String((store + "\\Inbox.dbx").c_str())) ==
                        TOVK_Internet::DbxMailbox::Open::Opened &&
                    box.scan());
        ASSERT_EQ(box.messageOffsets.size(), 3u);
        for (uint32_t offset : box.messageOffsets) {
            String text;
            ASSERT_EQ(box.readMessage(offset, text), TOVK_Internet::DbxMailbox::Read::Complete);
            const std::string message = textOf(text);
            EXPECT_NE(message.find("See attached."), std::string::npos);
            EXPECT_EQ(message.find("aGVsbG8gd29ybGQ="), std::string::npos);
            EXPECT_EQ(message.find("MSwyLDMNCg=="), std::string::npos);
        }
    }
    for (const char* file :
         {"\\out\\hello.txt", "\\out\\numbers.csv", "\\backups\\Inbox.dbx", "\\store\\Inbox.dbx"})
        DeleteFileA((root + file).c_str());
    for (const char* folder : {"\\out", "\\backups", "\\store", ""})
        RemoveDirectoryA((root + folder).c_str());
}

// The choices ticked and typed in the window reach the job: only the wanted type is
// saved, into the mailbox's folder, listed, and cut with a note; the other is counted
// as skipped in the progress window and stays in its message.
TEST_F(OptionsWindowTest, ChoicesSetInTheWindowReachTheJob) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string root =
        std::string(temp) + "klovin-choices-" + std::to_string(GetCurrentProcessId());
    std::string store = root + "\\store", out = root + "\\out";
    for (const std::string& folder : {root, store, out})
        CreateDirectoryA(folder.c_str(), nullptr);
    // Large enough to hold its note: 600 zero bytes.
    std::string zeros;
    for (int i = 0; i < 200; ++i)
        zeros += "AAAA";
    DbxTest::DbxWriter writer;
    writer.addMessage(messageWith("hello.txt", "aGVsbG8gd29ybGQ="));
    writer.addMessage(messageWith("zeros.bin", zeros.c_str()));
    ASSERT_TRUE(writer.writeFile(store + "\\Inbox.dbx"));
    data.settings.extractFolder = String(out.c_str());
    data.settings.outlookExpressStoreRoot = String(store.c_str());
    data.settings.createBackups = false;
    data.settings.cutAttachments = false;
    data.showDbxMailboxes(data.settings.outlookExpressStoreRoot);
    ASSERT_EQ(data.mainWindow.mailboxList.itemCount, 1);
    data.mainWindow.mailboxList.setChecked(0, true);
    given.byTitle = {{"Warning", "I have closed Outlook Express"},
                     {"Warning", "Continue without backups"},
                     {"Information", "Ok"}};
    open();
    ExtractionWindow1& w = data.extractionWindow;
    for (NApp::CheckBox* box : {&w.cutCheckBox, &w.noteCheckBox, &w.listCheckBox, &w.folderCheckBox,
                                &w.inlineImagesCheckBox})
        click(*box);
    SetWindowTextA(w.typesEdit.handle, "BIN txt2");
    click(w.extractButton);
    ProgressWindow& p = data.progressWindow;
    ASSERT_NE(p.handle, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return nativeText(p.stopButton.handle) == "Done"; }));
    pumpPending();
    EXPECT_EQ(nativeText(p.captions[5].handle), "Skipped:");
    EXPECT_TRUE(IsWindowVisible(p.values[5].handle));
    EXPECT_EQ(nativeText(p.values[2].handle), "1");
    EXPECT_EQ(nativeText(p.values[5].handle), "1");
    PostMessageA(p.stopButton.handle, BM_CLICK, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return p.handle == nullptr; }));
    EXPECT_TRUE(data.job.join(5000));

    EXPECT_EQ(fileText(out + "\\Inbox\\zeros.bin"), std::string(600, '\0'));
    EXPECT_EQ(fileText(out + "\\Inbox\\hello.txt"), "");
    EXPECT_EQ(fileText(out + "\\hello.txt"), "");
    const std::string list = fileText(out + "\\attachments.csv");
    EXPECT_NE(list.find("zeros.bin"), std::string::npos);
    EXPECT_EQ(list.find("hello.txt"), std::string::npos);
    // Read through the mailbox's chains: a message's text may cross a block boundary.
    std::string messages;
    {
        TOVK_Internet::DbxMailbox box;
        ASSERT_TRUE(box.open(String((store + "\\Inbox.dbx").c_str())) ==
                        TOVK_Internet::DbxMailbox::Open::Opened &&
                    box.scan());
        ASSERT_EQ(box.messageOffsets.size(), 2u);
        for (uint32_t offset : box.messageOffsets) {
            String text;
            ASSERT_EQ(box.readMessage(offset, text), TOVK_Internet::DbxMailbox::Read::Complete);
            messages += textOf(text);
        }
    }
    EXPECT_NE(messages.find("aGVsbG8gd29ybGQ="), std::string::npos); // skipped: not cut
    EXPECT_EQ(messages.find(zeros), std::string::npos);
    EXPECT_NE(messages.find("The attachment zeros.bin"), std::string::npos);
    for (const char* file :
         {"\\out\\Inbox\\zeros.bin", "\\out\\attachments.csv", "\\store\\Inbox.dbx"})
        DeleteFileA((root + file).c_str());
    for (const char* folder : {"\\out\\Inbox", "\\out", "\\store", ""})
        RemoveDirectoryA((root + folder).c_str());
}

// The options window as it first appears, captured for the user guide.
TEST_F(OptionsWindowTest, Screenshot) {
    data.settings.createBackups = true;
    data.settings.cutAttachments = true;
    open();
    ExtractionWindow1& w = data.extractionWindow;
    w.show();
    pumpPending();
    RedrawWindow(w.handle, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pumpPending();
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(savePng(w.handle, "options-window.png", rgb));
    EXPECT_GT(distinctColours(rgb), 4u);
}
