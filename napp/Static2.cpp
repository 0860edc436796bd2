#include "Static2.h"

#include "Font.h"
#include "Hyperlink.h"

#include <shellapi.h>

namespace NApp {

unsigned Static2::fontStyle() const {
    unsigned style = 0;
    if (bold)
        style |= Font::Bold;
    if (italic)
        style |= Font::Italic;
    if (underline)
        style |= Font::Underline;
    if (strikeOut)
        style |= Font::StrikeOut;
    return style;
}

void Static2::measure() {
    int32_t w = 0, h = 0;
    if (font)
        font->textExtent(text, fontStyle(), w, h);
    else
        Font::measureText(nullptr, text, w, h);
    RECT f = frame();
    preferredWidth = w + 2 + f.right - f.left;
    preferredHeight = h + 1 + f.bottom - f.top;
}

bool Static2::handlePaint() {
    if (!GetUpdateRect(handle, nullptr, FALSE))
        return true;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(handle, &paint);
    HGDIOBJ old =
        SelectObject(dc, font ? font->get(fontStyle()) : GetStockObject(DEFAULT_GUI_FONT));
    RECT client;
    GetClientRect(handle, &client);
    FillRect(dc, &client, background.brush());
    SetBkColor(dc, background.value());
    SetTextColor(dc, textColour);
    RECT inside = {1, 1, client.right - 1, client.bottom - 1};
    DrawTextA(dc, text.c_str(), -1, &inside, DT_WORDBREAK);
    SelectObject(dc, old);
    EndPaint(handle, &paint);
    return false;
}

void Static2::setStyle(TextStyle style, Relayout relayout) {
    bold = style.bold;
    italic = style.italic;
    strikeOut = style.strikeOut;
    underline = style.underline;
    measure();
    redraw();
    if (relayout == Relayout::Yes && listenerWindow)
        listenerWindow->layoutChildren();
}

void Static2::setTextColour(COLORREF colour) {
    textColour = colour;
    redraw();
}

void Static2::setColours(COLORREF newTextColour, COLORREF backgroundColour, int systemIndex) {
    textColour = newTextColour;
    if (systemIndex == -1)
        background.set(backgroundColour);
    else
        background.setSystem(systemIndex);
    redraw();
}

void Hyperlink::handleMouseEnter() {
    setStyle({.underline = true}, Relayout::Yes);
    Static2::handleMouseEnter();
}

void Hyperlink::handleMouseLeave() {
    setStyle({}, Relayout::Yes);
    Static2::handleMouseLeave();
}

void KlovinwareHyperlink::onClick() {
    ShellExecuteA(listenerWindow ? listenerWindow->handle : nullptr, "open", address, nullptr,
                  nullptr, SW_SHOWNORMAL);
}

} // namespace NApp
