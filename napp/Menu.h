// Menu: a native menu whose choices come back by position (WM_MENUCOMMAND) to the object
// kept in the menu's own data.
#pragma once

#include <windows.h>

#include <cstdint>

namespace NApp {

class Window;

class Menu {
public:
    // Whether items may show check marks.
    enum class CheckMarks { None, Allowed };
    // Whether the menu runs its own loop while it is open.
    enum class Loop { Own, Modeless };

    Menu() { create(CheckMarks::Allowed, Loop::Modeless); }
    virtual ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    virtual void create(CheckMarks checks, Loop loop);
    virtual void createPopup(CheckMarks checks, Loop loop);
    virtual void fill() {}
    virtual void onItem(int32_t) {}

    void addItem(const char* text, int32_t position);
    void addSeparator(int32_t position);
    void showAt(Window& window, UINT flags);

    HMENU menu = nullptr;

private:
    void replace(HMENU made, CheckMarks checks, Loop loop);
};

} // namespace NApp
