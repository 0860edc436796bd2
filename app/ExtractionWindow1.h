// ExtractionWindow1: the options window in which the user confirms where attachments go,
// whether they are cut out of the messages, and whether the mailboxes are backed up
// first; below those, what to take and what else the job does (the list, a folder per
// mailbox, notes in cut messages). Its extract button stores the choices, asks the
// safety questions and hands over to the progress window. Tab walks the controls in
// reading order; Alt and an underlined letter acts on the new controls.
#pragma once

#include "napp/Button.h"
#include "napp/CheckBox.h"
#include "napp/Edit.h"
#include "napp/Static2.h"
#include "napp/Window.h"

class AppData;

class ExtractionWindow1 : public NApp::Window {
public:
    bool canClose() override;
    void createChildren() override;
    void childClicked(HWND child) override;

    NApp::Static2 destinationCaption;
    NApp::Edit destinationEdit;
    NApp::Button destinationBrowseButton;
    NApp::CheckBox cutCheckBox;
    NApp::CheckBox backupCheckBox;
    NApp::Edit backupEdit;
    NApp::Button backupBrowseButton;
    NApp::CheckBox noteCheckBox;
    NApp::CheckBox listCheckBox;
    NApp::CheckBox folderCheckBox;
    NApp::CheckBox inlineImagesCheckBox;
    NApp::Static2 typesCaption;
    NApp::Edit typesEdit;
    NApp::Static2 minSizeCaption;
    NApp::Edit minSizeEdit;
    NApp::Static2 minSizeUnit;
    NApp::Button extractButton;

    AppData* data = nullptr;

private:
    // The backup controls exist, and the backup questions apply, only while the list
    // holds .dbx mailboxes.
    bool listShowsMailboxes();
    void addChoiceControls();
    void layOutChoices();
    void fillTabRing(bool mailboxes);
    void fillFromSettings();
    void fillChoices();
    void storeIntoSettings();
    void storeChoices();
    // False, after telling the user, when the smallest size is no whole number of KB.
    bool minSizeIsValid();
    void browseInto(NApp::Edit& edit, const char* prompt);
    void enableBackupFolder(bool enable);
    void extract();
};
