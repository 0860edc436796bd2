// CriticalObject on Windows: a critical section, re-entrant for its owning thread.
#include "utils/CriticalObject.h"

#include <new>
#include <windows.h>

namespace TOVK_Utils {

namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "the record buffer is too small");
static_assert(alignof(CRITICAL_SECTION) <= 8, "the record buffer is not aligned");

CRITICAL_SECTION* sectionIn(unsigned char* record) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(record));
}

} // namespace

CriticalObject::CriticalObject() {
    InitializeCriticalSection(new (record_) CRITICAL_SECTION);
}

CriticalObject::~CriticalObject() {
    DeleteCriticalSection(sectionIn(record_));
}

void CriticalObject::lock() {
    EnterCriticalSection(sectionIn(record_));
}

int CriticalObject::unlock() {
    LeaveCriticalSection(sectionIn(record_));
    return 0;
}

} // namespace TOVK_Utils
