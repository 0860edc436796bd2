// AppData: everything that lives for the whole run of the desktop program: the settings,
// the default font, the icons, the main window and the extraction job with its two
// windows. Every window reaches the others, the settings and the flags through it.
#pragma once

#include "app/AppSettings.h"
#include "app/DesktopView.h"
#include "app/ExtractionWindow1.h"
#include "app/MainWindow.h"
#include "app/ProgressWindow.h"
#include "engine/ExtractThread.h"
#include "engine/MailStores.h"
#include "napp/Font.h"
#include "napp/IconSet.h"

class MyApp;
class AppData;

// How the windows reach the application's data: they are given it before they are
// created, and a window without it is a broken invariant.
AppData& checkedAppData(AppData* data);

class AppData {
public:
    AppData();
    // The job's body has returned by then, or is returning: the progress window, modal
    // over the main window, closes only after the job is over.
    ~AppData();

    // The extract command: the options window when some row is ticked, an error otherwise.
    void extractAll();

    // Looks for every store this user has (at start and for "Show Mailboxes"), takes the
    // client served from what was found, and lists that client's store; with no store
    // the list's note says how to choose a folder instead.
    void findAndShowStores();
    // The two halves: the look-up, before the main window exists at start, and the listing.
    void findStores();
    void showServedStore();
    // Fill the main window's list and remember what it now holds.
    void showDbxMailboxes(const TOVK_Utils::Block& folder);
    void showEmlFolders(const TOVK_Utils::Block& folder);
    // A folder the user chose: listed, and named in the list's note.
    enum class FolderHolds { Mailboxes, EmlFolders };
    void showChosenFolder(const TOVK_Utils::Block& folder, FolderHolds holds);

    // The main window's title and the About window's first line: "%s v%s", in the width
    // that title already has.
    void titleText(TOVK_Utils::String& title) const;

    MyApp* application = nullptr;
    AppSettings settings;
    NApp::Font defaultFont;
    NApp::IconSet largeIcon;
    NApp::IconSet smallIcon;
    MainWindow mainWindow;
    ExtractThread job;
    ProgressWindow progressWindow;
    ExtractionWindow1 extractionWindow;
    DesktopView view;
    // The Windows major version, read once at start; it points to the client served
    // when that client's store exists.
    uint32_t systemVersion = 0;
    MailStores stores;
    MailClient client = MailClient::OutlookExpress;
    bool listShowsEmlFolders = false;
    TOVK_Utils::String displayName;
    TOVK_Utils::String versionText;
    // Whether the job's thread was ever started, so that the next start and the end of
    // the run wait for its body to have returned.
    bool jobStarted = false;
};
