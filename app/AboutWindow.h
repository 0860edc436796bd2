// AboutWindow: the program's name and version and a link to the maker's home page,
// modal over the main window until it is closed.
#pragma once

#include "napp/Button.h"
#include "napp/Hyperlink.h"
#include "napp/Static2.h"
#include "napp/Window.h"

class AboutWindow : public NApp::Window {
public:
    // nameAndVersion is the main window's title; returns when the window has been closed.
    void showModal(NApp::Window& owner, const TOVK_Utils::String& displayName,
                   const TOVK_Utils::String& nameAndVersion);

    void createChildren() override;
    void childClicked(HWND child) override;
    void onDestroy() override;

    NApp::Static2 nameLabel;
    NApp::KlovinwareHyperlink homePageLink;
    NApp::Button okButton;

private:
    TOVK_Utils::String nameAndVersion_;
};
