// Hyperlink: a label on white that underlines itself while the mouse is over it; the
// hand cursor comes from its window class.
#pragma once

#include "Static2.h"

namespace NApp {

class Hyperlink : public Static2 {
public:
    Hyperlink() { background.set(0xFFFFFF); }

    void handleMouseEnter() override;
    void handleMouseLeave() override;
};

// The maker's link: opens the maker's home page.
class KlovinwareHyperlink : public Hyperlink {
public:
    static constexpr const char* address = TOVK_HOMEPAGE;

    void createChildren() override { setTextColour(0xFF0000); }
    void onClick() override;
};

} // namespace NApp
