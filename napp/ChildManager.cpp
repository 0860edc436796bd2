#include "ChildManager.h"

#include "App.h"
#include "Button.h"
#include "CheckBox.h"
#include "Edit.h"
#include "Font.h"
#include "Hyperlink.h"
#include "ListView.h"
#include "ProgressBar.h"
#include "RichEdit.h"
#include "Static2.h"
#include "Window.h"
#include "WindowClassRegistry.h"

#include "utils/win32/WideCallTable.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>

namespace NApp {

using TOVK_Utils::String;

bool ChildManager::createWindow(Window& window, const String& title, HICON icon, HICON smallIcon,
                                WindowOptions options) {
    // Gone before its class is replaced: destroying it later would take the new class.
    window.destroy();
    HWND parent = nativeParent();
    bool disabledParent = false;
    // EnableWindow answers whether the parent was disabled already: only a parent that
    // this creation disabled is enabled again when the window goes.
    if (options.modal && parent)
        disabledParent = !EnableWindow(parent, FALSE);
    WindowClassRegistry::instance().registerClass(window.classAtom, childIcon ? childIcon : icon,
                                                  smallIcon, nullptr, nullptr, nullptr);
    DWORD style = WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                  WS_MAXIMIZEBOX | (options.resizable ? WS_THICKFRAME : 0);
    bool made = addChild(options.topLevel ? Window::TopLevel : Window::Secondary, window,
                         MAKEINTATOM(window.classAtom), style, 0);
    window.modal = disabledParent;
    if (!made) {
        if (disabledParent)
            EnableWindow(parent, TRUE);
        window.modal = false;
        return false;
    }
    window.setText(title);
    if (options.show)
        window.show();
    return true;
}

bool ChildManager::addChild(int32_t kind, Window& window, const char* className, DWORD style,
                            DWORD extendedStyle) {
    window.destroy();
    window.kind = kind;
    if (kind == Window::Control || kind == Window::FrameworkChild)
        style |= WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    window.style = style;
    window.extendedStyle = extendedStyle;
    // A system control keeps wide text only as a Unicode window: made by the wide call
    // and subclassed by it, or the system takes every text through the 8-bit code page.
    TOVK_Utils::WideCallTable& table = TOVK_Utils::WideCallTable::instance();
    const bool unicode = kind == Window::Control && table.isWideCapable();
    HWND handle;
    if (unicode) {
        String wideClass;
        wideClass.toWide(String(className));
        handle = table.CreateWindowExW(extendedStyle, reinterpret_cast<LPCWSTR>(wideClass.w_str()),
                                       L"", style, 0, 0, 0, 0, nativeParent(), nullptr,
                                       GetModuleHandleA(nullptr), nullptr);
    } else {
        handle = CreateWindowExA(extendedStyle, className, "", style, 0, 0, 0, 0, nativeParent(),
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    window.handle = handle;
    if (!handle)
        return false;
    SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&window));
    PostMessageA(handle, MessageLayout, 0, 0);
    if (unicode) {
        window.classProcedure =
            reinterpret_cast<WNDPROC>(table.GetWindowLongPtrW(handle, GWLP_WNDPROC));
        table.SetWindowLongPtrW(handle, GWLP_WNDPROC,
                                reinterpret_cast<LONG_PTR>(&Window::windowProcedure));
    } else if (kind == Window::Control) {
        window.classProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(handle, GWLP_WNDPROC));
        SetWindowLongPtrA(handle, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(&Window::windowProcedure));
    }
    window.owner = this;
    window.listenerWindow = listener();
    childrenLock_.lock();
    children_.push_back(&window);
    childrenLock_.unlock();
    if (childFont) {
        window.childFont = childFont;
        window.setFont(childFont);
    }
    window.application = application;
    window.handleAttached();
    return true;
}

void ChildManager::removeChild(Window* window) {
    childrenLock_.lock();
    children_.erase(std::remove(children_.begin(), children_.end(), window), children_.end());
    childrenLock_.unlock();
}

Window* ChildManager::findChild(HWND handle) const {
    Window* found = nullptr;
    childrenLock_.lock();
    for (Window* child : children_) {
        if (child->handle == handle) {
            found = child;
            break;
        }
    }
    childrenLock_.unlock();
    return found;
}

int32_t ChildManager::childCount() const {
    childrenLock_.lock();
    auto n = static_cast<int32_t>(children_.size());
    childrenLock_.unlock();
    return n;
}

Window* ChildManager::child(int32_t i) const {
    childrenLock_.lock();
    Window* found = i >= 0 && i < static_cast<int32_t>(children_.size()) ? children_[i] : nullptr;
    childrenLock_.unlock();
    return found;
}

bool ChildManager::hasChildOfKind(int32_t kind) const {
    bool found = false;
    childrenLock_.lock();
    for (Window* child : children_)
        found = found || child->kind == kind;
    childrenLock_.unlock();
    return found;
}

bool ChildManager::addButton(Button& button, const String& caption) {
    if (!addChild(Window::Control, button, "BUTTON", BS_MULTILINE | BS_VCENTER | BS_CENTER, 0))
        return false;
    button.setText(caption);
    return true;
}

bool ChildManager::addCheckBox(CheckBox& box, const String& caption) {
    if (!addChild(Window::Control, box, "BUTTON", BS_AUTOCHECKBOX | BS_VCENTER, 0))
        return false;
    box.setText(caption);
    return true;
}

bool ChildManager::addEdit(Edit& edit, DWORD extraStyle) {
    return addChild(Window::Control, edit, "EDIT",
                    extraStyle | WS_BORDER | ES_AUTOHSCROLL | ES_NOHIDESEL, 0);
}

bool ChildManager::addRichEdit(RichEdit& edit) {
    const char* className = WindowClassRegistry::instance().richEditClass();
    if (!addChild(Window::Control, edit, className,
                  WS_BORDER | WS_VSCROLL | ES_WANTRETURN | ES_NOHIDESEL | ES_AUTOVSCROLL |
                      ES_MULTILINE,
                  0))
        return false;
    edit.extendedStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
    SetWindowLongPtrA(edit.handle, GWL_EXSTYLE, edit.extendedStyle);
    edit.send(EM_SETTEXTMODE, TM_RICHTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE, 0);
    return true;
}

bool ChildManager::addPanel(Window& panel) {
    return addChild(Window::FrameworkChild, panel,
                    MAKEINTATOM(WindowClassRegistry::instance().panelClass()), WS_BORDER, 0);
}

bool ChildManager::addListCommon(ListView& list, DWORD style, DWORD extendedStyle, DWORD listStyle,
                                 bool clickToggles) {
    WindowClassRegistry::instance().initCommonControls();
    if (!addChild(Window::Control, list, WC_LISTVIEWA, style, extendedStyle))
        return false;
    if (clickToggles) {
        listStyle |= LVS_EX_ONECLICKACTIVATE | LVS_EX_UNDERLINEHOT;
        list.listFlags |= ListView::ClickToggles;
    }
    list.listStyle = listStyle;
    list.send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, listStyle);
    // No list of the program needs double clicks; without them every click counts.
    SetClassLongPtrA(list.handle, GCL_STYLE,
                     GetClassLongPtrA(list.handle, GCL_STYLE) & ~static_cast<LONG_PTR>(CS_DBLCLKS));
    return true;
}

bool ChildManager::addListView(ListView& list, DWORD style, DWORD extendedStyle, DWORD listStyle,
                               RowClick click) {
    return addListCommon(list, style, extendedStyle, listStyle, click == RowClick::Toggles);
}

bool ChildManager::addReport(ListView& list, DWORD style, DWORD extendedStyle, DWORD listStyle,
                             RowClick click) {
    return addListCommon(list, style | WS_BORDER | LVS_REPORT, extendedStyle, listStyle,
                         click == RowClick::Toggles);
}

bool ChildManager::addProgressBar(ProgressBar& bar, Orientation orientation) {
    WindowClassRegistry::instance().initCommonControls();
    return addChild(Window::Control, bar, PROGRESS_CLASSA,
                    orientation == Orientation::Horizontal ? 0 : PBS_VERTICAL, 0);
}

bool ChildManager::addLink(Hyperlink& link, const String& text, Border border) {
    if (!addChild(Window::FrameworkChild, link,
                  MAKEINTATOM(WindowClassRegistry::instance().linkClass()),
                  border == Border::Thin ? WS_BORDER : 0, 0))
        return false;
    // Drawn by the label itself; the native text is kept too, for tools that read windows.
    link.setText(text);
    return true;
}

bool ChildManager::addLabel(Static2& label, const String& text) {
    if (!addChild(Window::FrameworkChild, label,
                  MAKEINTATOM(WindowClassRegistry::instance().frameworkClass()), 0, 0))
        return false;
    // An empty label still keeps a line's height.
    label.setText(text.length() == 0 ? String(" ") : text);
    return true;
}

} // namespace NApp
