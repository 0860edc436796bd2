// MainWindow: the program's top-level window: the task list on the left, the mailbox
// list with its check boxes on the right. Closing it ends the run.
#pragma once

#include "app/AboutWindow.h"
#include "app/MainTaskList.h"
#include "engine/MailStores.h"
#include "engine/MailboxList.h"
#include "napp/Button.h"
#include "napp/Hyperlink.h"
#include "napp/ListView.h"
#include "napp/Static2.h"
#include "napp/Window.h"

class AppData;

// The main window's report as the job and the store listing see it.
class MailboxReport : public NApp::Report, public MailboxList {
public:
    int nextChecked(int after) override { return Report::nextChecked(after); }
    void itemText(TOVK_Utils::Block& text, int row, int column, bool wide) override {
        Report::itemText(text, row, column, wide);
    }
    void removeAll() override { Report::removeAll(); }
    int appendItem(const TOVK_Utils::Block& text, intptr_t data) override {
        return Report::appendItem(text, data);
    }
    void setItemText(const TOVK_Utils::Block& text, int row, int column) override {
        Report::setItemText(text, row, column);
    }
};

class MainWindow : public NApp::Window {
public:
    void createChildren() override;
    void childClicked(HWND child) override;
    // Not while a job's window is open: the job's thread still reaches this window's list
    // and would be left waiting on windows that are gone.
    bool canClose() override;

    // The texts that name the client served follow it: "Run %s", and for the clients
    // that keep message files "Browse for %s Emails" (otherwise Windows Mail's).
    void nameClient(MailClient client);
    TOVK_Utils::String emlBrowseText() const;
    // The one line under the caption that says where the list's rows come from.
    void setListNote(const TOVK_Utils::String& text);

    NApp::KlovinwareHyperlink homePageLink;
    MainTaskList taskList;
    MailboxReport mailboxList;
    NApp::Static2 listCaption;
    NApp::Static2 listNote;
    NApp::Button selectAllButton;
    NApp::Button selectNoneButton;
    NApp::Button aboutButton;
    AboutWindow aboutWindow;

    AppData* data = nullptr;

private:
    MailClient namedClient_ = MailClient::OutlookExpress;
    NApp::TaskListEntry* emlBrowseTask_ = nullptr;
    NApp::TaskListEntry* runTask_ = nullptr;
};
