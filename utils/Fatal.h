// Process-wide stops for broken invariants. None of the stopping calls returns.
#pragma once

namespace TOVK_Utils {

// Shows the text and ends the process (Windows: the fatal-application-exit box;
// POSIX: the text on standard error, then a non-zero exit).
[[noreturn]] void fatalError(const char* text);

// Reads the system's last error (not shown) and stops with "Fatal Error".
[[noreturn]] void fatalLastError();

// A system-modal notice that does not end the process, captioned "Debug Message".
void debugMessage(const char* text);

} // namespace TOVK_Utils
