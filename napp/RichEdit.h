// RichEdit: a multi-line rich edit for longer text (question boxes), with its own
// Undo/Redo/Cut/Copy/Paste menu.
#pragma once

#include "Menu.h"
#include "Window.h"

#include "utils/CriticalObject.h"

namespace NApp {

class RichEdit;

class RichEditDefaultMenu : public Menu {
public:
    explicit RichEditDefaultMenu(RichEdit& edit) : edit_(edit) {}
    void fill() override;
    void onItem(int32_t index) override;

private:
    RichEdit& edit_;
};

class RichEdit : public Window, public TOVK_Utils::CriticalObject {
public:
    // How appending moves the caret: 0 leaves it, 1 keeps it unless it was at the end,
    // 2 always moves it to the new end (which scrolls the text into view).
    enum ScrollMode : uint8_t { AppendOnly = 0, KeepSelection = 1, FollowEnd = 2 };

    RichEdit() : menu(*this) {}

    virtual void spareRichEditHook(LPARAM) {}
    virtual void appendText(const TOVK_Utils::String& value);

    int32_t textLength() override;
    void measure() override;
    bool onContextMenu() override;

    void selectedText(TOVK_Utils::Block& target, TOVK_Utils::Width width);
    void replaceSelection(const TOVK_Utils::String& value);
    void select(int32_t from, int32_t to) { send(EM_SETSEL, from, to); }

    uint8_t scrollMode = FollowEnd;
    RichEditDefaultMenu menu;
};

} // namespace NApp
