#include "app/AppData.h"

#include "app/StoreDiscovery.h"
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
