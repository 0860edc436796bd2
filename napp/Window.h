// Window: the one base class of every window and control. It wraps one native window,
// keeps a pointer to itself in the window's user-data slot, and turns native messages
// into virtual operations: message-level handlers (overridden by controls) whose defaults
// call event hooks (overridden by application windows), and notifications to the
// listener (normally the parent) that carry the child's handle.
#pragma once

#include "ChildManager.h"
#include "LayoutBox.h"
#include "TabRing.h"

#include "utils/Array.h"
#include "utils/String.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdint>

namespace NApp {

// Messages the framework posts to its own windows and threads.
enum FrameworkMessage : UINT {
    MessageTrayIcon = 0x8000,
    MessageRichEditSpare = 0x8003,
    MessageLayout = 0x8007,
    MessageShowCursor = 0x8008,
    MessageEndLoop = 0x8009, // a thread message: ends the innermost message loop
    MessageClose = 0x800A,
    MessageSetText = 0x800B, // second parameter: a heap String the receiver deletes
    MessageShowCursorNow = 0x800E,
    UserMessageFirst = 0x8064, // WM_APP + 100 ... WM_APP + 200 reach onUserMessage
    UserMessageLast = 0x80C8,
    AppMessage = 0x80C9,
};

// Which mouse button a press or a release was of.
enum class MouseButton { Left, Right };

class Window : public ChildManager, public LayoutItem {
public:
    enum Kind : int32_t { TopLevel = 0, Control = 1, FrameworkChild = 2, Secondary = 3 };

    Window() = default;
    ~Window() override;

    // The procedure of every framework class and every subclassed control.
    static LRESULT CALLBACK windowProcedure(HWND handle, UINT message, WPARAM first, LPARAM second);
    // The framework object of a native window, or null for any other window.
    static Window* fromHandle(HWND handle);

    HWND nativeParent() override { return handle; }
    Window* listener() override { return this; }

    // Event hooks. Flags: true continues with the default processing.
    virtual void onActivate() {}
    virtual bool filterChar(WPARAM code);
    virtual bool canClose() { return true; }
    virtual void onCommand(WPARAM) {}
    virtual bool onContextMenu() { return true; }
    virtual void createChildren() {}
    virtual LRESULT onUserMessage(int32_t, WPARAM, LPARAM) { return 0; }
    virtual void onAppMessage(LPARAM) {}
    virtual void onDeactivate() {}
    virtual void onDestroy() {}
    virtual void onFilesDropped(TOVK_Utils::Array<TOVK_Utils::String>&) {}
    virtual void onDestroyed() {}
    virtual bool filterKeyDown(WPARAM) { return true; }
    virtual bool onKeyUp(WPARAM key);
    virtual void onPositionChanging(WINDOWPOS*) {}
    virtual bool onMaximize() { return true; }
    virtual bool onMinimize() { return true; }
    virtual void onClick() {}
    virtual void onRightClick() {}
    virtual bool onDoubleClick() { return true; }
    virtual bool onButtonDown(WPARAM, MouseButton) { return true; }
    virtual void onMouseEnter() {}
    virtual void onMouseLeave() {}
    virtual void onMouseMove(WPARAM, int32_t, int32_t) {}
    virtual bool onButtonUp(WPARAM, MouseButton) { return true; }
    virtual void onMoved() {}
    virtual bool onMoving(RECT*) { return true; }
    virtual bool onPaint() { return true; }
    virtual void onSized() {}
    virtual void onSizing(RECT*) {}
    virtual bool onRestore() { return true; }
    virtual void onNotifyRightClick() {}
    virtual void onTimer(UINT_PTR) {}

    // Notifications from children; each carries the child's native handle.
    virtual bool childChar(HWND, WPARAM) { return true; }
    virtual bool childKeyDown(HWND, WPARAM) { return true; }
    virtual void childKeyUp(HWND, WPARAM) {}
    virtual void childClicked(HWND) {}
    virtual void listItemSelected(HWND, int32_t, LPARAM) {}
    virtual void listItemDeselected(HWND, int32_t, LPARAM) {}
    virtual void listItemChecked(HWND, int32_t, LPARAM) {}
    virtual void listItemUnchecked(HWND, int32_t, LPARAM) {}
    virtual void childButtonDown(HWND, WPARAM, MouseButton) {}
    virtual void childButtonUp(HWND, WPARAM, MouseButton) {}
    virtual void childMouseMove(HWND, int32_t, int32_t) {}

    // Message-level handlers, called by the dispatch.
    virtual void handleActivate() { onActivate(); }
    virtual bool handleChar(WPARAM code);
    virtual void handleClose();
    virtual void handleAttached();
    virtual void handleAppMessage(LPARAM value) { onAppMessage(value); }
    virtual void handleDeactivate() { onDeactivate(); }
    virtual void handleNcDestroy();
    virtual void handleDropFiles(HDROP drop);
    virtual void handleDestroyed() { onDestroyed(); }
    virtual bool handleKeyDown(WPARAM key);
    virtual bool handleKeyUp(WPARAM key) { return onKeyUp(key); }
    virtual bool handleMaximize() { return onMaximize(); }
    virtual bool handleMinimize() { return onMinimize(); }
    virtual void handleClick() { onClick(); }
    virtual void handleRightClick() { onRightClick(); }
    virtual bool handleDoubleClick() { return onDoubleClick(); }
    virtual bool handleButtonDown(WPARAM keys, MouseButton button);
    virtual void handleMouseEnter() { onMouseEnter(); }
    virtual void handleMouseLeave();
    virtual void handleMouseMove(WPARAM keys, LPARAM position);
    virtual bool handleButtonUp(WPARAM keys, MouseButton button);
    virtual void handleMove() { onMoved(); }
    virtual LRESULT handleMoving(RECT* proposed);
    virtual LRESULT handleNotify(NMHDR* header);
    virtual bool handlePaint() { return onPaint(); }
    virtual void handleSize() { onSized(); }
    virtual void handleSizing(RECT* proposed) { onSizing(proposed); }
    virtual bool handleRestore() { return onRestore(); }
    virtual void handlePositionChanging(WINDOWPOS* position) { onPositionChanging(position); }

    // Text, geometry and control hooks.
    virtual int32_t textLength();
    virtual int32_t getText(TOVK_Utils::Block& target, TOVK_Utils::Width width);
    virtual void setNumber(int32_t value);
    virtual void setText(const TOVK_Utils::String& value);
    virtual void postText(TOVK_Utils::String* value);
    virtual void postTextCopy(const TOVK_Utils::Block& value);
    virtual void setPosition(int32_t x, int32_t y, int32_t width, int32_t height, UINT flags,
                             HWND insertAfter);
    virtual void measure();
    virtual LRESULT controlProcedure(HWND handle, UINT message, WPARAM first, LPARAM second);
    virtual bool takesLayoutWidth() { return false; }

    // Operations.
    void destroy();
    void postClose() { post(MessageClose, 0, 0); }
    void show();
    void enable(bool flag);
    void focus() { SetFocus(handle); }
    void refreshGeometry();
    void moveTo(int32_t x, int32_t y) {
        setPosition(x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER, nullptr);
    }
    void place(int32_t x, int32_t y, int32_t width, int32_t height) override {
        setPosition(x, y, width, height, SWP_NOZORDER, nullptr);
    }
    void resize(int32_t width, int32_t height) {
        setPosition(0, 0, width, height, SWP_NOMOVE, nullptr);
    }
    void resizeClient(int32_t width, int32_t height);
    void fitToContent();
    void centreOn(const Window& other);
    void centreOnScreen();
    void layoutChildren();
    void setFont(Font* value);
    void redraw();
    void setTimer(UINT_PTR id, UINT milliseconds) { SetTimer(handle, id, milliseconds, nullptr); }
    void killTimer(UINT_PTR id) { KillTimer(handle, id); }
    LRESULT send(UINT message, WPARAM first, LPARAM second);
    bool post(UINT message, WPARAM first, LPARAM second);
    void preferredSize(int32_t& width, int32_t& height) override;
    void addToTabRing(Window& control) { tabRing.add(&control); }
    // The window that holds this control, through any panels: itself for a window.
    Window& topWindow();
    // The frame that style and extended style add around a client area.
    RECT frame() const;

    // The dispatch: first layer, the default processing, and the second layer that
    // only the framework's own classes reach.
    LRESULT dispatch(HWND handle, UINT message, WPARAM first, LPARAM second);

    Window* focusedChild = nullptr;
    HWND handle = nullptr;
    DWORD style = 0;
    DWORD extendedStyle = 0;
    ChildManager* owner = nullptr;
    Window* listenerWindow = nullptr;
    Font* font = nullptr;
    WNDPROC classProcedure = nullptr;
    int32_t kind = TopLevel;
    int32_t x = 0, y = 0;
    int32_t clientX = 0, clientY = 0;
    int32_t width = 0, height = 0;
    int32_t clientWidth = 0, clientHeight = 0;
    TabRing tabRing;
    bool shown = false;
    bool enabled = true;
    bool sizeKnown = false;
    bool mouseInside = false;
    bool noPaint = false;
    bool hasFocus = false;
    bool modal = false;
    ATOM classAtom = 0;
    TOVK_Utils::String text;
    LayoutBox layout;
    int32_t preferredWidth = 0, preferredHeight = 0;
    uint8_t buttonState = 0;

private:
    LRESULT defaultProcessing(HWND handle, UINT message, WPARAM first, LPARAM second);
    LRESULT frameworkDispatch(HWND handle, UINT message, WPARAM first, LPARAM second);
    // Yes when the focus came to the window itself: its ancestors take note of it
    // (focusedChild) and its own last focused child gets the focus on. No when the
    // application was activated again, which moves no focus.
    enum class TellAncestors { Yes, No };
    void gainFocus(TellAncestors tell);
    void resetFields();
    bool onOwnThread() const;
};

} // namespace NApp
