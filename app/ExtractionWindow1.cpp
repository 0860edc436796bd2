#include "app/ExtractionWindow1.h"

#include "app/AppData.h"
#include "engine/CutCaution.h"
#include "napp/Question.h"

#include <algorithm>

using NApp::LayoutBox;
using NApp::Question;
using TOVK_Utils::String;

namespace {

// More KB than this is no size a mail attachment has: taken as a typing slip.
constexpr uint64_t largestMinSizeKB = 4u * 1024 * 1024;

// Digits only, spaces around them allowed; empty is 0 (no smallest size).
bool parseKilobytes(const String& text, uint32_t& kb) {
    const char* c = text.c_str();
    while (*c == ' ')
        ++c;
    uint64_t value = 0;
    for (; *c >= '0' && *c <= '9'; ++c) {
        value = value * 10 + uint64_t(*c - '0');
        if (value > largestMinSizeKB)
            return false;
    }
    while (*c == ' ')
        ++c;
    if (*c)
        return false;
    kb = static_cast<uint32_t>(value);
    return true;
}

String minSizeText(uint32_t kb) {
    String text;
    if (kb > 0)
        text.printFormatted("%u", kb);
    return text;
}

} // namespace

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
    addChoiceControls();
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
    layOutChoices();
    layout.addWindow(&extractButton, 5, 0, 0);

    fillTabRing(mailboxes);
    fillFromSettings();
    fitToContent();
}

// Created after the controls of the first versions, so that these keep their places
// among the window's children (the first edit is the destination's, the second the
// backup folder's).
void ExtractionWindow1::addChoiceControls() {
    addCheckBox(noteCheckBox, String("Leave a &note in each message where its attachment went"));
    addCheckBox(listCheckBox, String("&Write a list of the saved attachments"));
    addCheckBox(folderCheckBox, String("A &folder for each mailbox"));
    addCheckBox(inlineImagesCheckBox, String("Skip &pictures shown in the message text"));
    addLabel(typesCaption, String("&Only these file types:"));
    addEdit(typesEdit);
    addLabel(minSizeCaption, String("Skip files &smaller than:"));
    // The system's edit refuses any key but a digit; a pasted text is checked on extract.
    addEdit(minSizeEdit, ES_NUMBER);
    addLabel(minSizeUnit, String("KB"));
    typesCaption.labelFor = &typesEdit;
    minSizeCaption.labelFor = &minSizeEdit;
}

// The note belongs to cutting and sits with its controls; the rest follow as a group.
void ExtractionWindow1::layOutChoices() {
    layout.addWindow(&noteCheckBox, 4, 0, 0);
    layout.addWindow(&listCheckBox, 4, 0, 0);
    layout.addWindow(&folderCheckBox, 4, 0, 0);
    layout.addWindow(&inlineImagesCheckBox, 4, 0, 0);
    // Both captions as wide as the wider, so that the two edits start in one column.
    int32_t typesWidth = 0, sizeWidth = 0, height = 0;
    typesCaption.preferredSize(typesWidth, height);
    minSizeCaption.preferredSize(sizeWidth, height);
    const int32_t captionWidth = std::max(typesWidth, sizeWidth);
    LayoutBox* typesRow = layout.addRow(4, 0, 0);
    typesRow->addWindow(&typesCaption, 4, captionWidth, 0);
    typesRow->addWindow(&typesEdit, 4, 200, 0);
    LayoutBox* sizeRow = layout.addRow(4, 0, 0);
    sizeRow->addWindow(&minSizeCaption, 4, captionWidth, 0);
    sizeRow->addWindow(&minSizeEdit, 4, 60, 0);
    sizeRow->addWindow(&minSizeUnit, 4, 0, 0);
}

// Reading order: top to bottom, each row left to right.
void ExtractionWindow1::fillTabRing(bool mailboxes) {
    tabRing.clear();
    addToTabRing(destinationBrowseButton);
    addToTabRing(destinationEdit);
    addToTabRing(cutCheckBox);
    if (mailboxes) {
        addToTabRing(backupCheckBox);
        addToTabRing(backupBrowseButton);
        addToTabRing(backupEdit);
    }
    addToTabRing(noteCheckBox);
    addToTabRing(listCheckBox);
    addToTabRing(folderCheckBox);
    addToTabRing(inlineImagesCheckBox);
    addToTabRing(typesEdit);
    addToTabRing(minSizeEdit);
    addToTabRing(extractButton);
}

void ExtractionWindow1::fillFromSettings() {
    AppData& d = checkedAppData(data);
    destinationEdit.setText(d.settings.extractFolder);
    cutCheckBox.setChecked(d.settings.cutAttachments);
    fillChoices();
    if (!listShowsMailboxes())
        return;
    backupEdit.setText(d.settings.backupFolder);
    backupCheckBox.setChecked(d.settings.createBackups);
    enableBackupFolder(d.settings.createBackups);
    backupCheckBox.enable(d.settings.cutAttachments);
}

// The note box keeps its tick while cutting is off, as the backup box does, so that
// ticking the cut box again brings back what the user had chosen.
void ExtractionWindow1::fillChoices() {
    const AppSettings& settings = checkedAppData(data).settings;
    noteCheckBox.setChecked(settings.leaveNote);
    noteCheckBox.enable(settings.cutAttachments);
    listCheckBox.setChecked(settings.writeList);
    folderCheckBox.setChecked(settings.folderPerMailbox);
    inlineImagesCheckBox.setChecked(settings.skipInlineImages);
    typesEdit.setText(settings.onlyTypes);
    minSizeEdit.setText(minSizeText(settings.minSizeKB));
}

// A smallest size that is no number is not stored: the earlier one stays.
void ExtractionWindow1::storeChoices() {
    AppSettings& settings = checkedAppData(data).settings;
    settings.leaveNote = noteCheckBox.isChecked();
    settings.writeList = listCheckBox.isChecked();
    settings.folderPerMailbox = folderCheckBox.isChecked();
    settings.skipInlineImages = inlineImagesCheckBox.isChecked();
    typesEdit.getText(settings.onlyTypes, TOVK_Utils::Width::Narrow);
    String size;
    minSizeEdit.getText(size, TOVK_Utils::Width::Narrow);
    parseKilobytes(size, settings.minSizeKB);
}

bool ExtractionWindow1::minSizeIsValid() {
    String size;
    minSizeEdit.getText(size, TOVK_Utils::Width::Narrow);
    uint32_t kb = 0;
    if (parseKilobytes(size, kb))
        return true;
    Question::ask(this, String("Error"),
                  String("Please give the smallest size of the files to save as a whole number "
                         "of KB, or leave it empty to save files of any size."),
                  "Ok", nullptr, nullptr, nullptr, nullptr, 1);
    minSizeEdit.focus();
    return false;
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
    storeChoices();
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
        const bool cut = cutCheckBox.isChecked();
        noteCheckBox.enable(cut);
        if (!listShowsMailboxes())
            return;
        backupCheckBox.enable(cut);
        enableBackupFolder(cut && backupCheckBox.isChecked());
    } else if (child == extractButton.handle) {
        extract();
    }
}

void ExtractionWindow1::extract() {
    AppData& d = checkedAppData(data);
    if (!minSizeIsValid())
        return;
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
