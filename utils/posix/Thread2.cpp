// Thread2 on POSIX: a pthread with the requested stack size.
#include "utils/Thread2.h"

#include <cstring>
#include <pthread.h>

namespace TOVK_Utils {

namespace {

// POSIX cannot create a thread suspended. Instead start() holds this lock while it creates
// the thread and stores its id and handle, and the new thread takes the lock once before
// run(), so run() never sees those fields unset.
pthread_mutex_t launchLock = PTHREAD_MUTEX_INITIALIZER;
// pthreads has no small numeric thread id, so each started thread gets the next number.
uint32_t lastThreadId = 0;

void* handleOf(pthread_t thread) {
    static_assert(sizeof(pthread_t) <= sizeof(void*), "a thread does not fit the handle field");
    void* handle = nullptr;
    std::memcpy(&handle, &thread, sizeof thread);
    return handle;
}

} // namespace

struct ThreadLauncher {
    static void* routine(void* argument) {
        Thread2* thread = static_cast<Thread2*>(argument);
        pthread_mutex_lock(&launchLock);
        pthread_mutex_unlock(&launchLock);
        thread->run();
        // Nobody joins the thread, so detaching is what closing its handle means here.
        pthread_detach(pthread_self());
        // The owner may destroy the object as soon as this is signalled: touch it no more.
        thread->finished_.set();
        return nullptr;
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
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    // Should the system refuse this exact size, its default stack (megabytes) still
    // exceeds the minimum.
    pthread_attr_setstacksize(&attributes, stackSize_);

    pthread_mutex_lock(&launchLock);
    pthread_t thread;
    bool created = pthread_create(&thread, &attributes, ThreadLauncher::routine, this) == 0;
    if (created) {
        if (++lastThreadId == 0)
            ++lastThreadId;
        threadId_ = lastThreadId;
        threadHandle_ = handleOf(thread);
    } else {
        threadId_ = 0;
        threadHandle_ = nullptr;
    }
    pthread_mutex_unlock(&launchLock);
    pthread_attr_destroy(&attributes);
    return created ? 1 : StartFailed;
}

} // namespace TOVK_Utils
