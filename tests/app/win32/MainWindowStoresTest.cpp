// The main window in-process as store discovery leaves it: the tasks that name the client
// served, and the line over the list that names the store or says that none was found.
#include "tests/napp/win32/NappTestUtil.h"

#include "app/AppData.h"
#include "tests/app/RegistryScratch.h"

#include <gtest/gtest.h>

#include <string>

using namespace NappTest;
using TOVK_Utils::String;

namespace {

const std::string windowsMail = "Software\\Microsoft\\Windows Mail";
const std::string windowsLiveMail = "Software\\Microsoft\\Windows Live Mail";

std::string textOf(const String& s) {
    return std::string(s.c_str(), s.length());
}

struct MainWindowStoresTest : ::testing::Test {
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        scratch = std::string(temp) + "tovk-main-stores";
        live = scratch + "\\Live";
        inbox = live + "\\Inbox";
        for (const std::string& folder : {scratch, live, inbox})
            CreateDirectoryA(folder.c_str(), nullptr);
        message = inbox + "\\a.eml";
        CloseHandle(
            CreateFileA(message.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        TOVK_Tests::deleteTree("Identities");
        for (const std::string& key : {windowsMail, windowsLiveMail})
            TOVK_Tests::deleteValue(key, "Store Root");
        // No default Windows Live Mail folder: LOCALAPPDATA names the scratch folder.
        SetEnvironmentVariableA("LOCALAPPDATA", scratch.c_str());
        data.defaultFont.set("Verdana", 8);
        app.setDefaultFont(&data.defaultFont);
        data.systemVersion = 10;
        ASSERT_TRUE(app.topLevel.createWindow(data.mainWindow, String("Main"), nullptr, nullptr,
                                              {.topLevel = true, .resizable = true}));
    }
    void TearDown() override {
        data.mainWindow.destroy();
        pumpPending();
        TOVK_Tests::deleteValue(windowsLiveMail, "Store Root");
        DeleteFileA(message.c_str());
        for (const std::string& folder : {inbox, live, scratch})
            RemoveDirectoryA(folder.c_str());
    }

    std::string taskText(size_t index) {
        return textOf(data.mainWindow.taskList.entries.at(index)->text);
    }
    int32_t taskValue(size_t index) { return data.mainWindow.taskList.entries.at(index)->value; }

    TestApp app;
    AppData data;
    std::string scratch, live, inbox, message;
};

} // namespace

TEST_F(MainWindowStoresTest, NoStoreSaysSoAndNamesTheBrowseTasks) {
    data.findAndShowStores();
    EXPECT_EQ(data.client, MailClient::OutlookExpress);
    EXPECT_EQ(data.mainWindow.mailboxList.itemCount, 0);
    EXPECT_EQ(textOf(data.mainWindow.listNote.text),
              "No mail store was found. Use \"Browse for Outlook Mailboxes\" or \"" + taskText(2) +
                  "\".");
    EXPECT_EQ(taskText(1), "Browse for Outlook Mailboxes");
    EXPECT_EQ(taskText(2), "Browse for Windows Mail Emails");
    EXPECT_EQ(taskText(4), "Run Outlook Express");
}

TEST_F(MainWindowStoresTest, TheClientFoundNamesTheTasksAndTheStore) {
    TOVK_Tests::setText(windowsLiveMail, "Store Root", live);
    data.findAndShowStores();
    EXPECT_EQ(data.client, MailClient::WindowsLiveMail);
    EXPECT_TRUE(data.listShowsEmlFolders);
    ASSERT_EQ(data.mainWindow.mailboxList.itemCount, 1);
    String row;
    data.mainWindow.mailboxList.itemText(row, 0, 0, false);
    EXPECT_EQ(textOf(row), inbox);
    EXPECT_EQ(textOf(data.mainWindow.listNote.text), "Windows Live Mail store: " + live);
    EXPECT_EQ(taskText(2), "Browse for Windows Live Mail Emails");
    EXPECT_EQ(taskText(4), "Run Windows Live Mail");
    EXPECT_EQ(taskValue(4), MainTaskList::RunWindowsLiveMail);

    // The store gone, "Show Mailboxes" goes back to the version's client.
    TOVK_Tests::deleteValue(windowsLiveMail, "Store Root");
    data.findAndShowStores();
    EXPECT_EQ(data.client, MailClient::OutlookExpress);
    EXPECT_EQ(taskText(2), "Browse for Windows Mail Emails");
    EXPECT_EQ(taskText(4), "Run Outlook Express");
    EXPECT_EQ(taskValue(4), MainTaskList::RunOutlookExpress);
}

TEST_F(MainWindowStoresTest, OtherStoresFoundAreCountedInTheNote) {
    TOVK_Tests::setText(windowsLiveMail, "Store Root", live);
    TOVK_Tests::setText("Identities\\{A0000000-0000-0000-0000-00000000000A}\\Software\\Microsoft"
                        "\\Outlook Express\\5.0",
                        "Store Root", scratch);
    data.findAndShowStores(); // version 10: the Outlook Express store kept is served
    EXPECT_EQ(data.client, MailClient::OutlookExpress);
    EXPECT_FALSE(data.listShowsEmlFolders);
    EXPECT_EQ(textOf(data.mainWindow.listNote.text),
              "Outlook Express store: " + scratch +
                  " (1 more store found: the browse tasks list it)");
    TOVK_Tests::deleteTree("Identities");
}
