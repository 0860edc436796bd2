#include "app/ExtractionWindow1.h"

#include "app/AppData.h"
#include "engine/CutCaution.h"
#include "napp/Question.h"

using NApp::LayoutBox;
using NApp::Question;
using TOVK_Utils::String;

bool ExtractionWindow1::listShowsMailboxes() {
    return !checkedAppData(data).listShowsEmlFolders;
}

void ExtractionWindow1::createChildren() {
    const bool mailboxes = listShowsMailboxes();
    addEdit(destinationEdit);
    if (mailboxes)
        addEdit(backupEdit);
    addLabel(destinationCaption, String("Destination folder for attachments:"));
    if (mailboxes)
        addCheckBox(backupCheckBox, String("Make a backup of .dbx files to this location:"));
    addCheckBox(cutCheckBox, String("Cut out attachments from e-mail messages."));
    if (mailboxes)
        addButton(backupBrowseButton, String("Browse.."));
    addButton(destinationBrowseButton, String("Browse.."));
    addButton(extractButton, String("Extract Attachments!"));

    layout.setSpacing(5);
    layout.setDirection(LayoutBox::Down);
    layout.addWindow(&destinationCaption, 4, 0, 0);
    LayoutBox* destinationRow = layout.addRow(8, 0, 0);
    destinationRow->addWindow(&destinationBrowseButton, 4, 0, 0);
    destinationRow->addWindow(&destinationEdit, 4, 300, 0);
    layout.addWindow(&cutCheckBox, 4, 0, 0);
    if (mailboxes)
        layout.addWindow(&backupCheckBox, 4, 0, 0);
    LayoutBox* backupRow = layout.addRow(8, 0, 0);
    if (mailboxes) {
        backupRow->addWindow(&backupBrowseButton, 4, 0, 0);
        backupRow->addWindow(&backupEdit, 4, 300, 0);
    }
    layout.addWindow(&extractButton, 5, 0, 0);

    fillFromSettings();
    fitToContent();
}

void ExtractionWindow1::fillFromSettings() {
    AppData& d = checkedAppData(data);
    destinationEdit.setText(d.settings.extractFolder);
    cutCheckBox.setChecked(d.settings.cutAttachments);
    if (!listShowsMailboxes())
        return;
    backupEdit.setText(d.settings.backupFolder);
    backupCheckBox.setChecked(d.settings.createBackups);
    enableBackupFolder(d.settings.createBackups);
    backupCheckBox.enable(d.settings.cutAttachments);
}

// A list of .eml folders has no backup controls: the earlier backup choices are kept
// rather than read from controls that do not exist.
void ExtractionWindow1::storeIntoSettings() {
    AppData& d = checkedAppData(data);
    destinationEdit.getText(d.settings.extractFolder, TOVK_Utils::Width::Narrow);
    if (listShowsMailboxes()) {
        d.settings.createBackups = backupCheckBox.isChecked();
        backupEdit.getText(d.settings.backupFolder, TOVK_Utils::Width::Narrow);
    }
    d.settings.cutAttachments = cutCheckBox.isChecked();
}

bool ExtractionWindow1::canClose() {
    storeIntoSettings();
    return true;
}

void ExtractionWindow1::enableBackupFolder(bool enable) {
    backupEdit.enable(enable);
    backupBrowseButton.enable(enable);
}

void ExtractionWindow1::browseInto(NApp::Edit& edit, const char* prompt) {
    String chosen;
    if (NApp::browseForFolder(chosen, listenerWindow, String(prompt), TOVK_Utils::Width::Narrow))
        edit.setText(chosen);
}

void ExtractionWindow1::childClicked(HWND child) {
    if (child == destinationBrowseButton.handle) {
        browseInto(destinationEdit, "Choose the destination folder for extracted attachments:");
    } else if (child == backupBrowseButton.handle) {
        browseInto(backupEdit, "Choose the folder to save backups of .dbx files to:");
    } else if (child == backupCheckBox.handle) {
        enableBackupFolder(backupCheckBox.isChecked());
    } else if (child == cutCheckBox.handle) {
        if (!listShowsMailboxes())
            return;
        const bool cut = cutCheckBox.isChecked();
        backupCheckBox.enable(cut);
        enableBackupFolder(cut && backupCheckBox.isChecked());
    } else if (child == extractButton.handle) {
        extract();
    }
}

void ExtractionWindow1::extract() {
    AppData& d = checkedAppData(data);
    storeIntoSettings();
    // Only the mail client's own mailboxes are open to it while they are cut; message
    // files are replaced whole.
    if (listShowsMailboxes() && d.settings.cutAttachments) {
        Question::ask(this, String("Warning"),
                      String("Please close Outlook Express if it is open."),
                      "I have closed Outlook Express", nullptr, nullptr, nullptr, nullptr, 1);
        if (!d.settings.createBackups &&
            Question::ask(this, String("Warning"), String(cutWithoutBackupsCaution),
                          "Continue without backups", "Cancel extraction", nullptr, nullptr,
                          nullptr, 4) == 2)
            return;
    }
    destroy();
    MainWindow& main = d.mainWindow;
    if (!main.createWindow(d.progressWindow, String("Extracting All Attachments"), nullptr, nullptr,
                           {.modal = true}))
        return;
    d.progressWindow.centreOn(main);
    d.progressWindow.show();
}
