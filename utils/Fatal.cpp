#include "utils/Fatal.h"

#include "utils/Platform.h"

namespace TOVK_Utils {

void fatalError(const char* text) {
    Platform::fatalStop(text);
}

void fatalLastError() {
    // Read so that a debugger sees it; the stop itself shows only the fixed text.
    volatile unsigned long code = Platform::lastError();
    (void)code;
    Platform::fatalStop("Fatal Error");
}

void debugMessage(const char* text) {
    Platform::debugMessage(text);
}

} // namespace TOVK_Utils
