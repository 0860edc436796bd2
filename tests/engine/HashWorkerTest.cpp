#include "engine/HashWorker.h"

#include "utils/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string expected(const std::string& bytes) {
    TOVK_Utils::Sha256 hash(TOVK_Utils::Sha256::Rounds::Portable);
    hash.add(bytes.data(), bytes.size());
    return hash.finishHex();
}

// One worker serves a job's every attachment in turn; a digest not taken is dropped, and
// nothing started gives no digest.
TEST(HashWorker, GivesEachStartedDigestOnce) {
    // Before the worker: the bytes outlive it.
    const std::string texts[] = {"", "abc", std::string(100000, 'x'), std::string(63, '\1')};
    HashWorker worker;
    EXPECT_EQ(worker.digest(), "");
    for (const std::string& text : texts) {
        worker.start(text.data(), text.size());
        EXPECT_EQ(worker.digest(), expected(text)) << text.size();
        EXPECT_EQ(worker.digest(), "");
    }
    worker.start(texts[2].data(), texts[2].size());
    worker.start(texts[1].data(), texts[1].size());
    EXPECT_EQ(worker.digest(), expected(texts[1]));
    // Left pending: the destructor waits for it before the bytes go.
    worker.start(texts[2].data(), texts[2].size());
}

} // namespace
