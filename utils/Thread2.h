// Thread2: an abstract worker thread. A derived class supplies run(); the same object
// may be started again once a previous body has returned.
#pragma once

#include "Event.h"

#include <cstdint>

namespace TOVK_Utils {

struct ThreadLauncher;

class Thread2 {
public:
    // The worker's stack is never smaller than this, whatever the caller asks for.
    static constexpr uint32_t MinimumStackSize = 0x40000;
    static constexpr uint32_t StartFailed = 0xFFFFFFFF;

    Thread2() = default;
    // Neither waits for nor stops the thread: the owner makes sure the body has returned.
    virtual ~Thread2() = default;
    Thread2(const Thread2&) = delete;
    Thread2& operator=(const Thread2&) = delete;

    // The stack size a start with this request uses.
    static uint32_t effectiveStackSize(uint32_t requested) {
        return requested < MinimumStackSize ? MinimumStackSize : requested;
    }

    // The thread body.
    virtual void run() = 0;

    // Starts a new thread running run(). The id and handle are stored before run() can
    // see them. Returns 1 (the new thread's suspend count before it was let go), or
    // StartFailed when the system refused to create the thread.
    uint32_t start(uint32_t stackSize, uint32_t parameter);
    // For fault tests: asked before every start; false makes that start fail as a system
    // that refuses a thread would (StartFailed, nothing started). Null (the default): none.
    using StartProbe = bool (*)();
    static void setStartProbe(StartProbe probe);

    // Manual reset, signalled once a body has returned. start() does not reset it, so
    // after a restart it stays signalled unless the owner resets it.
    Event& finished() { return finished_; }
    // Waits for the finished event.
    bool join(uint32_t timeoutMs = Event::Infinite) { return finished_.wait(timeoutMs); }

    uint32_t threadId() const { return threadId_; }
    // The handle of the latest thread; closed by that thread when its body returns.
    void* threadHandle() const { return threadHandle_; }
    uint32_t parameter() const { return parameter_; }
    // The stack size the latest start asked the system for.
    uint32_t stackSize() const { return stackSize_; }

private:
    friend struct ThreadLauncher;
    static bool startMayGoOn();

    uint32_t threadId_ = 0;
    void* threadHandle_ = nullptr;
    uint32_t parameter_ = 0;
    Event finished_;
    uint32_t stackSize_ = 0;
};

} // namespace TOVK_Utils
