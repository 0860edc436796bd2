// Edit: a single-line edit of the system's class, one line high, as wide as its box.
#pragma once

#include "Window.h"

namespace NApp {

class Edit : public Window {
public:
    virtual void spareEditHook(LPARAM) {}
    void measure() override;
};

} // namespace NApp
