#include "app/MainWindow.h"

#include "app/AppData.h"

using NApp::LayoutBox;
using TOVK_Utils::String;

void MainWindow::createChildren() {
    AppData& d = checkedAppData(data);
    addLabel(listCaption, String("Mailboxes:"));
    listCaption.setStyle({.bold = true, .underline = true}, NApp::Static2::Relayout::No);
    addLabel(listNote, String(""));
    taskList.data = &d;
    addPanel(taskList);
    addLink(homePageLink, String(NApp::KlovinwareHyperlink::address), NApp::Border::None);
    addButton(selectAllButton, String("Select All"));
    addButton(selectNoneButton, String("Select None"));
    addButton(aboutButton, String("?"));
    addReport(mailboxList, 0, 0, LVS_EX_CHECKBOXES, NApp::RowClick::Selects);
    mailboxList.appendColumn(String("Mailbox Name"), 450);
    mailboxList.appendColumn(String("Size (KB)"), 100);

    layout.setSpacing(5);
    layout.setDirection(LayoutBox::Right);
    LayoutBox* left = layout.addColumnUp(5, 0, -100);
    LayoutBox* bottomLeft = left->addRow(5, 0, 0);
    bottomLeft->addWindow(&homePageLink, 5, 0, 0);
    bottomLeft->addWindow(&aboutButton, 5, 0, 0);
    left->addWindow(&taskList, 5, 0, -100);
    LayoutBox* right = layout.addColumn(5, -100, -100);
    right->addWindow(&listCaption, 4, 0, 0);
    right->addWindow(&listNote, 4, -100, 0);
    LayoutBox* listPart = right->addColumnUp(5, -100, -100);
    LayoutBox* buttons = listPart->addRow(4, -100, 0);
    buttons->addWindow(&selectAllButton, 5, 0, 0);
    buttons->addWindow(&selectNoneButton, 5, 0, 0);
    listPart->addWindow(&mailboxList, 5, -100, -100);

    taskList.addTask(String("Show Mailboxes"), MainTaskList::ShowMailboxes);
    taskList.addTask(String("Browse for Outlook Mailboxes"), MainTaskList::BrowseOutlookMailboxes);
    namedClient_ = d.client;
    emlBrowseTask_ = taskList.addTask(emlBrowseText(), MainTaskList::BrowseWindowsMailEmails);
    taskList.addTask(String("Extract Attachments"), MainTaskList::ExtractAttachments);
    String run;
    TOVK_Utils::format(run, "Run %s", String(mailClientName(d.client)));
    runTask_ = taskList.addTask(run, MainTaskList::runCommandOf(d.client));
}

String MainWindow::emlBrowseText() const {
    const MailClient named = keepsEmlFolders(namedClient_) ? namedClient_ : MailClient::WindowsMail;
    String text;
    TOVK_Utils::format(text, "Browse for %s Emails", String(mailClientName(named)));
    return text;
}

void MainWindow::nameClient(MailClient client) {
    namedClient_ = client;
    if (!emlBrowseTask_ || !runTask_)
        return; // not created yet: createChildren names it
    emlBrowseTask_->setText(emlBrowseText());
    String run;
    TOVK_Utils::format(run, "Run %s", String(mailClientName(client)));
    runTask_->setText(run);
    runTask_->value = MainTaskList::runCommandOf(client);
    if (!handle)
        return;
    taskList.layoutChildren();
    layoutChildren();
}

void MainWindow::setListNote(const String& text) {
    listNote.setText(text);
    if (handle)
        layoutChildren();
}

bool MainWindow::canClose() {
    AppData& d = checkedAppData(data);
    return !d.extractionWindow.handle && !d.progressWindow.handle;
}

void MainWindow::childClicked(HWND child) {
    if (child == selectAllButton.handle) {
        mailboxList.setAllChecked(true);
    } else if (child == selectNoneButton.handle) {
        mailboxList.setAllChecked(false);
    } else if (child == aboutButton.handle) {
        AppData& d = checkedAppData(data);
        String nameAndVersion;
        d.titleText(nameAndVersion);
        aboutWindow.showModal(*this, d.displayName, nameAndVersion);
    }
}
