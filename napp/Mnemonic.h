// Mnemonic: Alt and a letter underlined in a control's text ("&Only these file types:")
// act on that control, as the system's dialog manager does for dialogs. The framework's
// windows are no dialogs, so their keyboard interface does it itself.
#pragma once

#include <windows.h>

namespace NApp {

class Window;

// The letter after the single "&" of a text, in lower case; 0 when there is none ("&&"
// stands for an ampersand itself).
char mnemonicOf(const char* text);

// Acts on the control of top whose mnemonic is the character typed with Alt: a check
// box or button is focused and clicked, a label focuses the control it names
// (Static2::labelFor). Disabled and hidden controls are passed over, as they cannot be
// reached by the mouse either. False when no control takes the character.
bool activateMnemonic(Window& top, WPARAM character);

} // namespace NApp
