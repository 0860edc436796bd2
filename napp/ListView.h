// ListView: the system's list view with check marks. Its operations are named as the
// program's mailbox list needs them, so the program adapts it without glue logic.
#pragma once

#include "Window.h"

#include <commctrl.h>

#include <cstdint>

namespace NApp {

class ListView : public Window {
public:
    enum Flag : uint8_t { ClickToggles = 1 };
    // State image indices of the check marks.
    static constexpr uint32_t Unchecked = 1;
    static constexpr uint32_t Checked = 2;

    virtual void onItemActivated(int32_t, LPARAM) {}
    virtual void onItemSelected(int32_t, LPARAM) {}
    virtual void onItemDeselected(int32_t, LPARAM) {}
    virtual void onItemChecked(int32_t, LPARAM) {}
    virtual void onItemUnchecked(int32_t, LPARAM) {}

    LRESULT handleNotify(NMHDR* header) override;

    int appendItem(const TOVK_Utils::Block& text, intptr_t data);
    void setItemText(const TOVK_Utils::Block& text, int row, int column);
    void itemText(TOVK_Utils::Block& text, int row, int column, bool wide);
    void removeAll();

    bool isChecked(int32_t item);
    void setChecked(int32_t item, bool flag);
    void toggleChecked(int32_t item) { setChecked(item, !isChecked(item)); }
    void setAllChecked(bool flag);
    // The first row after `after` whose check mark is the ticked one, or -1.
    int nextChecked(int after);

    DWORD listStyle = 0;
    int32_t itemCount = 0;
    uint8_t listFlags = 0;

private:
    uint32_t stateImage(int32_t item);
};

// A list in report mode, with columns.
class Report : public ListView {
public:
    void appendColumn(const TOVK_Utils::String& title, int32_t width);

    int32_t columnCount = 0;
};

} // namespace NApp
