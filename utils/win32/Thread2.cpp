// Thread2 on Windows: the thread is created suspended, so that its id and handle are
// stored before run() can look at them, and then resumed.
#include "utils/Thread2.h"

#include <windows.h>

namespace TOVK_Utils {

struct ThreadLauncher {
    static DWORD WINAPI routine(LPVOID argument) {
        Thread2* thread = static_cast<Thread2*>(argument);
        thread->run();
        CloseHandle(thread->threadHandle_);
        // The owner may destroy the object as soon as this is signalled: touch it no more.
        thread->finished_.set();
        return 0;
    }
};

uint32_t Thread2::start(uint32_t stackSize, uint32_t parameter) {
    parameter_ = parameter;
    stackSize_ = effectiveStackSize(stackSize);
    if (!startMayGoOn()) {
        threadId_ = 0;
        threadHandle_ = nullptr;
        return StartFailed;
    }
    DWORD id = 0;
    threadHandle_ =
        CreateThread(nullptr, stackSize_, ThreadLauncher::routine, this, CREATE_SUSPENDED, &id);
    threadId_ = id;
    // A refused creation leaves a null handle, and resuming it reports StartFailed.
    return ResumeThread(threadHandle_);
}

} // namespace TOVK_Utils
