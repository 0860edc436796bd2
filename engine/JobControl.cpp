#include "engine/JobControl.h"

void JobControl::begin() {
    paused_ = false;
    stopRequested_ = false;
    queue_.clear();
}

void JobControl::poll() {
    for (;;) {
        int32_t command = 0;
        if (queue_.tryTakeCommand(command)) {
            if (command == CommandQueue::togglePause) {
                paused_ = !paused_;
            } else if (command == CommandQueue::stop) {
                stopRequested_ = true;
                return;
            }
            continue;
        }
        if (!paused_)
            return;
        queue_.waitForCommand();
    }
}
