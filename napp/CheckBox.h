// CheckBox: an automatic check box of the system's class; clicks as a Button.
#pragma once

#include "Button.h"

namespace NApp {

class CheckBox : public Window {
public:
    virtual void onClicked() {}
    virtual void spareButtonHook() {}

    void onCommand(WPARAM first) override;
    void measure() override;
    // The system draws the box one pixel wider than asked for.
    void setPosition(int32_t x, int32_t y, int32_t width, int32_t height, UINT flags,
                     HWND insertAfter) override;

    bool isChecked() { return send(BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void setChecked(bool flag) { send(BM_SETCHECK, flag ? BST_CHECKED : BST_UNCHECKED, 0); }
};

} // namespace NApp
