#include "RichEdit.h"

#include "Clipboard.h"
#include "Font.h"

#include <richedit.h>

namespace NApp {

using TOVK_Utils::Block;
using TOVK_Utils::String;

void RichEditDefaultMenu::fill() {
    addItem("Undo", 0);
    addItem("Redo", 1);
    addSeparator(2);
    addItem("Cut", 3);
    addItem("Copy", 4);
    addItem("Paste", 5);
}

void RichEditDefaultMenu::onItem(int32_t index) {
    String selection;
    switch (index) {
    case 0:
        edit_.send(EM_UNDO, 0, 0);
        break;
    case 1:
        edit_.send(EM_REDO, 0, 0);
        break;
    case 3:
        edit_.selectedText(selection, TOVK_Utils::Width::Narrow);
        putClipboardText(selection);
        edit_.replaceSelection(String(""));
        break;
    case 4:
        edit_.selectedText(selection, TOVK_Utils::Width::Narrow);
        putClipboardText(selection);
        break;
    case 5:
        // An empty clipboard pastes an empty text, which still removes the selection.
        getClipboardText(selection, TOVK_Utils::Width::Narrow);
        edit_.replaceSelection(selection);
        break;
    default:
        break;
    }
}

// Characters for a Unicode control (its positions count them), bytes of the ANSI code
// page for an 8-bit one.
static UINT lengthCodePage(HWND handle) {
    return IsWindowUnicode(handle) ? 1200 : CP_ACP;
}

int32_t RichEdit::textLength() {
    GETTEXTLENGTHEX how = {GTL_USECRLF | GTL_PRECISE, lengthCodePage(handle)};
    return static_cast<int32_t>(send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
}

void RichEdit::measure() {
    int32_t w = 0, h = 0;
    Font::measureText(font ? font->plain() : nullptr, String(" "), w, h);
    RECT f = frame();
    preferredWidth = 0;
    preferredHeight = h + f.bottom - f.top;
}

bool RichEdit::onContextMenu() {
    menu.createPopup(Menu::CheckMarks::Allowed, Menu::Loop::Modeless);
    menu.showAt(*this, 0);
    return false;
}

void RichEdit::selectedText(Block& target, TOVK_Utils::Width width) {
    const bool wide = width == TOVK_Utils::Width::Wide;
    GETTEXTLENGTHEX how = {GTL_PRECISE, lengthCodePage(handle)};
    int32_t length =
        static_cast<int32_t>(send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0));
    if (IsWindowUnicode(handle)) {
        // The wide class hands out UTF-16 whatever call asks: an 8-bit caller gets it
        // converted.
        String chars;
        chars.setWide(true);
        chars.setSize(length + 1);
        int32_t copied =
            static_cast<int32_t>(send(EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(chars.data())));
        chars.resize(copied < 0 ? 0 : copied);
        if (wide) {
            target.assign(chars);
        } else {
            String narrow;
            narrow.toNarrow(chars);
            target.assign(narrow);
        }
        return;
    }
    // The "A" class hands out 8-bit text; a wide caller gets it converted.
    String narrow;
    narrow.setSize(length * 2 + 1); // a multi-byte code page may need two bytes a character
    int32_t copied =
        static_cast<int32_t>(send(EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(narrow.data())));
    narrow.resize(copied < 0 ? 0 : copied);
    if (wide) {
        String converted;
        converted.toWide(narrow);
        target.assign(converted);
    } else {
        target.assign(narrow);
    }
}

void RichEdit::replaceSelection(const String& value) {
    String narrow;
    narrow.toNarrow(value);
    send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(narrow.c_str()));
}

void RichEdit::appendText(const String& value) {
    if (scrollMode > FollowEnd)
        return;
    noPaint = true; // not repainted halfway
    DWORD selectionStart = 0;
    send(EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart), 0);
    int32_t oldLength = textLength();
    select(oldLength, oldLength);
    if (oldLength > 0)
        replaceSelection(String("\r\n"));
    replaceSelection(value);
    int32_t newLength = textLength();
    if (scrollMode == FollowEnd ||
        (scrollMode == KeepSelection && static_cast<int32_t>(selectionStart) == oldLength))
        select(newLength, newLength);
    else if (scrollMode == KeepSelection)
        select(static_cast<int32_t>(selectionStart), static_cast<int32_t>(selectionStart));
    noPaint = false;
    redraw();
}

} // namespace NApp
