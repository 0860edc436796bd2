#include "utils/Thread2.h"

#include <atomic>

namespace TOVK_Utils {

namespace {

std::atomic<Thread2::StartProbe> startProbe{nullptr};

} // namespace

void Thread2::setStartProbe(StartProbe probe) {
    startProbe.store(probe);
}

bool Thread2::startMayGoOn() {
    const StartProbe probe = startProbe.load(std::memory_order_relaxed);
    return !probe || probe();
}

} // namespace TOVK_Utils
