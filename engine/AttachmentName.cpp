#include "engine/AttachmentName.h"

#include "utils/Charset.h"

#include <cstring>

using TOVK_Utils::Block;
using TOVK_Utils::String;

namespace {

bool isSeparator(uint32_t c) {
    return c == '\\' || c == '/';
}

bool isForbidden(uint32_t c) {
    return c < 0x20 ||
           (c < 0x80 && std::strchr(AttachmentName::forbiddenCharacters, static_cast<int>(c)));
}

uint32_t lowerAscii(uint32_t c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9, in any case, with or without an
// extension and with spaces before it: Windows opens the device instead of a file, so
// nothing would be saved where it can be found.
bool isDeviceName(const String& name) {
    int32_t base = 0;
    while (base < name.length() && name.charAt(base) != '.')
        ++base;
    while (base > 0 && name.charAt(base - 1) == ' ')
        --base;
    // Compared character by character: the name may be wide.
    auto startsWith = [&](const char* word) {
        for (int32_t i = 0; word[i]; ++i)
            if (i >= base || lowerAscii(name.charAt(i)) != static_cast<uint8_t>(word[i]))
                return false;
        return true;
    };
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
        if (static_cast<int32_t>(std::strlen(device)) == base && startsWith(device))
            return true;
    return base == 4 && (startsWith("com") || startsWith("lpt")) && name.charAt(3) >= '1' &&
           name.charAt(3) <= '9';
}

bool isHighSurrogate(uint32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

} // namespace

void AttachmentName::make(String& out, const Block& bytes, const Block& charset) {
    String name;
    TOVK_Utils::nameFromCharset(name, bytes, charset);
    // Old mailers sent the sender's whole path ("C:\TEMP\x.png", "/home/a/x.png"): only
    // the last component names the file. A name that ends in a separator names the
    // folder before it.
    int32_t end = name.length();
    while (end > 0 && isSeparator(name.charAt(end - 1)))
        --end;
    int32_t start = end;
    while (start > 0 && !isSeparator(name.charAt(start - 1)))
        --start;
    name.substring(out, start, end);
    clean(out);
}

void AttachmentName::clean(String& name) {
    // In UTF-8 every byte of a character beyond ASCII is 0x80 or more: replacing single
    // bytes never breaks one.
    for (int32_t i = 0; i < name.length(); ++i)
        if (isForbidden(name.charAt(i)))
            name.setCharAt(i, '_');
    // Windows drops them when it makes the file, and the name would then differ from
    // the one checked for identical content.
    int32_t end = name.length();
    while (end > 0 && (name.charAt(end - 1) == '.' || name.charAt(end - 1) == ' '))
        --end;
    name.resize(end);
    if (end == 0 || isDeviceName(name)) {
        String prefixed;
        prefixed.setWide(name.isWide());
        prefixed.setSize(0);
        prefixed.appendText("_");
        prefixed.append(name);
        name = prefixed;
    }
}

bool AttachmentName::shorten(String& name, int32_t room) {
    const int32_t n = name.length();
    if (n <= room)
        return true;
    const int32_t budget = room - numberingRoom;
    int32_t dot = -1;
    for (int32_t i = n - 1; i > 0 && dot < 0; --i)
        if (name.charAt(i) == '.')
            dot = i;
    // An "extension" longer than half the room is no extension a program would know.
    const int32_t extension = dot > 0 && (n - dot) * 2 <= budget ? n - dot : 0;
    int32_t stem = budget - extension;
    if (stem < shortestStem)
        return false;
    if (name.isWide()) {
        if (isHighSurrogate(name.charAt(stem - 1)))
            --stem;
    } else {
        while (stem > 0 && (name.charAt(stem) & 0xC0) == 0x80)
            --stem;
    }
    while (stem > 0 && (name.charAt(stem - 1) == '.' || name.charAt(stem - 1) == ' '))
        --stem;
    if (stem == 0)
        return false;
    String shortened, tail;
    name.substring(shortened, 0, stem);
    if (extension > 0) {
        name.substring(tail, dot, n);
        shortened.append(tail);
    }
    name = shortened;
    return true;
}
