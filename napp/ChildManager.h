// ChildManager: the part of a window (or of the application) that creates and owns child
// windows, hands them the default font and the application pointer.
#pragma once

#include "utils/CriticalObject.h"
#include "utils/String.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace NApp {

class App;
class Button;
class CheckBox;
class Edit;
class Font;
class Hyperlink;
class ListView;
class ProgressBar;
class RichEdit;
class Static2;
class Window;

// How createWindow makes a window; callers name only what they set.
struct WindowOptions {
    bool topLevel = false;  // a main window (kind 0) rather than a secondary one (kind 3)
    bool modal = false;     // its parent is disabled while it lives
    bool show = false;      // shown at once
    bool resizable = false; // a sizing border
};

// What a click on a list's row does: selects it, or also ticks or unticks its box.
enum class RowClick { Selects, Toggles };
enum class Orientation { Horizontal, Vertical };
enum class Border { None, Thin };

class ChildManager {
public:
    ChildManager() = default;
    virtual ~ChildManager() = default;
    ChildManager(const ChildManager&) = delete;
    ChildManager& operator=(const ChildManager&) = delete;

    // The native parent of children made here, and who hears of their events.
    virtual HWND nativeParent() { return nullptr; }
    virtual Window* listener() { return nullptr; }

    // A top-level (kind 0) or secondary (kind 3) window with a private class.
    bool createWindow(Window& window, const TOVK_Utils::String& title, HICON icon, HICON smallIcon,
                      WindowOptions options = {});
    // Gives the object a native window of the class (a name or an atom made with
    // MAKEINTATOM); an existing one is destroyed first.
    bool addChild(int32_t kind, Window& window, const char* className, DWORD style,
                  DWORD extendedStyle);
    void removeChild(Window* window);
    Window* findChild(HWND handle) const;
    int32_t childCount() const;
    Window* child(int32_t i) const;
    bool hasChildOfKind(int32_t kind) const;

    // Controls.
    bool addButton(Button& button, const TOVK_Utils::String& caption);
    bool addCheckBox(CheckBox& box, const TOVK_Utils::String& caption);
    bool addEdit(Edit& edit, DWORD extraStyle = 0);
    bool addRichEdit(RichEdit& edit);
    bool addPanel(Window& panel);
    bool addListView(ListView& list, DWORD style, DWORD extendedStyle, DWORD listStyle,
                     RowClick click);
    bool addReport(ListView& list, DWORD style, DWORD extendedStyle, DWORD listStyle,
                   RowClick click);
    bool addProgressBar(ProgressBar& bar, Orientation orientation);
    bool addLink(Hyperlink& link, const TOVK_Utils::String& text, Border border);
    bool addLabel(Static2& label, const TOVK_Utils::String& text);

    Font* childFont = nullptr;
    HICON childIcon = nullptr;
    App* application = nullptr;

private:
    bool addListCommon(ListView& list, DWORD style, DWORD extendedStyle, DWORD listStyle,
                       bool clickToggles);

    // A question box asked by the worker thread joins and leaves the list of a window of
    // the interface thread, which reads it meanwhile; held only around list operations.
    mutable TOVK_Utils::CriticalObject childrenLock_;
    std::vector<Window*> children_;
};

} // namespace NApp
