#include "Clipboard.h"

#include "utils/Fatal.h"
#include "utils/win32/WideCallTable.h"

#include <cstring>

namespace NApp {

using TOVK_Utils::Block;
using TOVK_Utils::String;

bool putClipboardText(const Block& text) {
    bool wide = text.isWide();
    size_t bytes = static_cast<size_t>(text.byteSize());
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes + (wide ? 2 : 1));
    if (!memory)
        TOVK_Utils::fatalError("Out of Memory");
    auto* target = static_cast<uint8_t*>(GlobalLock(memory));
    if (bytes)
        memcpy(target, text.rawPointer(), bytes);
    memset(target + bytes, 0, wide ? 2 : 1);
    GlobalUnlock(memory);
    if (!OpenClipboard(nullptr)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    if (!SetClipboardData(wide ? CF_UNICODETEXT : CF_TEXT, memory)) {
        GlobalFree(memory);
        CloseClipboard();
        return false;
    }
    CloseClipboard(); // the clipboard owns the memory now
    return true;
}

bool getClipboardText(String& text, TOVK_Utils::Width width) {
    const bool wide =
        width == TOVK_Utils::Width::Wide && TOVK_Utils::WideCallTable::instance().isWideCapable();
    text.setWide(wide);
    text.clear();
    if (!OpenClipboard(nullptr))
        return false;
    HANDLE data = GetClipboardData(wide ? CF_UNICODETEXT : CF_TEXT);
    const void* chars = data ? GlobalLock(data) : nullptr;
    if (!chars) {
        CloseClipboard();
        return false;
    }
    // Up to the terminating zero: the memory block may be larger than the text.
    size_t size = GlobalSize(data);
    int32_t n = 0;
    if (wide) {
        auto* w = static_cast<const char16_t*>(chars);
        while (static_cast<size_t>(n + 1) * 2 <= size && w[n])
            ++n;
    } else {
        auto* a = static_cast<const char*>(chars);
        while (static_cast<size_t>(n) < size && a[n])
            ++n;
    }
    text.assign(chars, n);
    GlobalUnlock(data);
    CloseClipboard();
    return true;
}

} // namespace NApp
