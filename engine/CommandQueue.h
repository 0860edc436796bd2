// CommandQueue: the one channel from the user interface to the job's worker thread.
// The progress window posts pause and stop commands; the worker takes them at its poll
// points. The event is signalled exactly while a command waits, so a waiting worker
// never misses one and never spins.
#pragma once

#include "utils/CriticalObject.h"
#include "utils/Event.h"

#include <cstdint>
#include <deque>

class CommandQueue {
public:
    static constexpr int32_t togglePause = 1;
    static constexpr int32_t stop = 2;

    void postCommand(int32_t command);
    bool tryTakeCommand(int32_t& command);
    bool hasCommand();
    void waitForCommand();
    // Drops every waiting command: a second press on "Done", or one made while a box was
    // open, must not pause or stop the next job.
    void clear();

private:
    TOVK_Utils::CriticalObject lock_;
    TOVK_Utils::Event waiting_;
    std::deque<int32_t> commands_;
};
