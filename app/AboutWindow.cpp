#include "app/AboutWindow.h"

#include "napp/App.h"

using NApp::LayoutBox;
using TOVK_Utils::String;

void AboutWindow::showModal(NApp::Window& owner, const String& displayName,
                            const String& nameAndVersion) {
    nameAndVersion_ = nameAndVersion;
    String title;
    TOVK_Utils::format(title, "About %s", displayName);
    if (!owner.createWindow(*this, title, nullptr, nullptr, {.modal = true}))
        return;
    centreOn(owner);
    show();
    NApp::App::runMessageLoop(); // ended by onDestroy
}

void AboutWindow::createChildren() {
    addLabel(nameLabel, nameAndVersion_);
    nameLabel.setStyle({.bold = true}, NApp::Static2::Relayout::No);
    String link;
    TOVK_Utils::format(link, "%s homepage", String("Klovinware"));
    addLink(homePageLink, link, NApp::Border::None);
    addButton(okButton, String("Ok"));
    layout.setSpacing(10);
    layout.setDirection(LayoutBox::Down);
    layout.addWindow(&nameLabel, 5, 0, 0);
    layout.addWindow(&homePageLink, 5, 0, 0);
    layout.addWindow(&okButton, 5, 0, 0);
    fitToContent();
}

void AboutWindow::childClicked(HWND child) {
    if (child == okButton.handle)
        destroy();
}

void AboutWindow::onDestroy() {
    NApp::App::endMessageLoop();
}
