// Menu: a native menu whose choices come back by position (WM_MENUCOMMAND) to the object
// kept in the menu's own data.
#pragma once

#include <windows.h>

#include <cstdint>

namespace NApp {

class Window;

class Menu {
public:
    Menu() { create(true, true); }
    virtual ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    // checks: items may show check marks; modeless: the menu runs without its own loop.
    virtual void create(bool checks, bool modeless);
    virtual void createPopup(bool checks, bool modeless);
    virtual void fill() {}
    virtual void onItem(int32_t) {}

    void addItem(const char* text, int32_t position);
    void addSeparator(int32_t position);
    void showAt(Window& window, UINT flags);

    HMENU menu = nullptr;

private:
    void replace(HMENU made, bool checks, bool modeless);
};

} // namespace NApp
