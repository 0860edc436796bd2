// App: what the window framework keeps once per process: the manager of the top-level
// windows and the message loop of the user interface thread.
#pragma once

#include "ChildManager.h"

namespace NApp {

class Font;
class Window;

class App {
public:
    App();
    virtual ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The derived application builds its windows and runs the loop.
    virtual int run() = 0;

    void setDefaultFont(Font* font) { topLevel.childFont = font; }
    // A top-level window, never modal, whatever options says of those two.
    bool createMainWindow(Window& window, const TOVK_Utils::String& title, HICON icon,
                          HICON smallIcon, WindowOptions options = {});

    // Runs until WM_QUIT (returns 0) or until the thread's end-loop message (non-zero);
    // loops nest, and the end message ends only the innermost.
    static int runMessageLoop();
    static void endMessageLoop();

    // The application object of the process, null while there is none.
    static App* current();

    ChildManager topLevel;
};

} // namespace NApp
