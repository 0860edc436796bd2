#include "Question.h"

#include "App.h"

namespace NApp {

using TOVK_Utils::String;

int32_t Question::ask(ChildManager* manager, const String& title, const String& message,
                      const char* button1, const char* button2, const char* button3,
                      const char* button4, const char* checkText, int32_t sizeCode) {
    Question question;
    ChildManager ownerless; // without an application the box has no owner
    if (!manager)
        manager = App::current() ? &App::current()->topLevel : &ownerless;
    return question.showModal(*manager, title, message, button1, button2, button3, button4,
                              checkText, sizeCode);
}

void Question::textBoxSize(int32_t sizeCode, bool fourthButton, int32_t workWidth,
                           int32_t workHeight, int32_t rowWidth, int32_t& w, int32_t& h) {
    w = h = 0;
    switch (sizeCode) {
    case Narrow:
        w = workWidth / 4;
        h = workHeight / 12;
        break;
    case NarrowTall:
        w = workWidth / 4;
        h = workHeight / 8;
        break;
    case Wide:
        w = workWidth / 3;
        h = workHeight / 12;
        break;
    case WideTall:
        w = workWidth / 3;
        h = workHeight / 6;
        break;
    default:
        // Four buttons with no size asked for: a box wide enough for them to read well.
        if (fourthButton) {
            w = workWidth / 3;
            h = workHeight / 12;
        }
        break;
    }
    if (w < rowWidth)
        w = rowWidth;
}

int32_t Question::showModal(ChildManager& manager, const String& title, const String& message,
                            const char* button1, const char* button2, const char* button3,
                            const char* button4, const char* checkText, int32_t sizeCode) {
    answer = 0;
    checked = false;
    if (!manager.createWindow(*this, title, nullptr, nullptr, {.modal = true, .resizable = true}))
        return 0;
    layout.setDirection(LayoutBox::Up);
    layout.setSpacing(5);

    LayoutBox* row = layout.addRowLeft(5, 0, 0);
    const char* captions[4] = {button1, button2, button3, button4};
    int32_t rowWidth = 0;
    for (int i = 3; i >= 0; --i) {
        if (!captions[i])
            continue;
        addButton(buttons[i], String(captions[i]));
        row->addWindow(&buttons[i], 6, 0, 0);
        int32_t w, h;
        buttons[i].preferredSize(w, h);
        rowWidth += w + (i > 0 ? 5 : 0);
    }
    if (checkText) {
        addCheckBox(checkBox, String(checkText));
        layout.addWindow(&checkBox, 1, 0, 0);
    }
    addRichEdit(textBox);
    textBox.setText(message);

    RECT area = {0, 0, 0, 0};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int32_t w, h;
    textBoxSize(sizeCode, button4 != nullptr, area.right - area.left, area.bottom - area.top,
                rowWidth, w, h);
    layout.addWindow(&textBox, 5, w, h);

    fitToContent();
    centreOnScreen();
    show();
    App::runMessageLoop();
    return answer;
}

void Question::childClicked(HWND child) {
    int32_t pressed = 0;
    for (int i = 0; i < 4; ++i) {
        if (buttons[i].handle && buttons[i].handle == child)
            pressed = i + 1;
    }
    if (!pressed)
        return;
    answer = pressed;
    if (checkBox.handle)
        checked = checkBox.isChecked();
    destroy();
    App::endMessageLoop();
}

} // namespace NApp
