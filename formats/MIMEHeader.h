// One header of a message part: a view of its name and its value with folded
// continuation lines joined.
#pragma once

#include "utils/LightBlock.h"
#include "utils/String.h"

namespace TOVK_Internet {

class MIMEHeader {
public:
    TOVK_Utils::LightBlock name;
    TOVK_Utils::String value;
};

} // namespace TOVK_Internet
