#include "Menu.h"

#include "Window.h"

namespace NApp {

Menu::~Menu() {
    if (menu)
        DestroyMenu(menu);
}

void Menu::replace(HMENU made, bool checks, bool modeless) {
    if (menu)
        DestroyMenu(menu);
    menu = made;
    MENUINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = MIM_STYLE | MIM_MENUDATA;
    info.dwStyle = MNS_NOTIFYBYPOS | (modeless ? MNS_MODELESS : 0) | (checks ? 0 : MNS_NOCHECK);
    info.dwMenuData = reinterpret_cast<ULONG_PTR>(this);
    SetMenuInfo(menu, &info);
    fill();
}

void Menu::create(bool checks, bool modeless) {
    replace(CreateMenu(), checks, modeless);
}

void Menu::createPopup(bool checks, bool modeless) {
    replace(CreatePopupMenu(), checks, modeless);
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
