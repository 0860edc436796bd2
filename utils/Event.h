// Event: an owned operating-system event, the signal that work is waiting or that a
// thread has finished. Safe to set and wait on from any thread.
#pragma once

#include <cstdint>

namespace TOVK_Utils {

class Event {
public:
    // Waits without limit; -1 passed as a time-out means the same.
    static constexpr uint32_t Infinite = 0xFFFFFFFF;
    // Manual: a set event stays signalled until reset. Auto: the waiter it releases
    // consumes it.
    enum class Reset { Auto, Manual };

    // Holds a manual-reset, non-signalled event from the start.
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Closes any held event, then creates a non-signalled one. Returns the new handle,
    // null when the system refused (every later operation then fails).
    void* create(Reset reset);
    bool set();
    bool reset();
    // True only when the event was signalled within the time-out; an auto-reset event
    // is consumed by the waiter it releases.
    bool wait(uint32_t timeoutMs);
    // True when a held event was closed; false, doing nothing, when none is held.
    bool close();

    void* handle() const { return handle_; }

private:
    // Opaque so this header stays free of platform headers: a HANDLE on Windows, the
    // backend's own record elsewhere.
    void* handle_ = nullptr;
};

} // namespace TOVK_Utils
