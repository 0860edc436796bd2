#include "engine/CommandQueue.h"

void CommandQueue::postCommand(int32_t command) {
    lock_.lock();
    if (commands_.empty())
        waiting_.set();
    commands_.push_back(command);
    lock_.unlock();
}

bool CommandQueue::tryTakeCommand(int32_t& command) {
    lock_.lock();
    if (commands_.empty()) {
        lock_.unlock();
        return false;
    }
    command = commands_.front();
    commands_.pop_front();
    if (commands_.empty())
        waiting_.reset();
    lock_.unlock();
    return true;
}

bool CommandQueue::hasCommand() {
    lock_.lock();
    const bool any = !commands_.empty();
    lock_.unlock();
    return any;
}

void CommandQueue::waitForCommand() {
    if (!hasCommand())
        waiting_.wait(TOVK_Utils::Event::Infinite);
}

void CommandQueue::clear() {
    lock_.lock();
    commands_.clear();
    waiting_.reset();
    lock_.unlock();
}
