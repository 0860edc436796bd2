// Helpers for the window tests: pumping the thread's messages with a safety limit, and
// a window that records which of its hooks ran.
#pragma once

#include "napp/App.h"
#include "napp/Window.h"

#include <windows.h>

#include <functional>
#include <string>

namespace NappTest {

// Dispatches whatever is waiting; true when WM_QUIT was among it.
inline bool pumpPending() {
    MSG message;
    bool quit = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            quit = true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quit;
}

// Pumps until the condition holds; gives up after a generous limit so that a fault
// fails the test instead of hanging it.
inline bool pumpUntil(const std::function<bool()>& condition, DWORD limitMs = 15000) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > limitMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pumpPending();
    }
    return true;
}

inline std::string nativeText(HWND handle) {
    char buffer[512] = {};
    GetWindowTextA(handle, buffer, sizeof buffer);
    return buffer;
}

inline std::string textOf(const TOVK_Utils::Block& block) {
    TOVK_Utils::String narrow;
    narrow.toNarrow(block);
    return narrow.c_str();
}

// A framework window counting its hooks.
class Recorder : public NApp::Window {
public:
    bool canClose() override { return allowClose; }
    void onClick() override { ++clicks; }
    void onRightClick() override { ++rightClicks; }
    void onMouseEnter() override { ++enters; }
    void onMouseLeave() override { ++leaves; }
    bool onPaint() override {
        ++paints;
        return true;
    }
    bool onMinimize() override {
        ++minimized;
        return true;
    }
    void onSized() override { ++sized; }
    void onDestroy() override { ++destroyed; }
    void onCommand(WPARAM) override { ++commands; }
    void createChildren() override { ++created; }
    LRESULT onUserMessage(int32_t index, WPARAM, LPARAM) override {
        lastUserIndex = index;
        ++userMessages;
        return 1000 + index;
    }
    void onAppMessage(LPARAM value) override { lastAppValue = value; }
    void childClicked(HWND child) override {
        ++childClicks;
        lastChild = child;
    }
    void listItemChecked(HWND, int32_t item, LPARAM) override {
        ++checkedNotices;
        lastItem = item;
    }
    void listItemUnchecked(HWND, int32_t item, LPARAM) override {
        ++uncheckedNotices;
        lastItem = item;
    }
    void listItemSelected(HWND, int32_t, LPARAM) override { ++selectedNotices; }

    bool allowClose = true;
    int clicks = 0, rightClicks = 0, enters = 0, leaves = 0, paints = 0, minimized = 0;
    int sized = 0, destroyed = 0, commands = 0, created = 0, userMessages = 0;
    int childClicks = 0, checkedNotices = 0, uncheckedNotices = 0, selectedNotices = 0;
    int32_t lastUserIndex = -1, lastItem = -1;
    LPARAM lastAppValue = 0;
    HWND lastChild = nullptr;
};

class TestApp : public NApp::App {
public:
    int run() override { return 0; }
};

// A secondary window with no owner: the simplest real top-level window for a test. It
// gets a size before it is shown (the display will not map an empty window). Hidden by
// default: on a display without a window manager, destroying a shown window waits.
inline bool makeWindow(NApp::ChildManager& manager, NApp::Window& window, const char* title,
                       bool show = false) {
    if (!manager.createWindow(window, TOVK_Utils::String(title), nullptr, nullptr,
                              {.resizable = true}))
        return false;
    window.resize(320, 240);
    if (show)
        window.show();
    return true;
}

} // namespace NappTest
