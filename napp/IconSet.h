// IconSet: one icon of the program's resources at its own size and at the two sizes the
// shell shows.
#pragma once

#include <windows.h>

namespace NApp {

class IconSet {
public:
    IconSet() = default;
    explicit IconSet(int resourceId) { load(resourceId); }
    ~IconSet() { release(); }
    IconSet(const IconSet&) = delete;
    IconSet& operator=(const IconSet&) = delete;

    void load(int resourceId);
    void release();

    HICON icon = nullptr;      // the resource's own size
    HICON smallIcon = nullptr; // 16 by 16
    HICON largeIcon = nullptr; // 32 by 32
};

} // namespace NApp
