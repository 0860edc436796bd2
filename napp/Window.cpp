#include "Window.h"

#include "App.h"
#include "Font.h"
#include "Menu.h"
#include "Mnemonic.h"
#include "WindowClassRegistry.h"

#include "utils/win32/WideCallTable.h"

#include <shellapi.h>

namespace NApp {

using TOVK_Utils::Block;
using TOVK_Utils::String;
using TOVK_Utils::WideCallTable;

Window::~Window() {
    destroy();
    // A window the system destroyed with its owner still holds its private class.
    WindowClassRegistry::unregisterClass(classAtom);
}

namespace {

// Controls are Unicode windows on systems with the wide calls (ChildManager::addChild):
// their messages come in wide form and go on to the system's procedure in the same form.
LRESULT callProcedure(WNDPROC procedure, HWND handle, UINT message, WPARAM first, LPARAM second) {
    if (IsWindowUnicode(handle))
        return WideCallTable::instance().CallWindowProcW(procedure, handle, message, first, second);
    return CallWindowProcA(procedure, handle, message, first, second);
}

LRESULT defaultProcedure(HWND handle, UINT message, WPARAM first, LPARAM second) {
    if (IsWindowUnicode(handle))
        return WideCallTable::instance().DefWindowProcW(handle, message, first, second);
    return DefWindowProcA(handle, message, first, second);
}

} // namespace

LRESULT CALLBACK Window::windowProcedure(HWND handle, UINT message, WPARAM first, LPARAM second) {
    auto* window = reinterpret_cast<Window*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
    if (!window)
        return defaultProcedure(handle, message, first, second);
    return window->dispatch(handle, message, first, second);
}

Window* Window::fromHandle(HWND handle) {
    // Other windows may use their user-data slot for something else: trust it only on
    // windows that run through this procedure. The 8-bit call would answer a Unicode
    // window with a stand-in for its procedure, never the procedure itself.
    if (!handle)
        return nullptr;
    const LONG_PTR procedure =
        IsWindowUnicode(handle) ? WideCallTable::instance().GetWindowLongPtrW(handle, GWLP_WNDPROC)
                                : GetWindowLongPtrA(handle, GWLP_WNDPROC);
    if (procedure != reinterpret_cast<LONG_PTR>(&Window::windowProcedure))
        return nullptr;
    return reinterpret_cast<Window*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
}

// ---- event hooks and handlers with behaviour of their own ----

bool Window::filterChar(WPARAM code) {
    if (code == '\t' && kind == Control) {
        auto* manager = dynamic_cast<Window*>(owner);
        if (manager) {
            if (GetKeyState(VK_SHIFT) & 0x8000)
                manager->tabRing.focusPrevious();
            else
                manager->tabRing.focusNext();
        }
        return false;
    }
    return true;
}

Window& Window::topWindow() {
    Window* top = this;
    while (top->kind == Control || top->kind == FrameworkChild) {
        auto* above = dynamic_cast<Window*>(top->owner);
        if (!above)
            break;
        top = above;
    }
    return *top;
}

bool Window::onKeyUp(WPARAM key) {
    if (listenerWindow)
        listenerWindow->childKeyUp(handle, key);
    return true;
}

bool Window::handleChar(WPARAM code) {
    if (!filterChar(code))
        return false;
    return listenerWindow ? listenerWindow->childChar(handle, code) : true;
}

bool Window::handleKeyDown(WPARAM key) {
    if (!filterKeyDown(key))
        return false;
    return listenerWindow ? listenerWindow->childKeyDown(handle, key) : true;
}

void Window::handleClose() {
    if (canClose())
        destroy();
}

void Window::handleAttached() {
    layout.setFixedSize(-100, -100);
    createChildren();
}

void Window::handleDropFiles(HDROP drop) {
    TOVK_Utils::Array<String> names;
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    names.setLength(static_cast<int32_t>(count));
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileA(drop, i, nullptr, 0);
        String& name = names[static_cast<int32_t>(i)];
        name.setSize(static_cast<int32_t>(length));
        DragQueryFileA(drop, i, reinterpret_cast<char*>(name.data()), length + 1);
    }
    onFilesDropped(names);
    DragFinish(drop);
}

bool Window::handleButtonDown(WPARAM keys, MouseButton button) {
    if (listenerWindow)
        listenerWindow->childButtonDown(handle, keys, button);
    return onButtonDown(keys, button);
}

bool Window::handleButtonUp(WPARAM keys, MouseButton button) {
    if (listenerWindow)
        listenerWindow->childButtonUp(handle, keys, button);
    return onButtonUp(keys, button);
}

void Window::handleMouseLeave() {
    mouseInside = false;
    buttonState = 0;
    onMouseLeave();
}

void Window::handleMouseMove(WPARAM keys, LPARAM) {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    if (listenerWindow)
        listenerWindow->childMouseMove(handle, cursor.x, cursor.y);
    onMouseMove(keys, cursor.x, cursor.y);
}

LRESULT Window::handleMoving(RECT* proposed) {
    if (!onMoving(proposed))
        return 0;
    refreshGeometry();
    return 1;
}

LRESULT Window::handleNotify(NMHDR* header) {
    if (header->code == static_cast<UINT>(NM_RCLICK))
        onNotifyRightClick();
    return 0;
}

void Window::handleNcDestroy() {
    onDestroy();
    HWND dying = handle;
    if (owner)
        owner->removeChild(this);
    SetWindowLongPtrA(dying, GWLP_USERDATA, 0);
    // Destroyed without destroy() (the system took it with its owner): the parent that
    // this window disabled must not stay disabled.
    if (modal && listenerWindow && listenerWindow->handle)
        EnableWindow(listenerWindow->handle, TRUE);
    // Secondary windows never end the application; the last main window does.
    if (kind == TopLevel && application && !application->topLevel.hasChildOfKind(TopLevel))
        PostQuitMessage(0);
    resetFields();
    handleDestroyed();
}

void Window::resetFields() {
    focusedChild = nullptr;
    handle = nullptr;
    style = extendedStyle = 0;
    owner = nullptr;
    listenerWindow = nullptr;
    font = nullptr;
    classProcedure = nullptr;
    kind = TopLevel;
    x = y = clientX = clientY = width = height = clientWidth = clientHeight = 0;
    shown = sizeKnown = mouseInside = noPaint = hasFocus = modal = false;
    enabled = true;
    buttonState = 0;
    layout.clearChildren();
}

// ---- text ----

bool Window::onOwnThread() const {
    return !handle || GetWindowThreadProcessId(handle, nullptr) == GetCurrentThreadId();
}

int32_t Window::textLength() {
    return static_cast<int32_t>(send(WM_GETTEXTLENGTH, 0, 0));
}

int32_t Window::getText(Block& target, TOVK_Utils::Width width) {
    int32_t length = textLength();
    int copied;
    if (width == TOVK_Utils::Width::Wide && WideCallTable::instance().isWideCapable()) {
        target.setWide(true);
        target.setSize(length + 2);
        copied = WideCallTable::instance().GetWindowTextW(
            handle, reinterpret_cast<LPWSTR>(target.data()), length + 1);
    } else {
        target.setWide(false);
        target.setSize(length + 1);
        copied = GetWindowTextA(handle, reinterpret_cast<char*>(target.data()), length + 1);
    }
    // The text may have changed between the two calls: trust what was copied.
    if (copied < 0)
        copied = 0;
    target.resize(copied);
    return copied;
}

void Window::setNumber(int32_t value) {
    String number;
    number.setDecimal(value);
    setText(number);
}

void Window::setText(const String& value) {
    if (!onOwnThread()) {
        // The object's text and size flag belong to the window's thread: hand the whole
        // call over and wait for it, as the platform does with the native part.
        send(MessageSetText, 0, reinterpret_cast<LPARAM>(new String(value)));
        return;
    }
    sizeKnown = false;
    if (value.isWide() && WideCallTable::instance().isWideCapable())
        WideCallTable::instance().SetWindowTextW(handle, reinterpret_cast<LPCWSTR>(value.w_str()));
    else
        SetWindowTextA(handle, value.c_str());
    text = value;
    redraw();
}

void Window::postText(String* value) {
    if (!post(MessageSetText, 0, reinterpret_cast<LPARAM>(value)))
        delete value; // nobody will receive it
}

void Window::postTextCopy(const Block& value) {
    postText(new String(value));
}

// ---- geometry ----

RECT Window::frame() const {
    RECT r = {0, 0, 0, 0};
    AdjustWindowRectEx(&r, style, FALSE, extendedStyle);
    return r;
}

void Window::setPosition(int32_t newX, int32_t newY, int32_t newWidth, int32_t newHeight,
                         UINT flags, HWND insertAfter) {
    if (!(flags & SWP_NOMOVE)) {
        x = newX;
        y = newY;
    }
    SetWindowPos(handle, insertAfter, newX, newY, newWidth, newHeight,
                 flags | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

void Window::refreshGeometry() {
    RECT r;
    if (!GetWindowRect(handle, &r))
        return;
    // A child's position is kept in its parent's client coordinates.
    if (kind == Control || kind == FrameworkChild) {
        HWND parent = GetParent(handle);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    x = r.left;
    y = r.top;
    width = r.right - r.left;
    height = r.bottom - r.top;
    RECT client;
    GetClientRect(handle, &client);
    clientWidth = client.right;
    clientHeight = client.bottom;
    RECT f = frame();
    clientX = x - f.left;
    clientY = y - f.top;
}

void Window::resizeClient(int32_t clientW, int32_t clientH) {
    RECT f = frame();
    resize(clientW + f.right - f.left, clientH + f.bottom - f.top);
}

void Window::fitToContent() {
    layout.setFixedSize(0, 0);
    layout.measureBox();
    resizeClient(layout.measuredWidth + 2 * layout.spacing,
                 layout.measuredHeight + 2 * layout.spacing);
}

void Window::centreOn(const Window& other) {
    moveTo(other.x + other.width / 2 - width / 2, other.y + other.height / 2 - height / 2);
}

void Window::centreOnScreen() {
    RECT area = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int32_t areaWidth = area.right - area.left;
    int32_t areaHeight = area.bottom - area.top;
    moveTo(area.left + areaWidth / 2 - width / 2, area.top + areaHeight / 2 - height / 2);
}

void Window::layoutChildren() {
    int32_t s = layout.spacing;
    layout.measureBox();
    layout.arrange(s, s, clientWidth - 2 * s, clientHeight - 2 * s);
}

void Window::measure() {
    if (layout.childCount() == 0) {
        preferredWidth = preferredHeight = 0;
        return;
    }
    layout.measureBox();
    RECT f = frame();
    preferredWidth = layout.measuredWidth + 2 * layout.spacing + f.right - f.left;
    preferredHeight = layout.measuredHeight + 2 * layout.spacing + f.bottom - f.top;
}

void Window::preferredSize(int32_t& w, int32_t& h) {
    if (!sizeKnown) {
        sizeKnown = true;
        measure();
    }
    w = preferredWidth;
    h = preferredHeight;
}

// ---- operations ----

void Window::destroy() {
    if (listenerWindow && listenerWindow->focusedChild == this)
        listenerWindow->focusedChild = nullptr;
    if (handle) {
        if (modal && listenerWindow) {
            // Enabled before the window goes, so the system activates the parent and not
            // some other program.
            modal = false;
            EnableWindow(listenerWindow->handle, TRUE);
            SetFocus(listenerWindow->handle);
        }
        DestroyWindow(handle);
        handle = nullptr;
        WindowClassRegistry::unregisterClass(classAtom);
    }
}

void Window::show() {
    shown = true;
    ShowWindow(handle, SW_SHOW);
}

void Window::enable(bool flag) {
    EnableWindow(handle, flag);
    enabled = flag;
}

void Window::setFont(Font* value) {
    font = value;
    sizeKnown = false;
    send(WM_SETFONT, reinterpret_cast<WPARAM>(value ? value->plain() : nullptr), FALSE);
}

void Window::redraw() {
    RedrawWindow(handle, nullptr, nullptr, RDW_INVALIDATE);
}

LRESULT Window::send(UINT message, WPARAM first, LPARAM second) {
    return handle ? SendMessageA(handle, message, first, second) : 0;
}

bool Window::post(UINT message, WPARAM first, LPARAM second) {
    return handle && PostMessageA(handle, message, first, second);
}

// ---- dispatch ----

void Window::gainFocus(TellAncestors tell) {
    if (tell == TellAncestors::Yes) {
        // Each ancestor remembers which of its descendants was focused last.
        Window* below = this;
        for (Window* above = listenerWindow; above; above = above->listenerWindow) {
            above->focusedChild = below;
            below = above;
        }
        if (focusedChild && focusedChild->handle)
            SetFocus(focusedChild->handle);
    }
    hasFocus = true;
    handleActivate();
}

LRESULT Window::dispatch(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    if (message >= UserMessageFirst && message <= UserMessageLast)
        return onUserMessage(static_cast<int32_t>(message - UserMessageFirst), first, second);

    switch (message) {
    case WM_DESTROY:
        // A system control still frees what it holds.
        if (kind == Control)
            break;
        return 0;
    case WM_MOVE:
        refreshGeometry();
        handleMove();
        break;
    case WM_SIZE:
        if (first == SIZE_MINIMIZED) {
            if (!handleMinimize())
                return 0;
        } else if (first == SIZE_MAXIMIZED) {
            if (!handleMaximize())
                return 0;
        } else {
            refreshGeometry();
            if (layout.childCount() > 0)
                layoutChildren();
            handleSize();
        }
        break;
    case WM_ACTIVATE:
        if (reinterpret_cast<HWND>(second) == hwnd) {
            if (LOWORD(first) == WA_ACTIVE || LOWORD(first) == WA_CLICKACTIVE) {
                hasFocus = true;
                handleActivate();
            } else if (LOWORD(first) == WA_INACTIVE) {
                hasFocus = false;
                handleDeactivate();
            }
        }
        break;
    case WM_SETFOCUS:
        gainFocus(TellAncestors::Yes);
        break;
    case WM_KILLFOCUS:
        hasFocus = false;
        handleDeactivate();
        break;
    case WM_PAINT:
        if (noPaint || !handlePaint())
            return 0;
        break;
    case WM_ERASEBKGND:
    case WM_NCPAINT:
        if (noPaint)
            return 0;
        break;
    case WM_ACTIVATEAPP:
        if (static_cast<DWORD>(second) == GetCurrentThreadId()) {
            if (first) {
                gainFocus(TellAncestors::No);
            } else {
                hasFocus = false;
                handleDeactivate();
            }
        }
        break;
    case WM_WINDOWPOSCHANGING:
        handlePositionChanging(reinterpret_cast<WINDOWPOS*>(second));
        return 0;
    case WM_CONTEXTMENU:
        if (!onContextMenu())
            return 0;
        break;
    case WM_NCDESTROY: {
        WNDPROC systemProcedure = kind == Control ? classProcedure : nullptr;
        handleNcDestroy();
        // A system control must still see its last message to free its own data.
        if (systemProcedure)
            return callProcedure(systemProcedure, hwnd, message, first, second);
        return 0;
    }
    case WM_KEYDOWN:
        if (!handleKeyDown(first))
            return 0;
        break;
    case WM_KEYUP:
        if (!handleKeyUp(first))
            return 0;
        break;
    case WM_CHAR:
        if (!handleChar(first))
            return 0;
        break;
    case WM_SYSCHAR:
        // Alt and a letter reaches the focused control; the window it belongs to decides.
        if (activateMnemonic(topWindow(), first))
            return 0;
        break;
    case WM_SYSCOMMAND:
        switch (first & 0xFFF0) {
        case SC_MINIMIZE:
            if (!handleMinimize())
                return 0;
            break;
        case SC_MAXIMIZE:
            if (!handleMaximize())
                return 0;
            break;
        case SC_RESTORE:
            if (!handleRestore())
                return 0;
            break;
        default:
            break;
        }
        break;
    case WM_TIMER:
        onTimer(first);
        return 0;
    case WM_MENUCOMMAND: {
        MENUINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = MIM_MENUDATA;
        if (GetMenuInfo(reinterpret_cast<HMENU>(second), &info) && info.dwMenuData)
            reinterpret_cast<Menu*>(info.dwMenuData)->onItem(static_cast<int32_t>(first));
        return 0;
    }
    case WM_MOUSEMOVE:
        if (!mouseInside) {
            mouseInside = true;
            handleMouseEnter();
            TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&track);
        }
        handleMouseMove(first, second);
        break;
    case WM_LBUTTONDOWN:
        buttonState |= 1;
        if (!handleButtonDown(first, MouseButton::Left))
            return 0;
        break;
    case WM_LBUTTONUP: {
        bool pressedInside = (buttonState & 1) != 0;
        buttonState &= ~1;
        if (pressedInside)
            handleClick();
        if (!handleButtonUp(first, MouseButton::Left))
            return 0;
        break;
    }
    case WM_LBUTTONDBLCLK:
        if (!handleDoubleClick())
            return 0;
        break;
    case WM_RBUTTONDOWN:
        buttonState |= 4;
        if (!handleButtonDown(first, MouseButton::Right))
            return 0;
        break;
    case WM_RBUTTONUP: {
        bool pressedInside = (buttonState & 4) != 0;
        buttonState &= ~4;
        if (pressedInside)
            handleRightClick();
        if (!handleButtonUp(first, MouseButton::Right))
            return 0;
        break;
    }
    case WM_SIZING:
        handleSizing(reinterpret_cast<RECT*>(second));
        return 1;
    case WM_DROPFILES:
        handleDropFiles(reinterpret_cast<HDROP>(first));
        break;
    case WM_MOUSELEAVE:
        mouseInside = false;
        handleMouseLeave();
        buttonState = 0;
        break;
    case MessageLayout:
        layoutChildren();
        return 0;
    case MessageShowCursor:
        if (second == 0)
            PostMessageA(hwnd, MessageShowCursor, first, 1);
        ShowCursor(static_cast<BOOL>(first));
        return 0;
    case MessageClose:
        destroy();
        return 0;
    case MessageSetText: {
        auto* value = reinterpret_cast<String*>(second);
        if (value) {
            setText(*value);
            delete value;
        }
        return 0;
    }
    default:
        break;
    }
    return defaultProcessing(hwnd, message, first, second);
}

LRESULT Window::defaultProcessing(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    // The handler may have destroyed the window (a button that closes its dialog).
    if (handle != hwnd && !IsWindow(hwnd))
        return 0;
    if (kind == Control)
        return controlProcedure(hwnd, message, first, second);
    return frameworkDispatch(hwnd, message, first, second);
}

LRESULT Window::controlProcedure(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    if (!classProcedure)
        return defaultProcedure(hwnd, message, first, second);
    return callProcedure(classProcedure, hwnd, message, first, second);
}

LRESULT Window::frameworkDispatch(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
    case WM_ACTIVATE:
    case WM_ACTIVATEAPP:
        tabRing.focusCurrent();
        break;
    case WM_CLOSE:
        handleClose();
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(second);
        if (Window* sender = fromHandle(header->hwndFrom))
            return sender->handleNotify(header);
        break;
    }
    case WM_COMMAND:
        if (second) {
            if (Window* child = findChild(reinterpret_cast<HWND>(second))) {
                child->onCommand(first);
                return 0;
            }
        }
        break;
    case WM_MOVING:
        return handleMoving(reinterpret_cast<RECT*>(second));
    case MessageShowCursorNow:
        ShowCursor(static_cast<BOOL>(first));
        break;
    case AppMessage:
        handleAppMessage(second);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(hwnd, message, first, second);
}

} // namespace NApp
