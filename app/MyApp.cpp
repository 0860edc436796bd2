#include "app/MyApp.h"

#include "app/StoreDiscovery.h"

using TOVK_Utils::String;

int MyApp::run() {
    data.application = this;
    data.defaultFont.set("Verdana", 8);
    setDefaultFont(&data.defaultFont);
    data.largeIcon.load(131);
    data.smallIcon.load(138);
    data.settings.load();
    data.displayName = String(TOVK_DISPLAY_NAME);
    data.versionText = String(TOVK_VERSION);

    data.systemVersion = systemMajorVersion();
    data.findStores();

    String title;
    data.titleText(title);
    MainWindow& main = data.mainWindow;
    if (!createMainWindow(main, title, data.largeIcon.icon, data.smallIcon.icon,
                          {.resizable = true}))
        return 1;
    const WindowRect& rect = data.settings.mainWindowRect;
    main.setPosition(rect.x, rect.y, rect.width, rect.height, SWP_NOZORDER | SWP_NOACTIVATE,
                     nullptr);
    main.centreOnScreen();
    data.showServedStore();
    main.show();
    runMessageLoop();
    data.settings.save();
    return 0;
}
