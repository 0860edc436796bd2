#include "NappTestUtil.h"

#include "napp/Font.h"
#include "napp/TaskList.h"

#include <gtest/gtest.h>

#include <vector>

using namespace NappTest;
using NApp::ChildManager;
using TOVK_Utils::String;

namespace {

struct RecordingTaskList : NApp::TaskList {
    void onTask(int32_t value) override { tasks.push_back(value); }
    std::vector<int32_t> tasks;
};

struct TaskListTest : ::testing::Test {
    void SetUp() override {
        top.childFont = &font;
        ASSERT_TRUE(makeWindow(top, window, "tasks"));
        ASSERT_TRUE(window.addPanel(list));
        list.addTask(String("Extract Attachments"), 10);
        list.addTask(String("Select All"), 20);
        list.addTask(String("Open the mail client"), 30);
        list.place(0, 0, 250, 200);
        list.layoutChildren();
    }
    void TearDown() override {
        window.destroy();
        pumpPending();
    }
    HWND entry(int i) { return list.entries[i]->handle; }
    NApp::Font font{"Verdana", 8};
    ChildManager top;
    Recorder window;
    RecordingTaskList list;
};

} // namespace

TEST_F(TaskListTest, AClickInsideAnEntryRunsItsTaskOnce) {
    SendMessageA(entry(1), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(entry(1), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ASSERT_EQ(list.tasks.size(), 1u);
    EXPECT_EQ(list.tasks[0], 20);

    // Pressed elsewhere, released over the entry: nothing.
    SendMessageA(entry(0), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    // Pressed, then the mouse left before the release: nothing.
    SendMessageA(entry(2), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(entry(2), WM_MOUSELEAVE, 0, 0);
    SendMessageA(entry(2), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(list.tasks.size(), 1u);

    SendMessageA(entry(2), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageA(entry(2), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ASSERT_EQ(list.tasks.size(), 2u);
    EXPECT_EQ(list.tasks[1], 30);
}

TEST_F(TaskListTest, EntriesStackTwoPixelsApartBelowTheHeading) {
    list.heading.refreshGeometry();
    int32_t below = list.heading.y + list.heading.height;
    for (int i = 0; i < 3; ++i) {
        NApp::TaskListEntry& e = *list.entries[i];
        e.refreshGeometry();
        EXPECT_EQ(e.y, below + 2) << i;
        below = e.y + e.height;
        int32_t w, h;
        e.preferredSize(w, h);
        EXPECT_EQ(e.width, w) << i; // entry width 0: as wide as its text
        EXPECT_EQ(e.textColour, 0xFF0000u);
        EXPECT_EQ(e.taskList, &list);
    }
}

TEST_F(TaskListTest, HeadingIsBoldUnderlinedBlackOnWhiteThreePointsLarger) {
    EXPECT_EQ(textOf(list.heading.text), "Tasks");
    EXPECT_TRUE(list.heading.bold);
    EXPECT_TRUE(list.heading.underline);
    EXPECT_FALSE(list.heading.italic);
    EXPECT_EQ(list.heading.textColour, 0u);
    EXPECT_EQ(list.heading.background.value(), 0xFFFFFFu);
    EXPECT_FALSE(list.heading.background.isSystem());
    EXPECT_EQ(list.heading.font, &list.headingFont);
    EXPECT_EQ(textOf(list.headingFont.face()), "Verdana");
    EXPECT_EQ(list.headingFont.size(), 11);
    EXPECT_EQ(list.layout.direction, NApp::LayoutBox::Down);
    EXPECT_EQ(list.layout.spacing, 2);
    EXPECT_EQ(list.layout.fixedWidth, 0);
}

TEST_F(TaskListTest, FixedEntryWidthReachesEveryLaterEntry) {
    list.entryWidth = 180;
    list.addTask(String("Wide"), 40);
    list.layoutChildren();
    NApp::TaskListEntry& wide = *list.entries[3];
    wide.refreshGeometry();
    EXPECT_EQ(wide.width, 180);
}
