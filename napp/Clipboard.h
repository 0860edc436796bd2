// Clipboard text for the rich edit's menu: 8-bit or wide.
#pragma once

#include "utils/String.h"

namespace NApp {

bool putClipboardText(const TOVK_Utils::Block& text);
// False, with the text cleared, when the clipboard holds no text.
bool getClipboardText(TOVK_Utils::String& text, TOVK_Utils::Width width);

} // namespace NApp
