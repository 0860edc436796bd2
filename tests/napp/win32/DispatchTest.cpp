#include "NappTestUtil.h"

#include "napp/Button.h"
#include "napp/WindowClassRegistry.h"

#include <gtest/gtest.h>

using namespace NappTest;
using NApp::ChildManager;
using NApp::Window;

namespace {

struct DispatchTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(makeWindow(manager, window, "dispatch"));
        pumpPending();
    }
    void TearDown() override {
        window.destroy();
        pumpPending();
    }
    LRESULT send(UINT message, WPARAM first = 0, LPARAM second = 0) {
        return SendMessageA(window.handle, message, first, second);
    }
    ChildManager manager;
    Recorder window;
};

} // namespace

TEST_F(DispatchTest, ApplicationRangeReachesUserMessageWithItsIndex) {
    EXPECT_EQ(send(0x8064), 1000);
    EXPECT_EQ(window.lastUserIndex, 0);
    EXPECT_EQ(send(0x80C8), 1100);
    EXPECT_EQ(window.lastUserIndex, 100);
    EXPECT_EQ(window.userMessages, 2);

    send(0x8063);
    send(0x80C9, 0, 77);
    EXPECT_EQ(window.userMessages, 2);
    EXPECT_EQ(window.lastAppValue, 77);
}

TEST_F(DispatchTest, ClickNeedsAPressInsideAndLeavingForgetsIt) {
    send(WM_LBUTTONUP);
    EXPECT_EQ(window.clicks, 0);

    send(WM_LBUTTONDOWN);
    send(WM_LBUTTONUP);
    EXPECT_EQ(window.clicks, 1);
    send(WM_LBUTTONUP); // a second release is not a second click
    EXPECT_EQ(window.clicks, 1);

    send(WM_LBUTTONDOWN);
    send(WM_MOUSELEAVE);
    send(WM_LBUTTONUP);
    EXPECT_EQ(window.clicks, 1);

    send(WM_RBUTTONUP);
    EXPECT_EQ(window.rightClicks, 0);
    send(WM_RBUTTONDOWN);
    send(WM_LBUTTONUP); // the left release does not complete a right press
    send(WM_RBUTTONUP);
    EXPECT_EQ(window.rightClicks, 1);
    EXPECT_EQ(window.clicks, 1);
}

TEST_F(DispatchTest, MouseEntersOnceUntilItLeaves) {
    send(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    send(WM_MOUSEMOVE, 0, MAKELPARAM(4, 4));
    EXPECT_EQ(window.enters, 1);
    EXPECT_TRUE(window.mouseInside);
    send(WM_MOUSELEAVE);
    EXPECT_FALSE(window.mouseInside);
    EXPECT_EQ(window.leaves, 1);
    send(WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(window.enters, 2);
}

TEST_F(DispatchTest, CloseHonoursCanClose) {
    window.allowClose = false;
    EXPECT_EQ(send(WM_CLOSE), 0);
    EXPECT_TRUE(IsWindow(window.handle));
    EXPECT_EQ(window.destroyed, 0);

    window.allowClose = true;
    HWND handle = window.handle;
    send(WM_CLOSE);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(window.destroyed, 1);
    EXPECT_EQ(window.handle, nullptr); // the teardown reset the object
    EXPECT_EQ(manager.childCount(), 0);
}

TEST_F(DispatchTest, DestroyMessageAloneDoesNothing) {
    EXPECT_EQ(send(WM_DESTROY), 0);
    EXPECT_TRUE(IsWindow(window.handle));
    EXPECT_EQ(window.destroyed, 0);
    EXPECT_EQ(manager.childCount(), 1);
}

TEST_F(DispatchTest, MinimizedSizeNeitherMeasuresNorLaysOut) {
    int sizedBefore = window.sized;
    window.width = -7;
    send(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
    EXPECT_EQ(window.minimized, 1);
    EXPECT_EQ(window.sized, sizedBefore);
    EXPECT_EQ(window.width, -7);

    send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(10, 10));
    EXPECT_EQ(window.sized, sizedBefore + 1);
    RECT r;
    GetWindowRect(window.handle, &r);
    EXPECT_EQ(window.width, r.right - r.left);
}

TEST_F(DispatchTest, NoPaintSwallowsPaintMessages) {
    window.show();
    pumpPending();
    int paintsBefore = window.paints;
    window.noPaint = true;
    EXPECT_EQ(send(WM_PAINT), 0);
    HDC dc = GetDC(window.handle);
    EXPECT_EQ(send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), 0);
    ReleaseDC(window.handle, dc);
    EXPECT_EQ(window.paints, paintsBefore);
    window.noPaint = false;
    InvalidateRect(window.handle, nullptr, TRUE);
    UpdateWindow(window.handle);
    EXPECT_GT(window.paints, paintsBefore);
}

TEST_F(DispatchTest, PostedCloseDestroysOnArrival) {
    HWND handle = window.handle;
    window.postClose();
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_TRUE(pumpUntil([&] { return !IsWindow(handle); }));
    EXPECT_EQ(window.destroyed, 1);
}

TEST_F(DispatchTest, CommandsReachOnlyChildrenThatAreOurs) {
    Recorder stranger;
    ChildManager other;
    ASSERT_TRUE(makeWindow(other, stranger, "stranger"));
    send(WM_COMMAND, 0, reinterpret_cast<LPARAM>(stranger.handle));
    EXPECT_EQ(stranger.commands, 0);

    Recorder child;
    ASSERT_TRUE(window.addPanel(child));
    send(WM_COMMAND, MAKEWPARAM(5, 0), reinterpret_cast<LPARAM>(child.handle));
    EXPECT_EQ(child.commands, 1);
    stranger.destroy();
}

TEST_F(DispatchTest, OnlyButtonClickedNotificationsCountAsClicks) {
    struct CountingButton : NApp::Button {
        void onClicked() override { ++own; }
        int own = 0;
    } button;
    ASSERT_TRUE(window.addButton(button, "Press"));
    button.place(10, 10, 80, 30);
    send(WM_COMMAND, MAKEWPARAM(0, BN_SETFOCUS), reinterpret_cast<LPARAM>(button.handle));
    EXPECT_EQ(button.own, 0);
    EXPECT_EQ(window.childClicks, 0);
    send(WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(button.handle));
    EXPECT_EQ(button.own, 1);
    EXPECT_EQ(window.childClicks, 1);
    EXPECT_EQ(window.lastChild, button.handle);

    // A real press of the system button goes the same way.
    SendMessageA(button.handle, BM_CLICK, 0, 0);
    pumpPending();
    EXPECT_EQ(button.own, 2);
    EXPECT_EQ(window.childClicks, 2);
}

TEST(MessageLoop, EndMessageEndsOnlyTheInnermostLoop) {
    struct Nesting : Recorder {
        void onTimer(UINT_PTR id) override {
            killTimer(id);
            if (id == 2) {
                secondEnded = true; // only now may the second inner loop end
                NApp::App::endMessageLoop();
                return;
            }
            NApp::App::endMessageLoop();
            firstInner = NApp::App::runMessageLoop();
            setTimer(2, 1);
            secondInner = NApp::App::runMessageLoop();
            endedBeforeItsMessage = !secondEnded;
            NApp::App::endMessageLoop(); // for the outer loop
        }
        int firstInner = -1, secondInner = -1;
        bool secondEnded = false, endedBeforeItsMessage = true;
    } window;
    ChildManager manager;
    ASSERT_TRUE(makeWindow(manager, window, "loops"));
    window.setTimer(1, 1);
    int outer = NApp::App::runMessageLoop();
    EXPECT_NE(outer, 0);
    EXPECT_NE(window.firstInner, 0);
    EXPECT_NE(window.firstInner, -1);
    EXPECT_NE(window.secondInner, 0);
    EXPECT_TRUE(window.secondEnded);
    EXPECT_FALSE(window.endedBeforeItsMessage);
    window.destroy();
}

TEST(MessageLoop, QuitEndsTheLoopWithZero) {
    PostQuitMessage(0);
    EXPECT_EQ(NApp::App::runMessageLoop(), 0);
}

TEST(WindowClassRegistry, CursorChoicesAndReRegistration) {
    auto& registry = NApp::WindowClassRegistry::instance();
    ATOM slot = 0;
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    registry.registerClass(slot, nullptr, nullptr, reinterpret_cast<HCURSOR>(-1), nullptr, nullptr);
    ASSERT_NE(slot, 0);
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), MAKEINTATOM(slot), &info));
    EXPECT_EQ(info.hCursor, nullptr);
    EXPECT_EQ(info.lpfnWndProc, &Window::windowProcedure);
    EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));

    // The old class is gone before the new one is made (the system may reuse its atom).
    registry.registerClass(slot, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(slot, 0);
    ASSERT_TRUE(GetClassInfoExA(GetModuleHandleA(nullptr), MAKEINTATOM(slot), &info));
    EXPECT_EQ(info.hCursor, registry.arrowCursor());
    EXPECT_NE(info.hCursor, nullptr);

    NApp::WindowClassRegistry::unregisterClass(slot);
    EXPECT_EQ(slot, 0);
}

TEST(WindowClassRegistry, SharedClassesAndLibrariesAreMadeOnce) {
    auto& registry = NApp::WindowClassRegistry::instance();
    ATOM framework = registry.frameworkClass();
    EXPECT_NE(framework, 0);
    EXPECT_EQ(registry.frameworkClass(), framework);
    EXPECT_NE(registry.linkClass(), framework);
    EXPECT_EQ(registry.linkClass(), registry.linkClass());

    // The wide class on a system with the wide calls, as every control there.
    EXPECT_STREQ(registry.richEditClass(), "RichEdit20W");
    HMODULE library = registry.richEditLibrary();
    EXPECT_NE(library, nullptr);
    registry.richEditClass();
    EXPECT_EQ(registry.richEditLibrary(), library);
    EXPECT_TRUE(registry.controlsInitialised());

    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(
        GetClassInfoExA(GetModuleHandleA(nullptr), MAKEINTATOM(registry.linkClass()), &info));
    EXPECT_EQ(info.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(0x7F89)));
}
