// WindowClassRegistry: the window classes of the framework, registered on first use and
// unregistered at process exit, and the one-time loading of the common controls and of
// the rich edit library.
#pragma once

#include "Colour.h"

#include "utils/CriticalObject.h"

#include <windows.h>

namespace NApp {

class WindowClassRegistry {
public:
    static WindowClassRegistry& instance();

    // Registers a class into the slot, replacing the class it held. Cursor: null → the
    // arrow, (HCURSOR)-1 → none. Procedure null → the framework's window procedure.
    // Background null → the button-face system colour.
    void registerClass(ATOM& slot, HICON icon, HICON smallIcon, HCURSOR cursor, WNDPROC procedure,
                       HBRUSH background);
    static void unregisterClass(ATOM& slot);

    ATOM frameworkClass();
    ATOM panelClass();
    ATOM linkClass();
    void initCommonControls();
    const char* richEditClass();

    HCURSOR arrowCursor();
    bool controlsInitialised() const { return controlsInitialised_; }
    HMODULE richEditLibrary() const { return richEditLibrary_; }

    ~WindowClassRegistry();

private:
    WindowClassRegistry() = default;

    // A question box may be the first window of the worker thread: the lazily made
    // classes and libraries are made under this lock.
    TOVK_Utils::CriticalObject lock_;
    Colour panelBackground_;
    ATOM framework_ = 0;
    ATOM spare_[3] = {};
    ATOM link_ = 0;
    ATOM panel_ = 0;
    HCURSOR arrow_ = nullptr;
    bool controlsInitialised_ = false;
    HMODULE richEditLibrary_ = nullptr;
};

} // namespace NApp
