// A sample window with every control, captured from the screen into a PNG beside the
// test program, for people to look at; the test checks that something was drawn.
#include "NappTestUtil.h"
#include "ScreenCapture.h"

#include "napp/Button.h"
#include "napp/CheckBox.h"
#include "napp/Edit.h"
#include "napp/Font.h"
#include "napp/Hyperlink.h"
#include "napp/ListView.h"
#include "napp/ProgressBar.h"
#include "napp/RichEdit.h"
#include "napp/Static2.h"
#include "napp/TaskList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace NappTest;
using NApp::LayoutBox;
using TOVK_Utils::String;

namespace {

struct SampleWindow : Recorder {
    void createChildren() override {
        layout.setSpacing(6);
        layout.setDirection(LayoutBox::Right);
        addPanel(tasks);
        tasks.addTask(String("Extract Attachments"), 1);
        tasks.addTask(String("Select All"), 2);
        tasks.addTask(String("Select None"), 3);
        layout.addWindow(&tasks, 7, 170, -100);

        LayoutBox* column = layout.addColumn(7, -100, -100);
        addLabel(label, String("Mailboxes of the store:"));
        column->addWindow(&label, 7);
        addReport(list, 0, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT, NApp::RowClick::Toggles);
        list.appendColumn(String("Mailbox"), 180);
        list.appendColumn(String("Size"), 80);
        list.appendItem(String("Inbox"), 0);
        list.appendItem(String("Sent Items"), 1);
        list.setItemText(String("1,204 KB"), 0, 1);
        list.setItemText(String("88 KB"), 1, 1);
        list.setChecked(0, true);
        column->addWindow(&list, 7, -100, 110);
        LayoutBox* row = column->addRow(7, -100, 0);
        addEdit(edit);
        edit.setText(String("C:\\Attachments"));
        row->addWindow(&edit, 4, -70, 0);
        addButton(button, String("Browse..."));
        row->addWindow(&button, 4);
        addCheckBox(check, String("Cut attachments from the messages"));
        check.setChecked(true);
        column->addWindow(&check, 7);
        addProgressBar(bar, NApp::Orientation::Horizontal);
        bar.setRange(0, 100);
        bar.setProgress(60);
        column->addWindow(&bar, 7, -100, 18);
        addRichEdit(rich);
        rich.appendText(String("Extracting attachments..."));
        rich.appendText(String("3 attachments saved."));
        column->addWindow(&rich, 7, -100, 50);
        addLink(link, String("klovinware.example"), NApp::Border::None);
        column->addWindow(&link, 7);
    }
    NApp::TaskList tasks;
    NApp::Static2 label;
    NApp::Report list;
    NApp::Edit edit;
    NApp::Button button;
    NApp::CheckBox check;
    NApp::ProgressBar bar;
    NApp::RichEdit rich;
    NApp::KlovinwareHyperlink link;
};

} // namespace

TEST(Screenshot, SampleWindowWithEveryControl) {
    NApp::Font font("Verdana", 8);
    NApp::ChildManager top;
    top.childFont = &font;
    SampleWindow window;
    ASSERT_TRUE(top.createWindow(window, String("Klovin Attachment Extractor - sample"), nullptr,
                                 nullptr, {.resizable = true}));
    window.setPosition(20, 20, 640, 420, SWP_NOZORDER, nullptr);
    window.show();
    pumpPending();
    RedrawWindow(window.handle, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pumpUntil([] { return false; }, 500); // let the display catch up; not a measurement

    // Every control got a place inside the window.
    NApp::Window* controls[] = {&window.tasks, &window.label,  &window.list,
                                &window.edit,  &window.button, &window.check,
                                &window.bar,   &window.rich,   &window.link};
    for (NApp::Window* control : controls) {
        control->refreshGeometry();
        EXPECT_GT(control->width, 0);
        EXPECT_GT(control->height, 0);
        EXPECT_LE(control->x + control->width, window.clientWidth);
        EXPECT_LE(control->y + control->height, window.clientHeight);
    }

    std::vector<uint8_t> rgb;
    ASSERT_TRUE(savePng(window.handle, "napp-sample-window.png", rgb));
    EXPECT_GT(distinctColours(rgb), 4u); // more than a blank rectangle
    window.destroy();
}
