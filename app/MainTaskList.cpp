#include "app/MainTaskList.h"

#include "app/AppData.h"
#include "app/StoreDiscovery.h"
#include "napp/Question.h"

#include <shellapi.h>

using TOVK_Utils::String;

void MainTaskList::onTask(int32_t command) {
    AppData& d = checkedAppData(data);
    switch (command) {
    case ShowMailboxes:
        // The registry is read again, so a folder chosen by browsing gives way to the
        // mail client's own; with nothing there the last folder is listed again.
        if (!d.windowsMailMode) {
            findOutlookExpressStoreRoot(d.settings);
            d.showDbxMailboxes(d.settings.outlookExpressStoreRoot);
        } else {
            findWindowsMailStoreRoot(d.settings);
            d.showEmlFolders(d.settings.windowsMailStoreRoot);
        }
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
        runProgram("%ProgramFiles%\\outlook express\\msimn.exe");
        break;
    case RunWindowsMail:
        runProgram("%ProgramFiles%\\Windows Mail\\WinMail.exe");
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
        d.showEmlFolders(d.settings.windowsMailStoreRoot);
    } else {
        d.settings.outlookExpressStoreRoot = chosen;
        d.showDbxMailboxes(d.settings.outlookExpressStoreRoot);
    }
}

// A missing program is not reported: the shell's answer is not looked at.
void MainTaskList::runProgram(const char* path) {
    char expanded[MAX_PATH] = {};
    DWORD length = ExpandEnvironmentStringsA(path, expanded, MAX_PATH);
    if (length == 0 || length > MAX_PATH)
        return; // no complete expansion: nothing sensible to start
    ShellExecuteA(nullptr, "open", expanded, nullptr, nullptr, SW_SHOWNORMAL);
}
