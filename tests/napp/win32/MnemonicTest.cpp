// Alt and an underlined letter, and Tab after the focus was moved by other means.
#include "NappTestUtil.h"

#include "napp/CheckBox.h"
#include "napp/Edit.h"
#include "napp/Mnemonic.h"
#include "napp/Static2.h"

#include <gtest/gtest.h>

using namespace NappTest;
using NApp::ChildManager;
using TOVK_Utils::String;

TEST(Mnemonic, IsTheLetterAfterTheSingleAmpersand) {
    struct Case {
        const char* text;
        char letter;
    };
    const Case cases[] = {
        {"&Write a list", 'w'},
        {"A &folder for each", 'f'},
        {"Skip files &Smaller", 's'},
        {"No letter", 0},
        {"Salt && pepper", 0},
        {"Salt && &pepper", 'p'},
        {"trailing &", 0},
        {"", 0},
        {"&&&x", 'x'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(NApp::mnemonicOf(c.text), c.letter);
    }
    EXPECT_EQ(NApp::mnemonicOf(nullptr), 0);
}

namespace {

struct MnemonicWindow : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(makeWindow(top, window, "mnemonics"));
        window.addCheckBox(box, String("&Write a list"));
        window.addLabel(caption, String("&Only these types:"));
        window.addEdit(edit);
        window.addCheckBox(plain, String("Without a letter"));
        caption.labelFor = &edit;
        // A click lands inside the control: it needs a size.
        box.place(0, 0, 150, 20);
        plain.place(0, 30, 150, 20);
    }
    void TearDown() override {
        window.destroy();
        pumpPending();
    }
    ChildManager top;
    Recorder window;
    NApp::CheckBox box, plain;
    NApp::Static2 caption;
    NApp::Edit edit;
};

} // namespace

TEST_F(MnemonicWindow, AltLetterTicksItsBoxAndTellsTheListener) {
    edit.focus();
    // Typed while another control holds the focus, in either case.
    SendMessageA(edit.handle, WM_SYSCHAR, 'w', 0x20000000);
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(GetFocus(), box.handle);
    EXPECT_EQ(window.lastChild, box.handle);
    SendMessageA(box.handle, WM_SYSCHAR, 'W', 0x20000000);
    EXPECT_FALSE(box.isChecked());
    EXPECT_EQ(window.childClicks, 2);
}

TEST_F(MnemonicWindow, AltLetterOfALabelFocusesWhatItNames) {
    box.focus();
    EXPECT_TRUE(NApp::activateMnemonic(window, 'o'));
    EXPECT_EQ(GetFocus(), edit.handle);
    EXPECT_FALSE(box.isChecked());
}

TEST_F(MnemonicWindow, DisabledControlsAndUnknownLettersTakeNothing) {
    box.enable(false);
    EXPECT_FALSE(NApp::activateMnemonic(window, 'w'));
    EXPECT_FALSE(box.isChecked());
    edit.enable(false);
    EXPECT_FALSE(NApp::activateMnemonic(window, 'o'));
    EXPECT_FALSE(NApp::activateMnemonic(window, 'x'));
    EXPECT_FALSE(NApp::activateMnemonic(window, 0x263A));
    EXPECT_EQ(window.childClicks, 0);
}

TEST_F(MnemonicWindow, TabContinuesFromTheControlThatHoldsTheFocus) {
    window.addToTabRing(box);
    window.addToTabRing(edit);
    window.addToTabRing(plain);
    window.tabRing.focusNext();
    EXPECT_EQ(window.tabRing.current(), &box);
    // A click (here: a direct focus) moves on without the ring.
    edit.focus();
    SendMessageA(edit.handle, WM_CHAR, '\t', 0);
    EXPECT_EQ(window.tabRing.current(), &plain);
    EXPECT_EQ(GetFocus(), plain.handle);
    box.focus();
    window.tabRing.focusPrevious();
    EXPECT_EQ(window.tabRing.current(), &plain); // wraps backwards from the first
}
