#include "Button.h"

#include "CheckBox.h"
#include "Edit.h"
#include "Font.h"

namespace NApp {

namespace {

void textSize(Window& window, int32_t& w, int32_t& h) {
    if (window.font)
        window.font->textExtent(window.text, 0, w, h);
    else
        Font::measureText(nullptr, window.text, w, h);
}

// Handle first: the listener may destroy the control while it hears of the click.
void reportClick(Window& control, WPARAM first, void (*own)(Window&)) {
    if (HIWORD(first) != BN_CLICKED)
        return;
    HWND handle = control.handle;
    Window* listener = control.listenerWindow;
    own(control);
    if (listener)
        listener->childClicked(handle);
}

} // namespace

void Button::onCommand(WPARAM first) {
    reportClick(*this, first, [](Window& w) { static_cast<Button&>(w).onClicked(); });
}

void Button::measure() {
    int32_t w = 0, h = 0;
    textSize(*this, w, h);
    preferredWidth = w + GetSystemMetrics(SM_CXEDGE) + 12;
    preferredHeight = h + GetSystemMetrics(SM_CYEDGE) + 14;
}

void CheckBox::onCommand(WPARAM first) {
    reportClick(*this, first, [](Window& w) { static_cast<CheckBox&>(w).onClicked(); });
}

void CheckBox::measure() {
    int32_t w = 0, h = 0;
    textSize(*this, w, h);
    preferredWidth = w + 18;
    preferredHeight = font ? font->lineHeight() : h + 2;
}

void CheckBox::setPosition(int32_t newX, int32_t newY, int32_t newWidth, int32_t newHeight,
                           UINT flags, HWND insertAfter) {
    Window::setPosition(newX, newY, newWidth - 1, newHeight, flags, insertAfter);
}

void Edit::measure() {
    int32_t w = 0, h = 0;
    Font::measureText(font ? font->plain() : nullptr, TOVK_Utils::String(" "), w, h);
    RECT f = frame();
    preferredWidth = 0;
    preferredHeight = h + f.bottom - f.top;
}

} // namespace NApp
