// Colour: a colour value with a brush made on demand. System colours use the system's
// own brush, which must never be deleted.
#pragma once

#include <windows.h>

namespace NApp {

class Colour {
public:
    Colour() = default;
    explicit Colour(COLORREF value) : value_(value) {}
    ~Colour() { releaseBrush(); }
    Colour(const Colour&) = delete;
    Colour& operator=(const Colour&) = delete;

    void set(COLORREF value);
    void setSystem(int index);
    COLORREF value() const { return value_; }
    bool isSystem() const { return systemBrush_; }
    HBRUSH brush();

private:
    void releaseBrush();

    COLORREF value_ = 0;
    HBRUSH brush_ = nullptr;
    bool systemBrush_ = false;
};

} // namespace NApp
