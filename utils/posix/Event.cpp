// Event on POSIX: a flag guarded by a mutex, with a condition variable for the waiters.
#include "utils/Event.h"

#include <cerrno>
#include <ctime>
#include <new>
#include <pthread.h>

namespace TOVK_Utils {

namespace {

struct EventRecord {
    pthread_mutex_t mutex;
    pthread_cond_t signal;
    bool manualReset;
    bool signalled;
};

EventRecord* record(void* handle) {
    return static_cast<EventRecord*>(handle);
}

// The deadline is taken on the monotonic clock so that a change of the wall clock
// neither cuts a wait short nor stretches it.
timespec deadlineAfter(uint32_t timeoutMs) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long ns = now.tv_nsec + (long long)(timeoutMs % 1000) * 1000000;
    now.tv_sec += timeoutMs / 1000 + ns / 1000000000;
    now.tv_nsec = ns % 1000000000;
    return now;
}

} // namespace

Event::Event() {
    create(Reset::Manual);
}

Event::~Event() {
    close();
}

void* Event::create(Reset reset) {
    close();
    EventRecord* r = new (std::nothrow) EventRecord;
    if (!r)
        return nullptr;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    bool ok = pthread_mutex_init(&r->mutex, nullptr) == 0;
    if (ok && pthread_cond_init(&r->signal, &attributes) != 0) {
        pthread_mutex_destroy(&r->mutex);
        ok = false;
    }
    pthread_condattr_destroy(&attributes);
    if (!ok) {
        delete r;
        return nullptr;
    }
    r->manualReset = reset == Reset::Manual;
    r->signalled = false;
    handle_ = r;
    return handle_;
}

bool Event::set() {
    EventRecord* r = record(handle_);
    if (!r)
        return false;
    pthread_mutex_lock(&r->mutex);
    r->signalled = true;
    // An auto-reset event lets exactly one waiter through, so waking one is enough.
    if (r->manualReset)
        pthread_cond_broadcast(&r->signal);
    else
        pthread_cond_signal(&r->signal);
    pthread_mutex_unlock(&r->mutex);
    return true;
}

bool Event::reset() {
    EventRecord* r = record(handle_);
    if (!r)
        return false;
    pthread_mutex_lock(&r->mutex);
    r->signalled = false;
    pthread_mutex_unlock(&r->mutex);
    return true;
}

bool Event::wait(uint32_t timeoutMs) {
    EventRecord* r = record(handle_);
    if (!r)
        return false;
    timespec deadline{};
    if (timeoutMs != Infinite && timeoutMs != 0)
        deadline = deadlineAfter(timeoutMs);
    pthread_mutex_lock(&r->mutex);
    // Loops because condition variables may wake without a signal, and another waiter
    // may have consumed an auto-reset signal first.
    while (!r->signalled && timeoutMs != 0) {
        int result = timeoutMs == Infinite
                         ? pthread_cond_wait(&r->signal, &r->mutex)
                         : pthread_cond_timedwait(&r->signal, &r->mutex, &deadline);
        if (result != 0 && result != EINTR)
            break;
    }
    bool signalled = r->signalled;
    if (signalled && !r->manualReset)
        r->signalled = false;
    pthread_mutex_unlock(&r->mutex);
    return signalled;
}

bool Event::close() {
    EventRecord* r = record(handle_);
    if (!r)
        return false;
    handle_ = nullptr;
    pthread_cond_destroy(&r->signal);
    pthread_mutex_destroy(&r->mutex);
    delete r;
    return true;
}

} // namespace TOVK_Utils
