// The form a POSIX call takes a text in: 8-bit text as it is (UTF-8 is the system's 8-bit
// code page), wide text converted to UTF-8.
#pragma once

#include "utils/String.h"

#include <cstring>

namespace TOVK_Utils {

class SystemText {
public:
    explicit SystemText(const Block& text) { text_.toNarrow(text); }
    // A zero character inside would make the call see a shorter, different name.
    bool valid() const { return std::strlen(text_.c_str()) == static_cast<size_t>(text_.length()); }
    const char* get() const { return text_.c_str(); }

private:
    String text_;
};

// Attribute bits of what is at the path, Windows style; NoAttributes when nothing is there.
uint32_t posixAttributes(const char* path, uint64_t* size = nullptr);

} // namespace TOVK_Utils
