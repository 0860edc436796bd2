#include "TabRing.h"

#include "Window.h"

namespace NApp {

void TabRing::walk(int32_t start, int32_t step) {
    int32_t n = count();
    if (n == 0)
        return;
    int32_t i = ((start % n) + n) % n;
    for (int32_t tried = 0; tried < n; ++tried, i = ((i + step) % n + n) % n) {
        if (windows_[i]->enabled) {
            current_ = i;
            SetFocus(windows_[i]->handle);
            return;
        }
    }
    current_ = -1;
}

void TabRing::followFocus() {
    HWND focused = GetFocus();
    for (int32_t i = 0; focused && i < count(); ++i) {
        if (windows_[i]->handle == focused) {
            current_ = i;
            return;
        }
    }
}

void TabRing::focusNext() {
    followFocus();
    walk(current_ < 0 ? 0 : current_ + 1, 1);
}

void TabRing::focusPrevious() {
    followFocus();
    walk(current_ < 0 ? count() - 1 : current_ - 1, -1);
}

void TabRing::focusCurrent() {
    walk(current_ < 0 ? 0 : current_, 1);
}

} // namespace NApp
