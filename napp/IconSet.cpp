#include "IconSet.h"

namespace NApp {

namespace {
HICON loadIcon(int id, int size) {
    return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id),
                                         IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}
} // namespace

void IconSet::load(int resourceId) {
    release();
    icon = loadIcon(resourceId, 0);
    smallIcon = loadIcon(resourceId, 16);
    largeIcon = loadIcon(resourceId, 32);
}

void IconSet::release() {
    // The shared first icon is the one the windows hold; the sized copies go with the
    // module.
    if (icon)
        DestroyIcon(icon);
    icon = smallIcon = largeIcon = nullptr;
}

} // namespace NApp
