// CriticalObject: a lock that the thread holding it may take again. Used as a member or
// as a base class of whatever it protects.
#pragma once

namespace TOVK_Utils {

class CriticalObject {
public:
    CriticalObject();
    // The lock must not be held by anyone at this point.
    ~CriticalObject();
    CriticalObject(const CriticalObject&) = delete;
    CriticalObject& operator=(const CriticalObject&) = delete;

    // Blocks until the lock is free or already held by the calling thread.
    void lock();
    // Undoes one lock; returns 0.
    int unlock();

private:
    // The platform's lock record lives in place, so locking never allocates and
    // construction cannot fail; each backend checks that its record fits.
    alignas(8) unsigned char record_[64];
};

} // namespace TOVK_Utils
