// ExtractionWindow1: the options window in which the user confirms where attachments go,
// whether they are cut out of the messages, and whether the mailboxes are backed up
// first. Its extract button stores the choices, asks the safety questions and hands
// over to the progress window.
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
    NApp::Button extractButton;

    AppData* data = nullptr;

private:
    // The backup controls exist, and the backup questions apply, only while the list
    // holds .dbx mailboxes.
    bool listShowsMailboxes();
    void fillFromSettings();
    void storeIntoSettings();
    void browseInto(NApp::Edit& edit, const char* prompt);
    void enableBackupFolder(bool enable);
    void extract();
};
