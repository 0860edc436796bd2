#include "App.h"

#include "Window.h"

namespace NApp {

namespace {
App* currentApp = nullptr;
} // namespace

App::App() {
    topLevel.application = this;
    currentApp = this;
}

App::~App() {
    if (currentApp == this)
        currentApp = nullptr;
}

App* App::current() {
    return currentApp;
}

bool App::createMainWindow(Window& window, const TOVK_Utils::String& title, HICON icon,
                           HICON smallIcon, WindowOptions options) {
    options.topLevel = true;
    options.modal = false;
    return topLevel.createWindow(window, title, icon, smallIcon, options);
}

int App::runMessageLoop() {
    MSG message;
    for (;;) {
        BOOL result = GetMessageA(&message, nullptr, 0, 0);
        // -1 is an error of the call itself; retrying would spin.
        if (result == 0 || result == -1)
            return result;
        if (message.message == MessageEndLoop && message.hwnd == nullptr)
            return result;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void App::endMessageLoop() {
    PostThreadMessageA(GetCurrentThreadId(), MessageEndLoop, 0, 0);
}

} // namespace NApp
