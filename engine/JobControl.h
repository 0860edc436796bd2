// JobControl: pause and stop as the job's worker sees them. The progress window posts
// commands into the queue from the interface thread; the worker takes them only at its
// poll points (after each mailbox of the counting pass, before each message or message
// file), so a pause or a stop never falls inside a message, a backup or a question box.
#pragma once

#include "engine/CommandQueue.h"

#include <atomic>

class JobControl {
public:
    CommandQueue& queue() { return queue_; }

    // A new job: running, not stopped, and nothing an earlier job left queued (a second
    // press on "Done", one made while a box was open) is taken.
    void begin();
    // Takes every waiting command in order: pauses and resumes cancel out, a stop ends
    // the call at once (even while paused), and while paused the call waits.
    void poll();

    bool stopRequested() const { return stopRequested_; }
    // Read by other threads: a test waits for its pause to be taken.
    bool paused() const { return paused_; }

private:
    CommandQueue queue_;
    std::atomic<bool> paused_{false};
    bool stopRequested_ = false;
};
