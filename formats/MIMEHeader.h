// One header of a message part: a view of its name and its value with folded
// continuation lines joined.
#pragma once

#include "utils/LightBlock.h"
#include "utils/String.h"

namespace TOVK_Internet {

class MIMEHeader {
public:
    MIMEHeader() = default;
    MIMEHeader(const MIMEHeader& other) { *this = other; }
    MIMEHeader& operator=(const MIMEHeader& other) {
        name.assign(other.name);
        value = other.value;
        return *this;
    }

    TOVK_Utils::LightBlock name;
    TOVK_Utils::String value;
};

} // namespace TOVK_Internet
