#include "app/AppData.h"

#include "app/StoreDiscovery.h"
#include "engine/MailStores.h"
#include "engine/StoreListing.h"
#include "napp/Question.h"
#include "utils/Fatal.h"

using TOVK_Utils::Block;
using TOVK_Utils::String;

AppData& checkedAppData(AppData* data) {
    if (!data)
        TOVK_Utils::fatalError("Null pointer");
    return *data;
}

AppData::AppData() : view(*this) {
    mainWindow.data = this;
    extractionWindow.data = this;
    progressWindow.data = this;
    job.setView(&view);
}

AppData::~AppData() {
    if (jobStarted)
        job.join();
}

void AppData::extractAll() {
    if (mainWindow.mailboxList.nextChecked(-1) == -1) {
        NApp::Question::ask(&mainWindow, String("Error"), String("Select some mailboxes first!"),
                            "Ok", nullptr, nullptr, nullptr, nullptr, 1);
        return;
    }
    if (!mainWindow.createWindow(extractionWindow, String("Extract All Attachments"), nullptr,
                                 nullptr, {.modal = true}))
        return;
    extractionWindow.centreOn(mainWindow);
    extractionWindow.show();
}

void AppData::findAndShowStores() {
    findStores();
    showServedStore();
}

void AppData::findStores() {
    stores = discoverMailStores(systemVersion);
    takeStoreRoots(stores, settings);
    client = stores.served;
    mainWindow.nameClient(client);
}

void AppData::showServedStore() {
    const String* root = &settings.outlookExpressStoreRoot;
    if (client == MailClient::WindowsMail)
        root = &settings.windowsMailStoreRoot;
    else if (client == MailClient::WindowsLiveMail)
        root = &settings.windowsLiveMailStoreRoot;
    if (keepsEmlFolders(client))
        showEmlFolders(*root);
    else
        showDbxMailboxes(*root);
    String note;
    if (stores.empty())
        TOVK_Utils::format(note, "No mail store was found. Use \"%s\" or \"%s\".",
                           String("Browse for Outlook Mailboxes"), mainWindow.emlBrowseText());
    else
        TOVK_Utils::format(note, "%s store: %s", String(mailClientName(client)), *root);
    // The list shows one store; the others found (more identities, other clients) are a
    // browse away, and the user should know that they exist.
    if (stores.stores.size() > 1) {
        String more;
        const int others = int(stores.stores.size()) - 1;
        TOVK_Utils::format(more,
                           others == 1 ? "%s (%d more store found: the browse tasks list it)"
                                       : "%s (%d more stores found: the browse tasks list them)",
                           note, others);
        note = more;
    }
    mainWindow.setListNote(note);
}

void AppData::showChosenFolder(const Block& folder, FolderHolds holds) {
    if (holds == FolderHolds::EmlFolders)
        showEmlFolders(folder);
    else
        showDbxMailboxes(folder);
    String note;
    TOVK_Utils::format(note, "Chosen folder: %s", folder);
    mainWindow.setListNote(note);
}

void AppData::showDbxMailboxes(const Block& folder) {
    listDbxMailboxes(folder, mainWindow.mailboxList);
    listShowsEmlFolders = false;
}

void AppData::showEmlFolders(const Block& folder) {
    listEmlFolders(folder, mainWindow.mailboxList);
    listShowsEmlFolders = true;
}

void AppData::titleText(String& title) const {
    TOVK_Utils::format(title, "%s v%s", displayName, versionText);
}
