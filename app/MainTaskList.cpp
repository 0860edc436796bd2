#include "app/MainTaskList.h"

#include "app/AppData.h"
#include "app/ClientProgram.h"
#include "napp/Question.h"

#include <shellapi.h>

using TOVK_Utils::String;

void MainTaskList::onTask(int32_t command) {
    AppData& d = checkedAppData(data);
    switch (command) {
    case ShowMailboxes:
        // The registry is read again, so a folder chosen by browsing gives way to the
        // mail client's own; with nothing there the last folder is listed again.
        d.findAndShowStores();
        break;
    case BrowseOutlookMailboxes:
        browse(Store::Mailboxes);
        break;
    case ExtractAttachments:
        d.extractAll();
        break;
    case BrowseWindowsMailEmails:
        browse(Store::EmlFolders);
        break;
    case RunOutlookExpress:
        runProgram(MailClient::OutlookExpress);
        break;
    case RunWindowsMail:
        runProgram(MailClient::WindowsMail);
        break;
    case RunWindowsLiveMail:
        runProgram(MailClient::WindowsLiveMail);
        break;
    default:
        break;
    }
}

void MainTaskList::browse(Store store) {
    const bool emlFolders = store == Store::EmlFolders;
    AppData& d = checkedAppData(data);
    String chosen;
    const char* prompt =
        emlFolders ? "Choose the location where your Windows Email (*.eml) files are kept:"
                   : "Choose the location where your Outlook Express mailboxes (.dbx files) "
                     "are kept:";
    if (!NApp::browseForFolder(chosen, listenerWindow, String(prompt), TOVK_Utils::Width::Narrow))
        return;
    if (emlFolders) {
        d.settings.windowsMailStoreRoot = chosen;
        d.showChosenFolder(d.settings.windowsMailStoreRoot, AppData::FolderHolds::EmlFolders);
    } else {
        d.settings.outlookExpressStoreRoot = chosen;
        d.showChosenFolder(d.settings.outlookExpressStoreRoot, AppData::FolderHolds::Mailboxes);
    }
}

MainTaskList::Command MainTaskList::runCommandOf(MailClient client) {
    switch (client) {
    case MailClient::WindowsMail:
        return RunWindowsMail;
    case MailClient::WindowsLiveMail:
        return RunWindowsLiveMail;
    case MailClient::OutlookExpress:
        break;
    }
    return RunOutlookExpress;
}

// A missing program is not reported: the shell's answer is not looked at, and a client
// whose program cannot be found is not started at all.
void MainTaskList::runProgram(MailClient client) {
    String path;
    if (!findClientProgram(client, path))
        return;
    ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
