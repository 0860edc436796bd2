// Static2: a label drawn by the framework itself, so that it can take any colour and
// any of the four font styles and wrap its text.
#pragma once

#include "Colour.h"
#include "Window.h"

namespace NApp {

// The font styles a label may take; callers name only those they set.
struct TextStyle {
    bool bold = false;
    bool italic = false;
    bool strikeOut = false;
    bool underline = false;
};

class Static2 : public Window {
public:
    // Whether the listener lays its children out again for the label's new size.
    enum class Relayout { No, Yes };

    Static2() { background.setSystem(COLOR_BTNFACE); }

    void measure() override;
    bool handlePaint() override;
    void handleSize() override { redraw(); }
    bool takesLayoutWidth() override { return true; }

    void setStyle(TextStyle style, Relayout relayout);
    void setTextColour(COLORREF colour);
    // systemIndex -1: the background is the plain colour given.
    void setColours(COLORREF textColour, COLORREF backgroundColour, int systemIndex);
    unsigned fontStyle() const;

    Colour background;
    COLORREF textColour = 0;
    // The control this label names: its mnemonic ("&Only these file types:") focuses it.
    Window* labelFor = nullptr;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool strikeOut = false;
};

} // namespace NApp
