// TabRing: the controls that Tab and Shift+Tab cycle through inside one window.
#pragma once

#include <cstdint>
#include <vector>

namespace NApp {

class Window;

class TabRing {
public:
    void add(Window* window) { windows_.push_back(window); }
    void clear() {
        windows_.clear();
        current_ = -1;
    }
    // Each walks from its starting node, wrapping, to the next enabled window, makes it
    // current and focuses it. With none enabled nothing is current afterwards. The
    // starting node is the window of the ring that holds the focus, when one does: a
    // click may have moved the focus since the last walk.
    void focusNext();
    void focusPrevious();
    void focusCurrent();

    int32_t count() const { return static_cast<int32_t>(windows_.size()); }
    Window* current() const { return current_ < 0 ? nullptr : windows_[current_]; }

private:
    void walk(int32_t start, int32_t step);
    void followFocus();

    std::vector<Window*> windows_;
    int32_t current_ = -1;
};

} // namespace NApp
