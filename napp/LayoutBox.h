// LayoutBox: a tree of boxes that stacks windows in one direction with a fixed gap, so
// that no window of the program places its controls by fixed coordinates. Portable
// arithmetic: what a leaf places is reached through LayoutItem.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace NApp {

// What a leaf box places: a window in the framework, a fake in tests.
class LayoutItem {
public:
    virtual ~LayoutItem() = default;
    virtual void preferredSize(int32_t& width, int32_t& height) = 0;
    virtual void place(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
};

class LayoutBox {
public:
    // Keypad directions: how the children are stacked.
    enum Direction : int32_t { None = 0, Down = 2, Left = 4, Right = 6, Up = 8 };

    LayoutBox() = default;
    LayoutBox(const LayoutBox&) = delete;
    LayoutBox& operator=(const LayoutBox&) = delete;

    void setDirection(int32_t value) { direction = value; }
    void setSpacing(int32_t value) { spacing = value; }
    // 0 uses the measured size, a positive value is pixels, a negative one a percentage of
    // the space available (-100 all of it).
    void setFixedSize(int32_t width, int32_t height) {
        fixedWidth = width;
        fixedHeight = height;
    }
    void clearFixedSize() { setFixedSize(0, 0); }

    LayoutBox* addBox(int32_t direction, int32_t alignment, int32_t fixedWidth,
                      int32_t fixedHeight);
    LayoutBox* addColumn(int32_t alignment = 7, int32_t fixedWidth = 0, int32_t fixedHeight = 0) {
        return addBox(Down, alignment, fixedWidth, fixedHeight);
    }
    LayoutBox* addColumnUp(int32_t alignment = 7, int32_t fixedWidth = 0, int32_t fixedHeight = 0) {
        return addBox(Up, alignment, fixedWidth, fixedHeight);
    }
    LayoutBox* addRow(int32_t alignment = 7, int32_t fixedWidth = 0, int32_t fixedHeight = 0) {
        return addBox(Right, alignment, fixedWidth, fixedHeight);
    }
    LayoutBox* addRowLeft(int32_t alignment = 7, int32_t fixedWidth = 0, int32_t fixedHeight = 0) {
        return addBox(Left, alignment, fixedWidth, fixedHeight);
    }
    LayoutBox* addWindow(LayoutItem* window, int32_t alignment = 7, int32_t fixedWidth = 0,
                         int32_t fixedHeight = 0);
    void clearChildren() { children.clear(); }

    void measureBox();
    void arrange(int32_t x, int32_t y, int32_t width, int32_t height);

    // A point inside a rectangle of that size, as on a numeric keypad.
    static void anchor(int32_t alignment, int32_t width, int32_t height, int32_t& x, int32_t& y);

    int32_t childCount() const { return static_cast<int32_t>(children.size()); }
    LayoutBox* child(int32_t i) const { return children[i].get(); }

    LayoutBox* parent = nullptr;
    std::vector<std::unique_ptr<LayoutBox>> children;
    LayoutItem* window = nullptr;
    int32_t direction = None;
    int32_t alignment = 7;
    int32_t spacing = 0;
    int32_t measuredWidth = 0;
    int32_t measuredHeight = 0;
    int32_t fixedWidth = 0;
    int32_t fixedHeight = 0;

private:
    LayoutBox* append(int32_t alignment, int32_t fixedWidth, int32_t fixedHeight);
};

} // namespace NApp
