#include "NappTestUtil.h"

#include "napp/Button.h"
#include "napp/Font.h"
#include "napp/Static2.h"

#include "utils/Thread2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

using namespace NappTest;
using NApp::ChildManager;
using NApp::Window;
using TOVK_Utils::String;

namespace {

// Runs a function on a worker thread.
class Worker : public TOVK_Utils::Thread2 {
public:
    explicit Worker(std::function<void()> body) : body_(std::move(body)) {}
    void run() override { body_(); }
    bool startNow() { return start(0, 0) != StartFailed; }

private:
    std::function<void()> body_;
};

} // namespace

TEST(Window, ModalWindowDisablesItsParentUntilDestroyed) {
    ChildManager top;
    Recorder parent, dialog, nested;
    ASSERT_TRUE(makeWindow(top, parent, "parent"));
    ASSERT_TRUE(parent.createWindow(dialog, String("dialog"), nullptr, nullptr,
                                    {.modal = true, .resizable = true}));
    EXPECT_EQ(dialog.kind, Window::Secondary);
    EXPECT_TRUE(dialog.modal);
    EXPECT_FALSE(IsWindowEnabled(parent.handle));
    EXPECT_EQ(GetWindow(dialog.handle, GW_OWNER), parent.handle);

    // A second modal window over the already disabled parent did not disable it, so its
    // end must not enable it while the first is still open.
    ASSERT_TRUE(parent.createWindow(nested, String("nested"), nullptr, nullptr,
                                    {.modal = true, .resizable = true}));
    EXPECT_FALSE(nested.modal);
    nested.destroy();
    EXPECT_FALSE(IsWindowEnabled(parent.handle));

    dialog.destroy();
    EXPECT_TRUE(IsWindowEnabled(parent.handle));
    EXPECT_FALSE(dialog.modal);
    EXPECT_EQ(dialog.classAtom, 0);
    parent.destroy();
    pumpPending();
}

TEST(Window, ModalWindowTakenWithItsParentStillEnablesIt) {
    ChildManager top;
    Recorder parent, dialog;
    ASSERT_TRUE(makeWindow(top, parent, "parent"));
    ASSERT_TRUE(parent.createWindow(dialog, String("dialog"), nullptr, nullptr,
                                    {.modal = true, .resizable = true}));
    DestroyWindow(dialog.handle); // not through destroy()
    EXPECT_TRUE(IsWindowEnabled(parent.handle));
    EXPECT_EQ(dialog.handle, nullptr);
    EXPECT_EQ(parent.childCount(), 0);
    parent.destroy();
    pumpPending();
}

TEST(Window, TextRoundTripsNarrowAndWide) {
    ChildManager top;
    Recorder window;
    ASSERT_TRUE(makeWindow(top, window, "first"));
    EXPECT_EQ(nativeText(window.handle), "first");

    String narrow;
    EXPECT_EQ(window.getText(narrow, TOVK_Utils::Width::Narrow), 5);
    EXPECT_EQ(textOf(narrow), "first");

    // "Grüße" as UTF-16, set through the wide call.
    const char16_t chars[] = {u'G', u'r', 0xFC, 0xDF, u'e'};
    String wide;
    wide.setWide(true);
    wide.assign(chars, 5);
    window.setText(wide);
    EXPECT_TRUE(window.text.isWide());
    String back;
    EXPECT_EQ(window.getText(back, TOVK_Utils::Width::Wide), 5);
    ASSERT_TRUE(back.isWide());
    EXPECT_TRUE(back.equals(wide));

    window.setNumber(-42);
    EXPECT_EQ(nativeText(window.handle), "-42");
    EXPECT_EQ(textOf(window.text), "-42");
    window.destroy();
}

TEST(Window, TextFromAnotherThreadIsSetOnTheWindowsThread) {
    struct Tracking : Recorder {
        void setText(const String& value) override {
            (GetCurrentThreadId() == uiThread ? onUi : onOther)++;
            Recorder::setText(value);
        }
        DWORD uiThread = GetCurrentThreadId();
        std::atomic<int> onUi{0}, onOther{0};
    } window;
    ChildManager top;
    ASSERT_TRUE(makeWindow(top, window, "before"));
    window.onUi = 0;
    window.sizeKnown = true;

    std::atomic<bool> done{false};
    Worker worker([&] {
        window.setText(String("from the worker"));
        done = true;
    });
    ASSERT_TRUE(worker.startNow());
    ASSERT_TRUE(pumpUntil([&] { return done.load(); }));
    EXPECT_TRUE(worker.join(15000));
    EXPECT_EQ(window.onOther, 1);
    EXPECT_EQ(window.onUi, 1); // the object's part ran here
    EXPECT_EQ(textOf(window.text), "from the worker");
    EXPECT_FALSE(window.sizeKnown);
    EXPECT_EQ(nativeText(window.handle), "from the worker");
    window.destroy();
}

TEST(Window, PostedTextsArriveInOrderAndAreFreed) {
    ChildManager top;
    Recorder window;
    ASSERT_TRUE(makeWindow(top, window, "start"));
    Worker worker([&] {
        for (int i = 1; i <= 50; ++i) {
            String text;
            text.setDecimal(i);
            window.postTextCopy(text);
        }
        window.postText(new String("last"));
    });
    ASSERT_TRUE(worker.startNow());
    EXPECT_TRUE(worker.join(15000));
    ASSERT_TRUE(pumpUntil([&] { return nativeText(window.handle) == "last"; }));
    EXPECT_EQ(textOf(window.text), "last");
    window.destroy();
    // Posting to a window that is gone neither crashes nor leaks into a later window.
    window.postText(new String("lost"));
    pumpPending();
}

TEST(Window, GeometryFollowsTheLayoutTree) {
    ChildManager top;
    Recorder window;
    ASSERT_TRUE(makeWindow(top, window, "geometry"));
    NApp::Static2 first, second;
    ASSERT_TRUE(window.addLabel(first, String("A first label")));
    ASSERT_TRUE(window.addLabel(second, String("Second")));
    window.layout.setDirection(NApp::LayoutBox::Down);
    window.layout.setSpacing(6);
    window.layout.addWindow(&first);
    window.layout.addWindow(&second);

    window.fitToContent();
    window.refreshGeometry();
    int32_t w1, h1, w2, h2;
    first.preferredSize(w1, h1);
    second.preferredSize(w2, h2);
    EXPECT_EQ(window.clientWidth, std::max(w1, w2) + 12);
    EXPECT_EQ(window.clientHeight, h1 + 6 + h2 + 12);

    window.layoutChildren();
    first.refreshGeometry();
    second.refreshGeometry();
    EXPECT_EQ(first.x, 6);
    EXPECT_EQ(first.y, 6);
    EXPECT_EQ(second.y, 6 + h1 + 6);
    EXPECT_EQ(second.width, w2);

    // A resize lays the children out again.
    window.layout.setFixedSize(-100, -100);
    window.layout.child(1)->setFixedSize(-100, 0);
    window.resize(500, 300);
    second.refreshGeometry();
    EXPECT_EQ(second.width, window.clientWidth - 12);
    window.destroy();
}

TEST(Window, CentringUsesTruncatedHalves) {
    ChildManager top;
    Recorder big, small;
    ASSERT_TRUE(makeWindow(top, big, "big"));
    ASSERT_TRUE(makeWindow(top, small, "small"));
    big.setPosition(101, 51, 401, 301, SWP_NOZORDER, nullptr);
    big.refreshGeometry();
    small.resize(100, 51);
    small.refreshGeometry();
    small.centreOn(big);
    EXPECT_EQ(small.x, 101 + 200 - 50);
    EXPECT_EQ(small.y, 51 + 150 - 25);
    small.refreshGeometry();
    EXPECT_EQ(small.x, 251);
    EXPECT_EQ(small.y, 176);

    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    small.centreOnScreen();
    EXPECT_EQ(small.x, area.left + (area.right - area.left) / 2 - 50);
    EXPECT_EQ(small.y, area.top + (area.bottom - area.top) / 2 - 25);
    big.destroy();
    small.destroy();
}

TEST(Window, TabRingSkipsDisabledControlsAndGivesUpWhenAllAre) {
    ChildManager top;
    Recorder window;
    ASSERT_TRUE(makeWindow(top, window, "tabs"));
    NApp::Button a, b, c;
    window.addButton(a, String("a"));
    window.addButton(b, String("b"));
    window.addButton(c, String("c"));
    window.addToTabRing(a);
    window.addToTabRing(b);
    window.addToTabRing(c);

    window.tabRing.focusNext();
    EXPECT_EQ(window.tabRing.current(), &a);
    b.enable(false);
    window.tabRing.focusNext();
    EXPECT_EQ(window.tabRing.current(), &c);
    window.tabRing.focusNext();
    EXPECT_EQ(window.tabRing.current(), &a); // wraps
    window.tabRing.focusPrevious();
    EXPECT_EQ(window.tabRing.current(), &c);

    // Tab typed in a control moves through its owner's ring.
    SendMessageA(c.handle, WM_CHAR, '\t', 0);
    EXPECT_EQ(window.tabRing.current(), &a);

    a.enable(false);
    c.enable(false);
    window.tabRing.focusNext();
    EXPECT_EQ(window.tabRing.current(), nullptr);
    window.destroy();
}

TEST(Window, OnlyTheLastTopLevelWindowEndsTheApplication) {
    TestApp app;
    Recorder main1, main2, secondary;
    ASSERT_TRUE(app.createMainWindow(main1, String("one"), nullptr, nullptr, {.resizable = true}));
    ASSERT_TRUE(app.createMainWindow(main2, String("two"), nullptr, nullptr, {.resizable = true}));
    ASSERT_TRUE(app.topLevel.createWindow(secondary, String("three"), nullptr, nullptr,
                                          {.resizable = true}));
    EXPECT_EQ(main1.application, &app);
    EXPECT_EQ(app.topLevel.childCount(), 3);

    main1.destroy();
    EXPECT_FALSE(pumpPending());
    secondary.destroy(); // a secondary window never ends it
    EXPECT_FALSE(pumpPending());
    main2.destroy(); // the last main window does, though none else is left either way
    EXPECT_TRUE(pumpPending());
    EXPECT_EQ(app.topLevel.childCount(), 0);
}

TEST(Window, SecondaryWindowLeftOverDoesNotKeepTheApplicationRunning) {
    TestApp app;
    Recorder main, secondary;
    ASSERT_TRUE(app.createMainWindow(main, String("main"), nullptr, nullptr, {.resizable = true}));
    ASSERT_TRUE(app.topLevel.createWindow(secondary, String("left over"), nullptr, nullptr,
                                          {.resizable = true}));
    main.destroy();
    EXPECT_TRUE(pumpPending());
    secondary.destroy();
}

TEST(Window, CreatingAgainReplacesTheNativeWindow) {
    ChildManager top;
    Recorder window;
    ASSERT_TRUE(makeWindow(top, window, "once"));
    HWND first = window.handle;
    EXPECT_EQ(window.created, 1);
    ASSERT_TRUE(makeWindow(top, window, "twice"));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_NE(window.handle, first);
    EXPECT_EQ(window.created, 2);
    EXPECT_EQ(window.destroyed, 1);
    EXPECT_EQ(top.childCount(), 1);
    EXPECT_EQ(Window::fromHandle(window.handle), &window);
    window.destroy();
    EXPECT_EQ(top.childCount(), 0);
}

TEST(Window, ChildrenInheritTheDefaultFont) {
    NApp::Font font("Tahoma", 9);
    ChildManager top;
    top.childFont = &font;
    Recorder window;
    ASSERT_TRUE(makeWindow(top, window, "fonts"));
    NApp::Button button;
    window.addButton(button, String("Go"));
    EXPECT_EQ(window.font, &font);
    EXPECT_EQ(button.font, &font);
    EXPECT_EQ(reinterpret_cast<HFONT>(button.send(WM_GETFONT, 0, 0)), font.plain());
    window.destroy();
}

TEST(Font, EachStyleIsMadeOnceAndDroppedOnChange) {
    NApp::Font font("Verdana", 8);
    EXPECT_FALSE(font.isCached(0));
    HFONT bold = font.get(NApp::Font::Bold);
    ASSERT_NE(bold, nullptr);
    EXPECT_EQ(font.get(NApp::Font::Bold), bold);
    EXPECT_NE(font.plain(), bold);
    LOGFONTA info = {};
    GetObjectA(font.get(NApp::Font::Bold | NApp::Font::Underline), sizeof info, &info);
    EXPECT_EQ(info.lfWeight, 700);
    EXPECT_TRUE(info.lfUnderline);
    EXPECT_FALSE(info.lfItalic);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(info.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    EXPECT_STREQ(info.lfFaceName, "Verdana");

    font.set("Tahoma", 12);
    EXPECT_FALSE(font.isCached(NApp::Font::Bold));
    EXPECT_EQ(textOf(font.face()), "Tahoma");
    EXPECT_GT(font.lineHeight(), 2);
    int32_t narrowW, narrowH, wideW, wideH;
    font.textExtent(String("i"), 0, narrowW, narrowH);
    font.textExtent(String("WWWW"), 0, wideW, wideH);
    EXPECT_GT(wideW, narrowW);
    EXPECT_EQ(font.lineHeight(), narrowH + 2);
}
