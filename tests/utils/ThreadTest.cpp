#include "utils/CriticalObject.h"
#include "utils/Event.h"
#include "utils/Thread2.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <utility>

using TOVK_Utils::CriticalObject;
using TOVK_Utils::Event;
using TOVK_Utils::Thread2;

namespace {

// Generous: only a broken implementation ever waits this long.
constexpr uint32_t Patience = 60000;

class FunctionThread : public Thread2 {
public:
    explicit FunctionThread(std::function<void(FunctionThread&)> body) : body_(std::move(body)) {}
    void run() override { body_(*this); }

private:
    std::function<void(FunctionThread&)> body_;
};

// A thread that never finishes still uses its object, so the test cannot go on safely.
void joinOrStop(Thread2& thread) {
    if (!thread.join(Patience)) {
        std::fprintf(stderr, "a thread did not finish; stopping the tests\n");
        std::fflush(stderr);
        std::_Exit(2);
    }
}

} // namespace

TEST(EventTest, NewEventIsManualResetAndNotSignalled) {
    Event e;
    EXPECT_NE(e.handle(), nullptr);
    EXPECT_FALSE(e.wait(0));
    EXPECT_FALSE(e.wait(20));

    EXPECT_TRUE(e.set());
    EXPECT_TRUE(e.wait(0));
    EXPECT_TRUE(e.wait(Event::Infinite));
    EXPECT_TRUE(e.wait(0));

    EXPECT_TRUE(e.reset());
    EXPECT_FALSE(e.wait(0));
}

TEST(EventTest, CreateReplacesTheEventAndAutoResetIsConsumedByOneWait) {
    Event e;
    e.set();
    ASSERT_NE(e.create(Event::Reset::Auto), nullptr);
    // A fresh event: the old signal is gone with the old event.
    EXPECT_FALSE(e.wait(0));

    e.set();
    e.set(); // signals do not add up
    EXPECT_TRUE(e.wait(0));
    EXPECT_FALSE(e.wait(0));

    ASSERT_NE(e.create(Event::Reset::Manual), nullptr);
    e.set();
    EXPECT_TRUE(e.wait(0));
    EXPECT_TRUE(e.wait(0));
}

TEST(EventTest, CloseTwiceAndOperationsWithoutAnEvent) {
    Event e;
    e.set();
    EXPECT_TRUE(e.close());
    EXPECT_EQ(e.handle(), nullptr);
    EXPECT_FALSE(e.close());
    EXPECT_FALSE(e.set());
    EXPECT_FALSE(e.reset());
    EXPECT_FALSE(e.wait(0));
    EXPECT_FALSE(e.wait(Event::Infinite));

    ASSERT_NE(e.create(Event::Reset::Manual), nullptr);
    EXPECT_FALSE(e.wait(0));
}

TEST(EventTest, AutoResetReleasesOneWaiterPerSignal) {
    Event work;
    work.create(Event::Reset::Auto);
    Event woke;
    woke.create(Event::Reset::Auto);
    std::atomic<int> released{0};
    auto waiter = [&](FunctionThread&) {
        if (work.wait(Patience))
            ++released;
        woke.set();
    };
    FunctionThread first(waiter);
    FunctionThread second(waiter);
    first.start(0, 0);
    second.start(0, 0);

    work.set();
    ASSERT_TRUE(woke.wait(Patience));
    EXPECT_EQ(released.load(), 1);
    // The waiter consumed the signal.
    EXPECT_FALSE(work.wait(0));

    work.set();
    joinOrStop(first);
    joinOrStop(second);
    EXPECT_EQ(released.load(), 2);
}

TEST(EventTest, ManualResetReleasesEveryWaiter) {
    Event go;
    std::atomic<int> released{0};
    auto waiter = [&](FunctionThread&) {
        if (go.wait(Event::Infinite))
            ++released;
    };
    FunctionThread first(waiter);
    FunctionThread second(waiter);
    first.start(0, 0);
    second.start(0, 0);

    go.set();
    joinOrStop(first);
    joinOrStop(second);
    EXPECT_EQ(released.load(), 2);
    EXPECT_TRUE(go.wait(0));
}

TEST(ThreadTest, RunSeesIdHandleAndParameter) {
    uint32_t seenId = 0;
    void* seenHandle = nullptr;
    uint32_t seenParameter = 0;
    FunctionThread t([&](FunctionThread& self) {
        seenId = self.threadId();
        seenHandle = self.threadHandle();
        seenParameter = self.parameter();
    });
    EXPECT_EQ(t.threadId(), 0u);
    EXPECT_FALSE(t.finished().wait(0));

    EXPECT_NE(t.start(0x10000, 7), Thread2::StartFailed);
    joinOrStop(t);
    EXPECT_NE(seenId, 0u);
    EXPECT_NE(seenHandle, nullptr);
    EXPECT_EQ(seenId, t.threadId());
    EXPECT_EQ(seenHandle, t.threadHandle());
    EXPECT_EQ(seenParameter, 7u);
}

TEST(ThreadTest, FinishedIsSignalledOnceAfterRunReturns) {
    Event mayReturn;
    std::atomic<bool> returning{false};
    FunctionThread t([&](FunctionThread&) {
        mayReturn.wait(Patience);
        returning = true;
    });
    // Auto reset, so that each signal can be counted by consuming it.
    t.finished().create(Event::Reset::Auto);
    t.start(0, 0);

    EXPECT_FALSE(t.finished().wait(0));
    mayReturn.set();
    joinOrStop(t);
    EXPECT_TRUE(returning.load());
    EXPECT_FALSE(t.finished().wait(0));
}

TEST(ThreadTest, AFinishedThreadObjectCanBeStartedAgain) {
    std::atomic<int> runs{0};
    std::atomic<uint32_t> lastParameter{0};
    FunctionThread t([&](FunctionThread& self) {
        ++runs;
        lastParameter = self.parameter();
    });
    t.start(0, 1);
    joinOrStop(t);
    // Starting does not reset the finished event; the owner does before the next run.
    t.finished().reset();
    t.start(0, 2);
    joinOrStop(t);
    EXPECT_EQ(runs.load(), 2);
    EXPECT_EQ(lastParameter.load(), 2u);
}

TEST(ThreadTest, OwnerMayDestroyTheObjectAsSoonAsFinishedIsSignalled) {
    // Any access by the ending thread after the signal is a use after free here, which
    // the address sanitizer build reports.
    for (int i = 0; i < 20; ++i) {
        auto* t = new FunctionThread([](FunctionThread&) {});
        t->start(0, uint32_t(i));
        joinOrStop(*t);
        delete t;
    }
}

TEST(ThreadTest, StackIsNeverBelowTheMinimum) {
    const uint32_t requests[] = {0, 0x10000, 0x3FFFF, 0x40000, 0x40001, 0x100000};
    const uint32_t expected[] = {0x40000, 0x40000, 0x40000, 0x40000, 0x40001, 0x100000};
    for (int i = 0; i < 6; ++i) {
        std::atomic<bool> ran{false};
        FunctionThread t([&](FunctionThread&) { ran = true; });
        EXPECT_NE(t.start(requests[i], 0), Thread2::StartFailed);
        joinOrStop(t);
        EXPECT_TRUE(ran.load());
        EXPECT_EQ(t.stackSize(), expected[i]) << std::hex << requests[i];
    }
}

TEST(CriticalObjectTest, OwnerMayLockAgainAndReleasesFully) {
    CriticalObject lock;
    lock.lock();
    lock.lock();
    EXPECT_EQ(lock.unlock(), 0);
    EXPECT_EQ(lock.unlock(), 0);

    // Only a completely released lock lets another thread in.
    std::atomic<bool> entered{false};
    FunctionThread other([&](FunctionThread&) {
        lock.lock();
        entered = true;
        lock.unlock();
    });
    other.start(0, 0);
    joinOrStop(other);
    EXPECT_TRUE(entered.load());
}

TEST(CriticalObjectTest, ExcludesOtherThreads) {
    CriticalObject lock;
    long counter = 0;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    constexpr int Rounds = 20000;
    auto add = [&](FunctionThread&) {
        for (int i = 0; i < Rounds; ++i) {
            // After the inner unlock the outer lock must still keep the other thread out.
            lock.lock();
            lock.lock();
            lock.unlock();
            if (++inside > 1)
                ++overlaps;
            long seen = counter;
            // Gives the other thread every chance to step in while the lock is held.
            std::this_thread::yield();
            counter = seen + 1;
            --inside;
            lock.unlock();
        }
    };
    FunctionThread first(add);
    FunctionThread second(add);
    first.start(0, 0);
    second.start(0, 0);
    joinOrStop(first);
    joinOrStop(second);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(counter, 2L * Rounds);
}

// A start the fault hook refuses is one the system refused: nothing runs, and the next
// start, allowed, runs.
TEST(ThreadTest, ARefusedStartRunsNothing) {
    std::atomic<int> runs{0};
    FunctionThread t([&](FunctionThread&) { ++runs; });
    Thread2::setStartProbe([] { return false; });
    const uint32_t refused = t.start(0, 0);
    Thread2::setStartProbe(nullptr);
    EXPECT_EQ(refused, Thread2::StartFailed);
    EXPECT_EQ(t.threadHandle(), nullptr);
    EXPECT_FALSE(t.join(50));
    EXPECT_EQ(t.start(0, 0), 1u);
    joinOrStop(t);
    EXPECT_EQ(runs.load(), 1);
}
