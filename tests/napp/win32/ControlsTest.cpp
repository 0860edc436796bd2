#include "NappTestUtil.h"

#include "napp/Button.h"
#include "napp/CheckBox.h"
#include "napp/Clipboard.h"
#include "napp/Edit.h"
#include "napp/Font.h"
#include "napp/Hyperlink.h"
#include "napp/ListView.h"
#include "napp/RichEdit.h"
#include "napp/Static2.h"

#include <gtest/gtest.h>

using namespace NappTest;
using NApp::ChildManager;
using TOVK_Utils::String;

namespace {

struct ControlsTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(makeWindow(manager, window, "controls")); }
    void TearDown() override {
        window.destroy();
        pumpPending();
    }
    ChildManager manager;
    Recorder window;
};

std::string richText(NApp::RichEdit& edit) {
    String text;
    edit.getText(text, TOVK_Utils::Width::Narrow);
    return textOf(text);
}

} // namespace

TEST_F(ControlsTest, CheckBoxIsMadeOnePixelNarrowerAndReportsItsState) {
    NApp::CheckBox box;
    ASSERT_TRUE(window.addCheckBox(box, String("Tick me")));
    box.place(5, 5, 100, 20);
    RECT r;
    GetWindowRect(box.handle, &r);
    EXPECT_EQ(r.right - r.left, 99);
    EXPECT_FALSE(box.isChecked());
    box.setChecked(true);
    EXPECT_TRUE(box.isChecked());
    SendMessageA(box.handle, BM_CLICK, 0, 0); // an automatic box flips itself
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(window.childClicks, 1);
}

TEST_F(ControlsTest, EmptyLabelKeepsALineOfHeight) {
    NApp::Static2 empty, blank;
    ASSERT_TRUE(window.addLabel(empty, String("")));
    ASSERT_TRUE(window.addLabel(blank, String(" ")));
    EXPECT_EQ(textOf(empty.text), " ");
    int32_t w1, h1, w2, h2;
    empty.preferredSize(w1, h1);
    blank.preferredSize(w2, h2);
    EXPECT_GT(h1, 1);
    EXPECT_EQ(h1, h2);
    EXPECT_EQ(w1, w2);
    EXPECT_TRUE(empty.takesLayoutWidth());
}

TEST_F(ControlsTest, LabelStylesChangeItsMeasure) {
    NApp::Font font("Verdana", 10);
    NApp::Static2 label;
    ASSERT_TRUE(window.addLabel(label, String("Some words to measure")));
    label.setFont(&font);
    int32_t plainW, plainH;
    label.preferredSize(plainW, plainH);
    label.setStyle({.bold = true}, NApp::Static2::Relayout::No);
    EXPECT_EQ(label.fontStyle(), NApp::Font::Bold);
    EXPECT_GT(label.preferredWidth, plainW);
}

TEST_F(ControlsTest, MakersLinkIsBlueAndPointsAtTheHomePage) {
    NApp::KlovinwareHyperlink link;
    ASSERT_TRUE(window.addLink(link, String("klovinware.example"), NApp::Border::None));
    EXPECT_EQ(link.textColour, 0xFF0000u);
    EXPECT_EQ(link.background.value(), 0xFFFFFFu);
    EXPECT_STREQ(NApp::KlovinwareHyperlink::address, "https://klovinware.example/");
    // The link underlines itself while the mouse is over it.
    SendMessageA(link.handle, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(link.underline);
    SendMessageA(link.handle, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(link.underline);
}

TEST_F(ControlsTest, TextControlsHoldWideTextWhole) {
    // Characters no 8-bit code page of the test system has: through the 8-bit calls they
    // would come back as question marks.
    const std::u16string chars = u"\u8868\u8a08\u7b97 \u0442\u0435\u0441\u0442.xls";
    String wide;
    wide.setWide(true);
    wide.assign(chars.data(), int32_t(chars.size()));
    NApp::Button button;
    NApp::CheckBox box;
    NApp::Edit edit;
    NApp::RichEdit rich;
    ASSERT_TRUE(window.addButton(button, wide));
    ASSERT_TRUE(window.addCheckBox(box, wide));
    ASSERT_TRUE(window.addEdit(edit, 0));
    ASSERT_TRUE(window.addRichEdit(rich));
    edit.setText(wide);
    rich.setText(wide);
    for (HWND control : {button.handle, box.handle, edit.handle, rich.handle}) {
        EXPECT_TRUE(IsWindowUnicode(control));
        wchar_t text[64] = {};
        GetWindowTextW(control, text, 64);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(text)), chars);
    }
    String back;
    rich.getText(back, TOVK_Utils::Width::Wide);
    EXPECT_EQ(std::u16string(back.w_str(), size_t(back.length())), chars);
    rich.select(0, 3);
    rich.selectedText(back, TOVK_Utils::Width::Wide);
    EXPECT_EQ(std::u16string(back.w_str(), size_t(back.length())), chars.substr(0, 3));

    // 8-bit text still reaches them as it is, and a click still reaches the listener.
    edit.setText(String("plain"));
    EXPECT_EQ(nativeText(edit.handle), "plain");
    const int clicks = window.childClicks;
    button.place(10, 10, 80, 30);
    SendMessageA(button.handle, BM_CLICK, 0, 0);
    pumpPending();
    EXPECT_EQ(window.childClicks, clicks + 1);
}

TEST_F(ControlsTest, RichEditAppendsLinesWithoutALeadingBreak) {
    NApp::RichEdit edit;
    ASSERT_TRUE(window.addRichEdit(edit));
    edit.place(0, 0, 200, 100);
    edit.appendText(String("first"));
    EXPECT_EQ(richText(edit), "first");
    edit.appendText(String("second"));
    EXPECT_EQ(richText(edit), "first\r\nsecond");
    EXPECT_FALSE(edit.noPaint);

    // Keep-selection mode leaves a caret that is not at the end where it was.
    edit.scrollMode = NApp::RichEdit::KeepSelection;
    edit.select(2, 2);
    edit.appendText(String("third"));
    DWORD start = 0, end = 0;
    edit.send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 2u);

    edit.scrollMode = 7; // unknown modes append nothing
    edit.appendText(String("never"));
    EXPECT_EQ(richText(edit), "first\r\nsecond\r\nthird");
}

TEST_F(ControlsTest, RichEditMenuCopiesCutsAndPastes) {
    NApp::RichEdit edit;
    ASSERT_TRUE(window.addRichEdit(edit));
    edit.setText(String("hello world"));
    edit.select(0, 5);
    String selected;
    edit.selectedText(selected, TOVK_Utils::Width::Narrow);
    EXPECT_EQ(textOf(selected), "hello");

    edit.menu.onItem(4); // Copy
    String clip;
    ASSERT_TRUE(NApp::getClipboardText(clip, TOVK_Utils::Width::Narrow));
    EXPECT_EQ(textOf(clip), "hello");

    edit.select(5, 11);
    edit.menu.onItem(3); // Cut
    EXPECT_EQ(richText(edit), "hello");
    ASSERT_TRUE(NApp::getClipboardText(clip, TOVK_Utils::Width::Narrow));
    EXPECT_EQ(textOf(clip), " world");

    edit.select(0, 0);
    edit.menu.onItem(5); // Paste
    EXPECT_EQ(richText(edit), " worldhello");

    // Paste with an empty clipboard still replaces the selection, with nothing.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_FALSE(NApp::getClipboardText(clip, TOVK_Utils::Width::Narrow));
    EXPECT_EQ(clip.length(), 0);
    edit.select(0, 6);
    edit.menu.onItem(5);
    EXPECT_EQ(richText(edit), "hello");
}

TEST_F(ControlsTest, DefaultMenuListsItsItemsAndAnswersByPosition) {
    NApp::RichEdit edit;
    ASSERT_TRUE(window.addRichEdit(edit));
    edit.menu.createPopup(NApp::Menu::CheckMarks::Allowed, NApp::Menu::Loop::Modeless);
    ASSERT_EQ(GetMenuItemCount(edit.menu.menu), 6);
    char name[32];
    GetMenuStringA(edit.menu.menu, 4, name, sizeof name, MF_BYPOSITION);
    EXPECT_STREQ(name, "Copy");
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE;
    GetMenuItemInfoA(edit.menu.menu, 2, TRUE, &item);
    EXPECT_TRUE(item.fType & MFT_SEPARATOR);

    // A menu command arriving at the rich edit reaches the menu object by position.
    edit.setText(String("abc"));
    edit.select(0, 3);
    SendMessageA(edit.handle, WM_MENUCOMMAND, 3, reinterpret_cast<LPARAM>(edit.menu.menu));
    EXPECT_EQ(richText(edit), "");
}

namespace {

struct ListFixture : ControlsTest {
    void fill(NApp::RowClick click) {
        ASSERT_TRUE(window.addReport(list, 0, 0, LVS_EX_CHECKBOXES, click));
        list.place(0, 0, 300, 200);
        list.appendColumn(String("Name"), 150);
        list.appendColumn(String("Size"), 80);
        const char* names[] = {"Inbox", "Sent Items", "Deleted Items", "Drafts"};
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(list.appendItem(String(names[i]), 100 + i), i);
        list.setItemText(String("12 KB"), 1, 1);
    }
    NApp::Report list;
};

} // namespace

TEST_F(ListFixture, CheckMarksAndTheWalkOverTickedRows) {
    fill(NApp::RowClick::Selects);
    EXPECT_EQ(list.itemCount, 4);
    EXPECT_EQ(list.columnCount, 2);
    String text;
    list.itemText(text, 1, 1, false);
    EXPECT_EQ(textOf(text), "12 KB");
    list.itemText(text, 2, 0, true);
    EXPECT_TRUE(text.isWide());
    EXPECT_EQ(textOf(text), "Deleted Items");
    // Wide cell texts stay wide both ways: a name outside the ANSI code page survives.
    const char16_t greek[] = {0x03A9, 0x03BC, 0x03B5, 0x03B3, 0x03B1};
    String wide;
    wide.setWide(true);
    wide.assign(greek, 5);
    list.setItemText(wide, 3, 0);
    list.itemText(text, 3, 0, true);
    EXPECT_TRUE(text.equals(wide));

    EXPECT_EQ(list.nextChecked(-1), -1);
    list.setChecked(1, true);
    list.setChecked(3, true);
    EXPECT_TRUE(list.isChecked(1));
    EXPECT_FALSE(list.isChecked(2));
    EXPECT_EQ(list.nextChecked(-1), 1);
    EXPECT_EQ(list.nextChecked(1), 3);
    EXPECT_EQ(list.nextChecked(3), -1);
    EXPECT_EQ(window.checkedNotices, 2);
    EXPECT_EQ(window.lastItem, 3);

    list.toggleChecked(3);
    EXPECT_EQ(window.uncheckedNotices, 1);
    EXPECT_EQ(list.nextChecked(1), -1);

    // A row without any state image is not ticked either.
    LVITEMA none = {};
    none.stateMask = LVIS_STATEIMAGEMASK;
    none.state = 0;
    list.send(LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&none));
    EXPECT_FALSE(list.isChecked(0));
    EXPECT_EQ(list.nextChecked(-1), 1);

    list.setAllChecked(true);
    EXPECT_EQ(list.nextChecked(-1), 0);
    EXPECT_EQ(list.nextChecked(2), 3);

    list.removeAll();
    EXPECT_EQ(list.itemCount, 0);
    EXPECT_EQ(list.nextChecked(-1), -1);
}

TEST_F(ListFixture, InAClickTogglesListSelectingFlipsTheMarkInstead) {
    fill(NApp::RowClick::Toggles);
    EXPECT_TRUE(list.listStyle & LVS_EX_ONECLICKACTIVATE);
    LVITEMA select = {};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    list.send(LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&select));
    EXPECT_TRUE(list.isChecked(2));
    EXPECT_EQ(list.send(LVM_GETSELECTEDCOUNT, 0, 0), 0);
    EXPECT_EQ(window.checkedNotices, 1);
    EXPECT_EQ(window.selectedNotices, 0);

    list.send(LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&select));
    EXPECT_FALSE(list.isChecked(2));
    EXPECT_EQ(window.uncheckedNotices, 1);
    EXPECT_EQ(list.nextChecked(-1), -1);
}

TEST_F(ListFixture, AnOrdinaryListSelects) {
    fill(NApp::RowClick::Selects);
    LVITEMA select = {};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    list.send(LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
    EXPECT_EQ(list.send(LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(window.selectedNotices, 1);
    EXPECT_FALSE(list.isChecked(0));
}
