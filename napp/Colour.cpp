#include "Colour.h"

namespace NApp {

void Colour::releaseBrush() {
    if (brush_ && !systemBrush_)
        DeleteObject(brush_);
    brush_ = nullptr;
    systemBrush_ = false;
}

void Colour::set(COLORREF value) {
    releaseBrush();
    value_ = value;
}

void Colour::setSystem(int index) {
    releaseBrush();
    value_ = GetSysColor(index);
    brush_ = GetSysColorBrush(index);
    systemBrush_ = true;
}

HBRUSH Colour::brush() {
    if (!brush_)
        brush_ = CreateSolidBrush(value_);
    return brush_;
}

} // namespace NApp
