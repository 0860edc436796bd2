// Question: the question box every message to the user goes through: a text, up to four
// buttons and an optional check box. It runs its own message loop on the calling thread,
// so a caller on any thread simply waits for the answer.
#pragma once

#include "Button.h"
#include "CheckBox.h"
#include "RichEdit.h"
#include "Window.h"

#include <cstdint>

namespace NApp {

class Question : public Window {
public:
    // Size codes of the text box, as fractions of the work area.
    enum Size : int32_t { Natural = 0, Narrow = 1, NarrowTall = 2, Wide = 3, WideTall = 4 };

    // Shows a box under the manager (null: the application's top-level manager, which
    // needs the application object) and returns the button pressed, 1 to 4. Captions
    // and the check-box text may be null.
    static int32_t ask(ChildManager* manager, const TOVK_Utils::String& title,
                       const TOVK_Utils::String& message, const char* button1,
                       const char* button2 = nullptr, const char* button3 = nullptr,
                       const char* button4 = nullptr, const char* checkText = nullptr,
                       int32_t sizeCode = Natural);

    int32_t showModal(ChildManager& manager, const TOVK_Utils::String& title,
                      const TOVK_Utils::String& message, const char* button1,
                      const char* button2 = nullptr, const char* button3 = nullptr,
                      const char* button4 = nullptr, const char* checkText = nullptr,
                      int32_t sizeCode = Natural);
    bool checkState() const { return checked; }

    // The text box's size for a work area; the width is at least the button row's.
    static void textBoxSize(int32_t sizeCode, bool fourthButton, int32_t workWidth,
                            int32_t workHeight, int32_t rowWidth, int32_t& width, int32_t& height);

    void childClicked(HWND child) override;
    void handleClose() override {} // only a button closes the box

    CheckBox checkBox;
    RichEdit textBox;
    Button buttons[4];
    int32_t answer = 0;
    bool checked = false;
};

// The shell's folder dialog. True with the chosen folder's path; false when cancelled or
// when the chosen item is no folder of the file system (the result is then untouched).
bool browseForFolder(TOVK_Utils::Block& result, Window* owner, const TOVK_Utils::String& prompt,
                     TOVK_Utils::Width width);

} // namespace NApp
