#include "LayoutBox.h"

#include <algorithm>

namespace NApp {

namespace {

struct Rect {
    int32_t x, y, width, height;
};

// Negative sizes become 0, then the rectangle is cut so that it lies inside the bound.
Rect clipTo(Rect r, const Rect& bound) {
    r.width = std::max(r.width, 0);
    r.height = std::max(r.height, 0);
    int64_t right = std::min<int64_t>(int64_t(r.x) + r.width, int64_t(bound.x) + bound.width);
    int64_t bottom = std::min<int64_t>(int64_t(r.y) + r.height, int64_t(bound.y) + bound.height);
    r.x = std::max(r.x, bound.x);
    r.y = std::max(r.y, bound.y);
    r.width = static_cast<int32_t>(std::max<int64_t>(right - r.x, 0));
    r.height = static_cast<int32_t>(std::max<int64_t>(bottom - r.y, 0));
    return r;
}

// A negative fixed size is a percentage of what is left at the moment the slice is cut.
int32_t sliceSize(int32_t fixed, int32_t measured, int32_t available) {
    if (fixed < 0)
        return static_cast<int32_t>(int64_t(fixed) * available / -100);
    return measured;
}

} // namespace

LayoutBox* LayoutBox::append(int32_t childAlignment, int32_t childFixedWidth,
                             int32_t childFixedHeight) {
    auto box = std::make_unique<LayoutBox>();
    box->parent = this;
    box->alignment = childAlignment;
    box->spacing = spacing; // copied now: a later change of this box does not reach it
    box->setFixedSize(childFixedWidth, childFixedHeight);
    children.push_back(std::move(box));
    return children.back().get();
}

LayoutBox* LayoutBox::addBox(int32_t childDirection, int32_t childAlignment,
                             int32_t childFixedWidth, int32_t childFixedHeight) {
    LayoutBox* box = append(childAlignment, childFixedWidth, childFixedHeight);
    box->direction = childDirection;
    return box;
}

LayoutBox* LayoutBox::addWindow(LayoutItem* item, int32_t childAlignment, int32_t childFixedWidth,
                                int32_t childFixedHeight) {
    LayoutBox* box = append(childAlignment, childFixedWidth, childFixedHeight);
    box->window = item;
    return box;
}

void LayoutBox::anchor(int32_t alignment, int32_t width, int32_t height, int32_t& x, int32_t& y) {
    x = 0;
    y = 0;
    if (alignment < 1 || alignment > 9)
        return;
    int column = (alignment - 1) % 3; // 0 left, 1 centre, 2 right
    int row = (alignment - 1) / 3;    // 0 bottom, 1 middle, 2 top
    if (column == 1)
        x = width / 2;
    else if (column == 2)
        x = width - 1;
    if (row == 1)
        y = height / 2;
    else if (row == 0)
        y = height - 1;
}

void LayoutBox::measureBox() {
    int32_t naturalWidth = 0;
    int32_t naturalHeight = 0;
    if (!children.empty()) {
        int32_t along = 0;
        int32_t across = 0;
        bool vertical = direction == Down || direction == Up;
        bool horizontal = direction == Left || direction == Right;
        for (auto& child : children) {
            child->measureBox();
            int32_t childAlong = vertical ? child->measuredHeight : child->measuredWidth;
            int32_t childAcross = vertical ? child->measuredWidth : child->measuredHeight;
            along += childAlong;
            across = std::max(across, childAcross);
        }
        along += (childCount() - 1) * spacing;
        if (vertical) {
            naturalWidth = across;
            naturalHeight = along;
        } else if (horizontal) {
            naturalWidth = along;
            naturalHeight = across;
        }
    } else if (window) {
        int32_t w = 0, h = 0;
        window->preferredSize(w, h);
        naturalWidth = fixedWidth != 0 ? 0 : w;
        naturalHeight = fixedHeight != 0 ? 0 : h;
    }
    measuredWidth = fixedWidth != 0 ? fixedWidth : naturalWidth;
    measuredHeight = fixedHeight != 0 ? fixedHeight : naturalHeight;
}

void LayoutBox::arrange(int32_t x, int32_t y, int32_t width, int32_t height) {
    const Rect r{x, y, width, height};
    int32_t ownWidth = fixedWidth < 0 ? width : measuredWidth;
    int32_t ownHeight = fixedHeight < 0 ? height : measuredHeight;
    int32_t outerX, outerY, innerX, innerY;
    anchor(alignment, width, height, outerX, outerY);
    anchor(alignment, ownWidth, ownHeight, innerX, innerY);
    const Rect b = clipTo({x + outerX - innerX, y + outerY - innerY, ownWidth, ownHeight}, r);

    if (window)
        window->place(b.x, b.y, b.width, b.height);

    Rect a = b;
    Rect slice{0, 0, 0, 0};
    for (auto& child : children) {
        switch (direction) {
        case Down:
        case Up: {
            int32_t h = sliceSize(child->fixedHeight, child->measuredHeight, a.height);
            child->measuredHeight = h;
            slice = {a.x, direction == Down ? a.y : a.y + a.height - h, a.width, h};
            if (direction == Down)
                a.y += spacing + h;
            a.height -= spacing + h;
            break;
        }
        case Right:
        case Left: {
            int32_t w = sliceSize(child->fixedWidth, child->measuredWidth, a.width);
            child->measuredWidth = w;
            slice = {direction == Right ? a.x : a.x + a.width - w, a.y, w, a.height};
            if (direction == Right)
                a.x += spacing + w;
            a.width -= spacing + w;
            break;
        }
        default:
            break; // no direction: every child gets the previous slice
        }
        Rect s = clipTo(slice, r);
        child->arrange(s.x, s.y, s.width, s.height);
    }
}

} // namespace NApp
