// ProgressBar: the system's progress bar, remembering what it was last told.
#pragma once

#include "Window.h"

#include <commctrl.h>

namespace NApp {

class ProgressBar : public Window {
public:
    void setRange(int32_t low, int32_t high) {
        rangeLow = low;
        rangeHigh = high;
        send(PBM_SETRANGE32, static_cast<WPARAM>(low), high);
    }
    void setProgress(int32_t value) {
        position = value;
        send(PBM_SETPOS, static_cast<WPARAM>(value), 0);
    }

    int32_t rangeLow = 0;
    int32_t rangeHigh = 0;
    int32_t position = 0;
};

} // namespace NApp
