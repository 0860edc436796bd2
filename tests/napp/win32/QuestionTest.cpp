#include "NappTestUtil.h"

#include "napp/Question.h"

#include "utils/Thread2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

using namespace NappTest;
using NApp::ChildManager;
using NApp::Question;
using TOVK_Utils::String;

namespace {

// Answers a question box the way a person would: finds it by its title and presses the
// button with the given caption, after optional extra steps. Works from a timer on the
// box's own thread, so the box's nested loop runs it.
struct Presser {
    std::string title;
    std::string caption;
    bool tickBox = false;
    bool tryCloseFirst = false;
    int ticks = 0;
    bool stillOpenAfterClose = false;
    std::vector<std::string> captionsSeen;
    bool parentDisabledWhileOpen = false;
    HWND parent = nullptr;
    std::u16string messageSeen; // the text box's text, read as Unicode
};
Presser* presser = nullptr;

HWND findChildByText(HWND box, const char* className, const std::string& text,
                     std::vector<std::string>* seen = nullptr) {
    HWND found = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {}, caption[128] = {};
        GetClassNameA(child, name, sizeof name);
        GetWindowTextA(child, caption, sizeof caption);
        if (_stricmp(name, className) != 0)
            continue;
        if (seen && !(GetWindowLongA(child, GWL_STYLE) & BS_AUTOCHECKBOX & 0x2))
            seen->push_back(caption);
        if (text == caption)
            found = child;
    }
    return found;
}

void CALLBACK pressTimer(HWND, UINT, UINT_PTR id, DWORD) {
    Presser& p = *presser;
    HWND box = FindWindowA(nullptr, p.title.c_str());
    if (!box)
        return; // not shown yet
    ++p.ticks;
    if (p.tryCloseFirst && p.ticks == 1) {
        SendMessageA(box, WM_CLOSE, 0, 0);
        return;
    }
    if (p.tryCloseFirst)
        p.stillOpenAfterClose = IsWindow(box);
    if (p.parent)
        p.parentDisabledWhileOpen = !IsWindowEnabled(p.parent);
    if (p.tickBox) {
        HWND box2 = findChildByText(box, "Button", "Don't ask again");
        if (box2)
            SendMessageA(box2, BM_CLICK, 0, 0);
    }
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, sizeof name);
        if (_strnicmp(name, "RichEdit20", 10) == 0) {
            wchar_t text[256] = {};
            GetWindowTextW(child, text, 256);
            p.messageSeen = reinterpret_cast<const char16_t*>(text);
        }
    }
    p.captionsSeen.clear();
    HWND button = findChildByText(box, "Button", p.caption, &p.captionsSeen);
    if (button) {
        KillTimer(nullptr, id);
        PostMessageA(button, BM_CLICK, 0, 0);
    }
}

struct QuestionTest : ::testing::Test {
    void SetUp() override {
        presser = &state;
        timer = SetTimer(nullptr, 0, 20, pressTimer);
    }
    void TearDown() override {
        KillTimer(nullptr, timer);
        presser = nullptr;
        pumpPending();
    }
    Presser state;
    UINT_PTR timer = 0;
};

} // namespace

TEST_F(QuestionTest, EachButtonGivesItsNumber) {
    const char* captions[] = {"One", "Two", "Three", "Four"};
    for (int answer = 1; answer <= 4; ++answer) {
        state.title = "Pick " + std::to_string(answer);
        state.caption = captions[answer - 1];
        if (answer > 1)
            timer = SetTimer(nullptr, 0, 20, pressTimer);
        int32_t got = Question::ask(nullptr, String(state.title.c_str()), String("Which one?"),
                                    "One", "Two", "Three", "Four");
        EXPECT_EQ(got, answer);
        // The row reads 1, 2, 3, 4 from left to right whatever order it was built in.
        EXPECT_EQ(state.captionsSeen.size(), 4u);
    }
}

TEST_F(QuestionTest, AbsentCaptionsMakeNoButtons) {
    state.title = "Two of them";
    state.caption = "Third";
    ChildManager top;
    Question question;
    int32_t got = question.showModal(top, String("Two of them"), String("Message"), "First",
                                     nullptr, "Third");
    EXPECT_EQ(got, 3);
    EXPECT_EQ(state.captionsSeen.size(), 2u);
    EXPECT_EQ(question.handle, nullptr); // the press destroyed the box
    EXPECT_EQ(question.buttons[1].handle, nullptr);
    EXPECT_FALSE(question.checkState());
}

TEST_F(QuestionTest, CheckBoxStateIsKeptAndTheCloseBoxIgnored) {
    state.title = "Careful";
    state.caption = "OK";
    state.tickBox = true;
    state.tryCloseFirst = true;
    ChildManager top;
    Question question;
    int32_t got = question.showModal(top, String("Careful"), String("Really?"), "OK", nullptr,
                                     nullptr, nullptr, "Don't ask again", Question::Narrow);
    EXPECT_EQ(got, 1);
    EXPECT_TRUE(state.stillOpenAfterClose);
    EXPECT_TRUE(question.checkState());
}

TEST_F(QuestionTest, ParentIsDisabledWhileTheBoxIsOpen) {
    ChildManager top;
    Recorder parent;
    ASSERT_TRUE(makeWindow(top, parent, "owner window"));
    state.title = "Over the parent";
    state.caption = "Yes";
    state.parent = parent.handle;
    EXPECT_EQ(Question::ask(&parent, String("Over the parent"), String("Text"), "Yes", "No"), 1);
    EXPECT_TRUE(state.parentDisabledWhileOpen);
    EXPECT_TRUE(IsWindowEnabled(parent.handle));
    parent.destroy();
}

TEST_F(QuestionTest, TheBoxShowsAWideMessageWhole) {
    // A file name outside the 8-bit code page, as "Error saving file" shows it.
    const std::u16string chars = u"Error saving file C:\\out\\\u8868\u8a08\u7b97 "
                                 u"\u0442\u0435\u0441\u0442.xls. Skipping attachment.";
    String message;
    message.setWide(true);
    message.assign(chars.data(), int32_t(chars.size()));
    state.title = "Error";
    state.caption = "Ok";
    EXPECT_EQ(Question::ask(nullptr, String("Error"), message, "Ok"), 1);
    EXPECT_EQ(state.messageSeen, chars);
}

TEST(Question, TextBoxSizeFollowsTheWorkArea) {
    int32_t w, h;
    Question::textBoxSize(Question::Narrow, false, 1600, 1200, 100, w, h);
    EXPECT_EQ(w, 400);
    EXPECT_EQ(h, 100);
    Question::textBoxSize(Question::Narrow, false, 1600, 1200, 450, w, h);
    EXPECT_EQ(w, 450); // widened to the button row
    Question::textBoxSize(Question::NarrowTall, false, 1600, 1200, 0, w, h);
    EXPECT_EQ(h, 150);
    Question::textBoxSize(Question::Wide, false, 1601, 1199, 0, w, h);
    EXPECT_EQ(w, 533);
    EXPECT_EQ(h, 99);
    Question::textBoxSize(Question::WideTall, false, 1600, 1200, 0, w, h);
    EXPECT_EQ(h, 200);
    Question::textBoxSize(Question::Natural, false, 1600, 1200, 0, w, h);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

namespace {
class AskingWorker : public TOVK_Utils::Thread2 {
public:
    void run() override {
        answer = Question::ask(parent, String("From the worker"), String("Go on?"), "Go", "Stop");
    }
    ChildManager* parent = nullptr;
    std::atomic<int32_t> answer{0};
};
} // namespace

TEST(QuestionThreads, WorkerAsksWhileTheInterfaceThreadKeepsRunning) {
    ChildManager top;
    Recorder parent;
    ASSERT_TRUE(makeWindow(top, parent, "main window"));
    AskingWorker worker;
    worker.parent = &parent;
    ASSERT_NE(worker.start(0, 0), TOVK_Utils::Thread2::StartFailed);

    HWND box = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (box = FindWindowA(nullptr, "From the worker")); }));
    EXPECT_EQ(GetWindowThreadProcessId(box, nullptr), worker.threadId());
    ASSERT_TRUE(pumpUntil([&] { return !IsWindowEnabled(parent.handle); }));
    // This thread still handles its own windows meanwhile.
    EXPECT_EQ(SendMessageA(parent.handle, 0x8065, 0, 0), 1001);

    // The box is found as soon as it exists; its buttons may come a moment later.
    HWND stop = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (stop = findChildByText(box, "Button", "Stop")); }));
    PostMessageA(stop, BM_CLICK, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return worker.finished().wait(0); }));
    EXPECT_EQ(worker.answer, 2);
    EXPECT_TRUE(pumpUntil([&] { return IsWindowEnabled(parent.handle) != FALSE; }));
    parent.destroy();
}

namespace {

HWND browseOwner = nullptr;

BOOL CALLBACK findOwnedDialog(HWND candidate, LPARAM found) {
    if (GetWindow(candidate, GW_OWNER) == browseOwner && IsWindowVisible(candidate)) {
        *reinterpret_cast<HWND*>(found) = candidate;
        return FALSE;
    }
    return TRUE;
}

// The folder dialog is modal: cancel it from a timer of this thread once it is up.
void CALLBACK cancelFolderDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findOwnedDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog) {
        KillTimer(nullptr, id);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

} // namespace

TEST(FolderBrowser, CancelLeavesTheResultUntouched) {
    ChildManager top;
    Recorder window;
    ASSERT_TRUE(makeWindow(top, window, "browse owner"));
    browseOwner = window.handle;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, cancelFolderDialog);
    String result("unchanged");
    EXPECT_FALSE(
        NApp::browseForFolder(result, &window, String("Pick a folder"), TOVK_Utils::Width::Narrow));
    EXPECT_EQ(textOf(result), "unchanged");
    KillTimer(nullptr, timer);
    window.destroy();
}
