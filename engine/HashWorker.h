// HashWorker: the SHA-256 of a saved attachment, for the list, computed on a second
// thread while the job writes the same bytes to disk, so that the list adds little to
// the time a job takes. Where no thread can be had, the digest is computed at once.
#pragma once

#include "utils/Event.h"
#include "utils/Thread2.h"

#include <atomic>
#include <cstddef>
#include <string>

class HashWorker : private TOVK_Utils::Thread2 {
public:
    HashWorker() = default;
    // Waits for the digest in progress, then ends the thread.
    ~HashWorker() override;

    // Starts the digest of the bytes, which must stay as they are until digest() has
    // returned. A digest not yet taken is waited for and dropped.
    void start(const void* bytes, size_t count);
    // The digest of the bytes last started, in lower-case hexadecimal, once it is done;
    // empty when none was started since the last call.
    std::string digest();

private:
    void run() override;
    bool startThread();

    TOVK_Utils::Event work_, done_;
    const void* bytes_ = nullptr;
    size_t count_ = 0;
    std::string digest_;
    bool threadRuns_ = false;
    bool threadFailed_ = false;
    bool pending_ = false; // started, and its digest not yet taken
    std::atomic<bool> quit_{false};
    std::atomic<bool> workerLost_{false}; // the thread could wait for work no more
};
