#include "ListView.h"

#include "utils/win32/SystemText.h"
#include "utils/win32/WideCallTable.h"

namespace NApp {

using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {
uint32_t imageOf(UINT state) {
    return (state & LVIS_STATEIMAGEMASK) >> 12;
}
} // namespace

int ListView::appendItem(const Block& text, intptr_t data) {
    TOVK_Utils::SystemText chars(text);
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = itemCount;
    item.lParam = data;
    UINT message = LVM_INSERTITEMA;
    if (chars.wide()) {
        message = LVM_INSERTITEMW;
        item.pszText = reinterpret_cast<char*>(const_cast<wchar_t*>(chars.wideChars()));
    } else {
        item.pszText = const_cast<char*>(chars.narrow());
    }
    int index = static_cast<int>(send(message, 0, reinterpret_cast<LPARAM>(&item)));
    if (index >= 0)
        ++itemCount;
    return index;
}

void ListView::setItemText(const Block& text, int row, int column) {
    TOVK_Utils::SystemText chars(text);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    UINT message = LVM_SETITEMA;
    if (chars.wide()) {
        message = LVM_SETITEMW;
        item.pszText = reinterpret_cast<char*>(const_cast<wchar_t*>(chars.wideChars()));
    } else {
        item.pszText = const_cast<char*>(chars.narrow());
    }
    send(message, 0, reinterpret_cast<LPARAM>(&item));
}

void ListView::itemText(Block& text, int row, int column, bool wide) {
    constexpr int Capacity = 0x8000;
    wide = wide && TOVK_Utils::WideCallTable::instance().isWideCapable();
    text.setWide(wide);
    text.setSize(Capacity);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<char*>(text.data());
    item.cchTextMax = Capacity;
    LRESULT n = send(wide ? LVM_GETITEMTEXTW : LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    text.resize(n < 0 ? 0 : static_cast<int32_t>(n));
}

void ListView::removeAll() {
    send(LVM_DELETEALLITEMS, 0, 0);
    itemCount = 0;
}

uint32_t ListView::stateImage(int32_t item) {
    return imageOf(
        static_cast<UINT>(send(LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK)));
}

bool ListView::isChecked(int32_t item) {
    return stateImage(item) == Checked;
}

void ListView::setChecked(int32_t item, bool flag) {
    LVITEMA state = {};
    state.mask = LVIF_STATE;
    state.state = INDEXTOSTATEIMAGEMASK(flag ? Checked : Unchecked);
    state.stateMask = LVIS_STATEIMAGEMASK;
    send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
}

void ListView::setAllChecked(bool flag) {
    for (int32_t i = 0; i < itemCount; ++i)
        setChecked(i, flag);
}

int ListView::nextChecked(int after) {
    // Only the ticked image counts: a row without any state image is not ticked.
    for (int32_t i = after + 1; i < itemCount; ++i) {
        if (stateImage(i) == Checked)
            return i;
    }
    return -1;
}

LRESULT ListView::handleNotify(NMHDR* header) {
    auto* change = reinterpret_cast<NMLISTVIEW*>(header);
    switch (header->code) {
    case LVN_ITEMACTIVATE: {
        auto* activate = reinterpret_cast<NMITEMACTIVATE*>(header);
        onItemActivated(activate->iItem, activate->lParam);
        break;
    }
    case LVN_ITEMCHANGED: {
        if (!(change->uChanged & LVIF_STATE))
            break;
        HWND own = handle;
        uint32_t before = imageOf(change->uOldState);
        uint32_t after = imageOf(change->uNewState);
        if (before == Checked && after == Unchecked) {
            onItemUnchecked(change->iItem, change->lParam);
            if (listenerWindow)
                listenerWindow->listItemUnchecked(own, change->iItem, change->lParam);
        } else if (before == Unchecked && after == Checked) {
            onItemChecked(change->iItem, change->lParam);
            if (listenerWindow)
                listenerWindow->listItemChecked(own, change->iItem, change->lParam);
        }
        bool wasSelected = (change->uOldState & LVIS_SELECTED) != 0;
        bool isSelected = (change->uNewState & LVIS_SELECTED) != 0;
        if (wasSelected && !isSelected) {
            onItemDeselected(change->iItem, change->lParam);
            if (listenerWindow)
                listenerWindow->listItemDeselected(own, change->iItem, change->lParam);
        } else if (isSelected && !wasSelected) {
            onItemSelected(change->iItem, change->lParam);
            if (listenerWindow)
                listenerWindow->listItemSelected(own, change->iItem, change->lParam);
        }
        break;
    }
    case LVN_ITEMCHANGING:
        // A click that would select the row flips its check mark instead. Only a row
        // becoming selected counts, so the check change's own notice does not toggle again.
        if ((listFlags & ClickToggles) && (change->uChanged & LVIF_STATE) &&
            (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED)) {
            if (change->iItem >= 0)
                toggleChecked(change->iItem);
            return 1;
        }
        return 0;
    default:
        break;
    }
    return Window::handleNotify(header);
}

void Report::appendColumn(const String& title, int32_t width) {
    String narrow;
    narrow.toNarrow(title);
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = width;
    column.pszText = const_cast<char*>(narrow.c_str());
    send(LVM_INSERTCOLUMNA, static_cast<WPARAM>(columnCount), reinterpret_cast<LPARAM>(&column));
    ++columnCount;
}

} // namespace NApp
