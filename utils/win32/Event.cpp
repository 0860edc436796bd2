// Event on Windows: a kernel event object.
#include "utils/Event.h"

#include <windows.h>

namespace TOVK_Utils {

Event::Event() {
    create(Reset::Manual);
}

Event::~Event() {
    close();
}

void* Event::create(Reset reset) {
    close();
    handle_ = CreateEventA(nullptr, reset == Reset::Manual ? TRUE : FALSE, FALSE, nullptr);
    return handle_;
}

bool Event::set() {
    return handle_ && SetEvent(handle_) != 0;
}

bool Event::reset() {
    return handle_ && ResetEvent(handle_) != 0;
}

bool Event::wait(uint32_t timeoutMs) {
    return handle_ && WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0;
}

bool Event::close() {
    if (!handle_)
        return false;
    BOOL closed = CloseHandle(handle_);
    handle_ = nullptr;
    return closed != 0;
}

} // namespace TOVK_Utils
