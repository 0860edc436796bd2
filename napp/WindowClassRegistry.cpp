#include "WindowClassRegistry.h"

#include "utils/win32/WideCallTable.h"

#include "Window.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>

namespace NApp {

namespace {
// Class names only have to be unique within the process; a question box may register
// its class on the worker thread.
std::atomic<int> classNumber{0};
} // namespace

WindowClassRegistry& WindowClassRegistry::instance() {
    static WindowClassRegistry registry;
    return registry;
}

WindowClassRegistry::~WindowClassRegistry() {
    unregisterClass(panel_);
    unregisterClass(link_);
    for (int i = 2; i >= 0; --i)
        unregisterClass(spare_[i]);
    unregisterClass(framework_);
}

HCURSOR WindowClassRegistry::arrowCursor() {
    // Loading the shared cursor twice gives the same handle: no lock needed.
    if (!arrow_)
        arrow_ = LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F00));
    return arrow_;
}

void WindowClassRegistry::registerClass(ATOM& slot, HICON icon, HICON smallIcon, HCURSOR cursor,
                                        WNDPROC procedure, HBRUSH background) {
    unregisterClass(slot);
    char name[32];
    snprintf(name, sizeof name, "NApp%d", ++classNumber);
    WNDCLASSEXA record = {};
    record.cbSize = sizeof record;
    record.lpfnWndProc = procedure ? procedure : Window::windowProcedure;
    record.hInstance = GetModuleHandleA(nullptr);
    record.hIcon = icon;
    if (!cursor)
        record.hCursor = arrowCursor();
    else if (cursor != reinterpret_cast<HCURSOR>(-1))
        record.hCursor = cursor;
    record.hbrBackground = background ? background : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    record.lpszClassName = name;
    record.hIconSm = smallIcon;
    slot = RegisterClassExA(&record);
}

void WindowClassRegistry::unregisterClass(ATOM& slot) {
    if (!slot)
        return;
    UnregisterClassA(MAKEINTATOM(slot), GetModuleHandleA(nullptr));
    GetLastError(); // a class still in use stays registered; nothing to do about it
    slot = 0;
}

namespace {
struct Held {
    explicit Held(TOVK_Utils::CriticalObject& lock) : lock(lock) { lock.lock(); }
    ~Held() { lock.unlock(); }
    TOVK_Utils::CriticalObject& lock;
};
} // namespace

ATOM WindowClassRegistry::frameworkClass() {
    Held held(lock_);
    if (!framework_)
        registerClass(framework_, nullptr, nullptr, nullptr, nullptr, nullptr);
    return framework_;
}

ATOM WindowClassRegistry::panelClass() {
    Held held(lock_);
    if (!panel_) {
        panelBackground_.set(0xFFFFFF);
        registerClass(panel_, nullptr, nullptr, nullptr, nullptr, panelBackground_.brush());
    }
    return panel_;
}

ATOM WindowClassRegistry::linkClass() {
    Held held(lock_);
    if (!link_)
        registerClass(link_, nullptr, nullptr, LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F89)),
                      nullptr, nullptr);
    return link_;
}

void WindowClassRegistry::initCommonControls() {
    Held held(lock_);
    if (controlsInitialised_)
        return;
    INITCOMMONCONTROLSEX init = {sizeof init, 0xFF};
    InitCommonControlsEx(&init);
    controlsInitialised_ = true;
}

const char* WindowClassRegistry::richEditClass() {
    {
        Held held(lock_);
        if (!richEditLibrary_)
            richEditLibrary_ = LoadLibraryA("Riched20.dll");
    }
    initCommonControls();
    // The wide class where controls are Unicode windows (ChildManager::addChild).
    return TOVK_Utils::WideCallTable::instance().isWideCapable() ? "RichEdit20W" : "RichEdit20A";
}

} // namespace NApp
