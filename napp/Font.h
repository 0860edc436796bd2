// Font: a face and a point size, with the native fonts of its 16 styles made on first
// use and kept, so that painting never creates a font.
#pragma once

#include "utils/String.h"

#include <windows.h>

#include <cstdint>

namespace NApp {

class Font {
public:
    enum Style : unsigned { Bold = 1, Italic = 2, Underline = 4, StrikeOut = 8 };
    static constexpr int StyleCount = 16;

    Font() = default;
    Font(const char* face, int32_t points) { set(face, points); }
    ~Font() { dropCache(); }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Changing the face or size drops every cached native font.
    void set(const char* face, int32_t points);
    const TOVK_Utils::String& face() const { return face_; }
    int32_t size() const { return size_; }

    HFONT get(unsigned style);
    HFONT plain() { return get(0); }
    bool isCached(unsigned style) const { return cache_[style & 15] != nullptr; }

    // The height of one line: one blank in the plain font, plus 2.
    int32_t lineHeight();
    // The extent of a text drawn in a style.
    void textExtent(const TOVK_Utils::Block& text, unsigned style, int32_t& width, int32_t& height);

    // The same measurement for any native font (null: the system's default GUI font).
    static void measureText(HFONT font, const TOVK_Utils::Block& text, int32_t& width,
                            int32_t& height);

private:
    void dropCache();

    TOVK_Utils::String face_;
    int32_t size_ = 0;
    HFONT cache_[StyleCount] = {};
};

} // namespace NApp
