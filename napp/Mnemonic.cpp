#include "Mnemonic.h"

#include "Button.h"
#include "CheckBox.h"
#include "Static2.h"
#include "Window.h"

namespace NApp {

namespace {

char lowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// The control's own state, as the dialog manager judges it: a window not yet shown
// still takes its keys.
bool reachable(const Window& w) {
    return w.handle && w.enabled && (GetWindowLongPtrA(w.handle, GWL_STYLE) & WS_VISIBLE);
}

// What the mnemonic of one child does; false when it does nothing.
bool act(Window& child) {
    if (auto* label = dynamic_cast<Static2*>(&child)) {
        if (!label->labelFor || !reachable(*label->labelFor))
            return false;
        label->labelFor->focus();
        return true;
    }
    if (!dynamic_cast<CheckBox*>(&child) && !dynamic_cast<Button*>(&child))
        return false;
    child.focus();
    // The click reaches the listener through the parent's command message, so the box
    // ticks and its dependants follow exactly as for the mouse.
    child.send(BM_CLICK, 0, 0);
    return true;
}

} // namespace

char mnemonicOf(const char* text) {
    for (const char* c = text; c && *c; ++c) {
        if (*c != '&')
            continue;
        if (c[1] == '&') {
            ++c;
            continue;
        }
        return lowerCase(c[1]);
    }
    return 0;
}

bool activateMnemonic(Window& top, WPARAM character) {
    if (character == 0 || character > 0x7F)
        return false;
    const char wanted = lowerCase(static_cast<char>(character));
    for (int32_t i = 0; i < top.childCount(); ++i) {
        Window* child = top.child(i);
        if (!child || child->text.isWide() || !reachable(*child))
            continue;
        if (mnemonicOf(child->text.c_str()) == wanted && act(*child))
            return true;
    }
    return false;
}

} // namespace NApp
