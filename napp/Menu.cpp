#include "Menu.h"

#include "Window.h"

namespace NApp {

Menu::~Menu() {
    if (menu)
        DestroyMenu(menu);
}

void Menu::replace(HMENU made, CheckMarks checks, Loop loop) {
    if (menu)
        DestroyMenu(menu);
    menu = made;
    MENUINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = MIM_STYLE | MIM_MENUDATA;
    info.dwStyle = MNS_NOTIFYBYPOS | (loop == Loop::Modeless ? MNS_MODELESS : 0) |
                   (checks == CheckMarks::Allowed ? 0 : MNS_NOCHECK);
    info.dwMenuData = reinterpret_cast<ULONG_PTR>(this);
    SetMenuInfo(menu, &info);
    fill();
}

void Menu::create(CheckMarks checks, Loop loop) {
    replace(CreateMenu(), checks, loop);
}

void Menu::createPopup(CheckMarks checks, Loop loop) {
    replace(CreatePopupMenu(), checks, loop);
}

void Menu::addItem(const char* text, int32_t position) {
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING | MIIM_DATA | MIIM_FTYPE;
    item.fType = MFT_STRING;
    item.dwTypeData = const_cast<char*>(text);
    InsertMenuItemA(menu, static_cast<UINT>(position), TRUE, &item);
}

void Menu::addSeparator(int32_t position) {
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE;
    item.fType = MFT_SEPARATOR;
    InsertMenuItemA(menu, static_cast<UINT>(position), TRUE, &item);
}

void Menu::showAt(Window& window, UINT flags) {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    TrackPopupMenuEx(menu, flags, cursor.x, cursor.y, window.handle, nullptr);
}

} // namespace NApp
