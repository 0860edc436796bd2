// CriticalObject on POSIX: a recursive mutex, matching the re-entrant critical section.
#include "utils/CriticalObject.h"

#include <new>
#include <pthread.h>

namespace TOVK_Utils {

namespace {

static_assert(sizeof(pthread_mutex_t) <= 64, "the record buffer is too small for a mutex");
static_assert(alignof(pthread_mutex_t) <= 8, "the record buffer is not aligned for a mutex");

pthread_mutex_t* mutexIn(unsigned char* record) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(record));
}

} // namespace

CriticalObject::CriticalObject() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (record_) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

CriticalObject::~CriticalObject() {
    pthread_mutex_destroy(mutexIn(record_));
}

void CriticalObject::lock() {
    pthread_mutex_lock(mutexIn(record_));
}

int CriticalObject::unlock() {
    pthread_mutex_unlock(mutexIn(record_));
    return 0;
}

} // namespace TOVK_Utils
