// Button: a push button of the system's class. A click reaches the button through its
// parent's command message, then its listener as childClicked.
#pragma once

#include "Window.h"

namespace NApp {

class Button : public Window {
public:
    virtual void onClicked() {}
    virtual void spareButtonHook() {}

    void onCommand(WPARAM first) override;
    void measure() override;
};

} // namespace NApp
