// The options window in-process: which backup controls exist and are enabled or ticked
// for each combination of settings and list contents, what the window stores back, and
// which safety questions its extract button asks.
#include "tests/napp/win32/NappTestUtil.h"
#include "tests/napp/win32/ScreenCapture.h"

#include "app/AppData.h"
#include "app/MyApp.h"
#include "formats/DbxMailbox.h"
#include "tests/support/DbxWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace NappTest;
using TOVK_Utils::String;

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

TEST(MyAppTest, OnlyMajorVersionSixServesWindowsMail) {
    EXPECT_FALSE(MyApp::isWindowsMailVersion(5));
    EXPECT_TRUE(MyApp::isWindowsMailVersion(6));
    EXPECT_FALSE(MyApp::isWindowsMailVersion(10));
}

namespace {

std::string messageWith(const char* name, const char* base64) {
    std::string text = "From: a@example.com\r\nSubject: files\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                       "--b\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n";
    if (name) {
        text += std::string("--b\r\nContent-Type: application/octet-stream; name=\"") + name +
                "\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64 + "\r\n";
    }
    return text + "--b--\r\n";
}

std::string fileText(const std::string& path) {
    std::string text;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        fclose(f);
    }
    return text;
}

} // namespace

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
