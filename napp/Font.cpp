#include "Font.h"

#include "utils/win32/SystemText.h"

namespace NApp {

using TOVK_Utils::Block;
using TOVK_Utils::String;

void Font::dropCache() {
    for (HFONT& font : cache_) {
        if (font)
            DeleteObject(font);
        font = nullptr;
    }
}

void Font::set(const char* face, int32_t points) {
    dropCache();
    face_ = String(face); // assignment copies: the caller's text may not outlive us
    size_ = points;
}

HFONT Font::get(unsigned style) {
    style &= 15;
    if (!cache_[style]) {
        HDC screen = GetDC(nullptr);
        int height = -MulDiv(size_, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        cache_[style] =
            CreateFontA(height, 0, 0, 0, (style & Bold) ? FW_BOLD : FW_NORMAL,
                        (style & Italic) != 0, (style & Underline) != 0, (style & StrikeOut) != 0,
                        DEFAULT_CHARSET, 0, 0, 0, 0, face_.c_str());
    }
    return cache_[style];
}

void Font::measureText(HFONT font, const Block& text, int32_t& width, int32_t& height) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    TOVK_Utils::SystemText chars(text);
    SIZE size = {0, 0};
    if (chars.wide()) {
        const wchar_t* w = chars.wideChars();
        GetTextExtentPoint32W(dc, w, static_cast<int>(wcslen(w)), &size);
    } else {
        const char* a = chars.narrow();
        GetTextExtentExPointA(dc, a, static_cast<int>(strlen(a)), 0, nullptr, nullptr, &size);
    }
    POINT corner[2] = {{0, 0}, {size.cx, size.cy}};
    LPtoDP(dc, corner, 2);
    width = corner[1].x - corner[0].x;
    height = corner[1].y - corner[0].y;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
}

void Font::textExtent(const Block& text, unsigned style, int32_t& width, int32_t& height) {
    measureText(get(style), text, width, height);
}

int32_t Font::lineHeight() {
    int32_t width = 0, height = 0;
    textExtent(String(" "), 0, width, height);
    return height + 2;
}

} // namespace NApp
