// MyApp: the desktop program. Its run is the whole life of the program: settings in,
// the main window with its list, the message loop, settings out.
#pragma once

#include "app/AppData.h"
#include "napp/App.h"

class MyApp : public NApp::App {
public:
    int run() override;

    // The Windows major version points to the mail client the program serves when that
    // client's store exists: 6 is Windows Mail (Vista), anything else Outlook Express.
    static bool isWindowsMailVersion(DWORD majorVersion) {
        return versionClient(majorVersion) == MailClient::WindowsMail;
    }

    AppData data;
};
