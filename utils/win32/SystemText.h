// The form a Windows call takes a text in: wide text through the wide call when the system
// has it, everything else as 8-bit text in the ANSI code page for the "A" call.
#pragma once

#include "WideCallTable.h"
#include "utils/String.h"

#include <cstring>

namespace TOVK_Utils {

class SystemText {
public:
    explicit SystemText(const Block& text)
        : wide_(text.isWide() && WideCallTable::instance().isWideCapable()) {
        if (wide_)
            text_.toWide(text);
        else
            text_.toNarrow(text);
    }
    bool wide() const { return wide_; }
    // A zero character inside would make the call see a shorter, different name.
    bool valid() const {
        int32_t n = text_.length();
        for (int32_t i = 0; i < n; ++i) {
            if (text_.charAt(i) == 0)
                return false;
        }
        return true;
    }
    const char* narrow() const { return text_.c_str(); }
    const wchar_t* wideChars() const { return reinterpret_cast<const wchar_t*>(text_.w_str()); }

private:
    bool wide_;
    String text_;
};

} // namespace TOVK_Utils
