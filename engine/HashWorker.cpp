#include "engine/HashWorker.h"

#include "utils/Sha256.h"

namespace {

std::string hexDigest(const void* bytes, size_t count) {
    TOVK_Utils::Sha256 hash;
    hash.add(bytes, count);
    return hash.finishHex();
}

} // namespace

HashWorker::~HashWorker() {
    digest();
    if (!threadRuns_)
        return;
    quit_ = true;
    work_.set();
    join();
}

bool HashWorker::startThread() {
    if (threadRuns_ || threadFailed_)
        return threadRuns_;
    threadFailed_ = !work_.create(TOVK_Utils::Event::Reset::Auto) ||
                    !done_.create(TOVK_Utils::Event::Reset::Auto) ||
                    Thread2::start(0, 0) == StartFailed;
    threadRuns_ = !threadFailed_;
    return threadRuns_;
}

void HashWorker::start(const void* bytes, size_t count) {
    digest();
    pending_ = true;
    if (!startThread()) {
        digest_ = hexDigest(bytes, count);
        return;
    }
    bytes_ = bytes;
    count_ = count;
    work_.set();
}

std::string HashWorker::digest() {
    if (!pending_)
        return std::string();
    pending_ = false;
    if (!threadRuns_)
        return std::move(digest_);
    done_.wait(TOVK_Utils::Event::Infinite);
    if (!workerLost_)
        return std::move(digest_);
    // The thread has ended without the digest: the job goes on without it.
    threadRuns_ = false;
    threadFailed_ = true;
    join();
    return hexDigest(bytes_, count_);
}

void HashWorker::run() {
    for (;;) {
        if (!work_.wait(TOVK_Utils::Event::Infinite)) {
            workerLost_ = true;
            done_.set();
            return;
        }
        if (quit_)
            return;
        digest_ = hexDigest(bytes_, count_);
        done_.set();
    }
}
