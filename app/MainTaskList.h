// MainTaskList: the main window's side pane of commands. Each entry carries a command
// number; a click runs it here.
#pragma once

#include "engine/MailStores.h"
#include "napp/TaskList.h"

class AppData;

class MainTaskList : public NApp::TaskList {
public:
    enum Command : int32_t {
        ShowMailboxes = 1,
        BrowseOutlookMailboxes = 2,
        ExtractAttachments = 3,
        BrowseWindowsMailEmails = 4,
        RunOutlookExpress = 10,
        RunWindowsMail = 11,
        RunWindowsLiveMail = 12,
    };

    static Command runCommandOf(MailClient client);

    void onTask(int32_t command) override;

    AppData* data = nullptr;

private:
    // Which store a chosen folder holds.
    enum class Store { Mailboxes, EmlFolders };
    void browse(Store store);
    static void runProgram(MailClient client);
};
