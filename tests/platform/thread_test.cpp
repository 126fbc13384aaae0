#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "platform/event.h"
#include "support/eventually.h"

using namespace std::chrono_literals;
using platform::Thread;

namespace {

// A thread that counts turns and stops at a safe point between them.
struct Counter {
    std::atomic<bool> stop{false};
    std::atomic<long> turns{0};
    Thread thread;

    explicit Counter(Thread::Start start = Thread::Start::Running)
        : thread(
              [this] {
                  while (!stop) {
                      ++turns;
                      platform::safePoint();
                  }
              },
              start) {}
    ~Counter() {
        stop = true;
        platform::resumeThreadById(thread.id());
    }
    // True when the counter stays still for a while.
    bool stalled() {
        long before = turns;
        std::this_thread::sleep_for(50ms);
        return turns == before;
    }
};

}  // namespace

TEST(Thread, CreatedSuspendedRunsOnlyAfterResume) {
    Counter counter(Thread::Start::Suspended);
    EXPECT_EQ(platform::suspendCount(counter.thread.id()), 1);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(counter.turns, 0);
    EXPECT_EQ(platform::resumeThread(counter.thread.id()), 1);
    EXPECT_TRUE(testsupport::eventually([&] { return counter.turns > 0; }));
}

TEST(Thread, IdsAreDistinctNonZeroAndStable) {
    Counter a, b;
    EXPECT_NE(a.thread.id(), platform::kNoThread);
    EXPECT_NE(a.thread.id(), b.thread.id());
    EXPECT_NE(platform::currentThreadId(), a.thread.id());
    EXPECT_EQ(platform::currentThreadId(), platform::currentThreadId());
}

TEST(Thread, SuspensionStopsAtSafePointAndResumeByIdRestarts) {
    Counter counter;
    ASSERT_TRUE(testsupport::eventually([&] { return counter.turns > 0; }));
    platform::suspendThreadById(counter.thread.id());
    platform::suspendThreadById(counter.thread.id());
    EXPECT_EQ(platform::suspendCount(counter.thread.id()), 2);
    EXPECT_TRUE(testsupport::eventually([&] { return counter.stalled(); }));

    // A single resume undoes one suspension only; resume by id undoes them all.
    EXPECT_EQ(platform::resumeThread(counter.thread.id()), 2);
    EXPECT_TRUE(counter.stalled());
    platform::resumeThreadById(counter.thread.id());
    EXPECT_EQ(platform::suspendCount(counter.thread.id()), 0);
    EXPECT_TRUE(testsupport::eventually([&] { return !counter.stalled(); }));
}

TEST(Thread, UnknownAndEndedIdsAreIgnored) {
    platform::ThreadId ended;
    {
        Thread t([] {});
        ended = t.id();
        t.join();
    }
    for (platform::ThreadId id : {ended, platform::ThreadId{0}, platform::ThreadId{0xFFFFFFF0}}) {
        platform::suspendThreadById(id);
        platform::resumeThreadById(id);
        EXPECT_EQ(platform::resumeThread(id), -1);
        EXPECT_EQ(platform::suspendCount(id), -1);
    }
}

TEST(Thread, SelfSuspensionStacksWithOtherSuspensions) {
    platform::Event parked;
    std::atomic<bool> woke{false};
    std::atomic<platform::ThreadId> worker{0};
    Thread t([&] {
        worker = platform::currentThreadId();
        parked.signal();
        platform::suspendThreadById(platform::currentThreadId());
        woke = true;
    });
    parked.wait();
    ASSERT_TRUE(testsupport::eventually([&] { return platform::suspendCount(t.id()) == 1; }));
    // A pause on top of the idle suspension: one single resume leaves it stopped.
    platform::suspendThreadById(t.id());
    EXPECT_EQ(platform::resumeThread(t.id()), 2);
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(woke);
    platform::resumeThreadById(t.id());
    t.join();
    EXPECT_TRUE(woke);
    EXPECT_EQ(worker, t.id());
}

TEST(Thread, ResumeJustBeforeSelfSuspensionIsNotLost) {
    // The worker finds no work, then (before it suspends itself) another thread hands it work
    // and resumes it. The worker must not sleep on that work.
    std::mutex queueLock;
    int queued = 0;
    platform::Event foundNothing, handedOver;
    std::atomic<int> done{0};
    Thread t([&] {
        bool waitedOnce = false;
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(queueLock);
                if (queued > 0) {
                    --queued;
                    ++done;
                    return;
                }
            }
            if (!waitedOnce) {
                waitedOnce = true;
                foundNothing.signal();
                handedOver.wait();
            }
            platform::suspendThreadById(platform::currentThreadId());
        }
    });
    foundNothing.wait();
    {
        std::lock_guard<std::mutex> guard(queueLock);
        ++queued;
    }
    EXPECT_EQ(platform::resumeThread(t.id()), 0);
    handedOver.signal();
    EXPECT_TRUE(testsupport::eventually([&] { return done == 1; }));
    platform::resumeThreadById(t.id());  // only reached on failure: lets join() return
    t.join();
}

TEST(Thread, ResumeThatEndsAPendingPauseIsNotLostToTheNextSelfSuspension) {
    // The worker looked for work and is about to suspend itself; meanwhile another thread
    // pauses it (the pause has not stopped it yet) and then, shutting down, resumes it. The
    // worker's self-suspension must not swallow that resume and sleep for good.
    platform::Event aboutToSleep, pausedAndResumed;
    std::atomic<bool> ended{false};
    Thread t([&] {
        aboutToSleep.signal();
        pausedAndResumed.wait();
        platform::suspendThreadById(platform::currentThreadId());
        ended = true;
    });
    aboutToSleep.wait();
    platform::suspendThreadById(t.id());
    platform::resumeThreadById(t.id());
    pausedAndResumed.signal();
    EXPECT_TRUE(testsupport::eventually([&] { return ended.load(); }));
    platform::resumeThreadById(t.id());  // only needed on failure: lets join() return
    t.join();
}

TEST(Thread, NeverStopsWhileHoldingAStopFreeLock) {
    std::mutex shared;
    platform::Event holding;
    std::atomic<bool> stop{false};
    Thread t([&] {
        while (!stop) {
            platform::StopFreeLock<std::mutex> lock(shared);
            holding.signal();
            std::this_thread::sleep_for(20ms);
            platform::safePoint();  // inside the lock: must not stop here
            std::this_thread::sleep_for(20ms);
        }
    });
    holding.wait();
    platform::suspendThreadById(t.id());
    // Were the worker stopped inside its lock, this would time out.
    ASSERT_TRUE(testsupport::eventually([&] { return shared.try_lock(); }));
    // Holding the lock ourselves, the worker is now stopped outside of it.
    shared.unlock();
    EXPECT_EQ(platform::suspendCount(t.id()), 1);
    stop = true;
    platform::resumeThreadById(t.id());
    t.join();
}

TEST(Thread, WorkDoneForASuspendedOwnerWaits) {
    Counter owner;
    std::atomic<long> served{0};
    std::atomic<bool> stop{false};
    Thread helper([&] {
        while (!stop) {
            platform::waitWhileSuspended(owner.thread.id());
            ++served;
            std::this_thread::sleep_for(1ms);
        }
    });
    platform::suspendThreadById(owner.thread.id());
    ASSERT_TRUE(testsupport::eventually([&] {
        long before = served;
        std::this_thread::sleep_for(30ms);
        return served == before;
    }));
    platform::resumeThreadById(owner.thread.id());
    long before = served;
    EXPECT_TRUE(testsupport::eventually([&] { return served > before; }));
    stop = true;
    helper.join();
}
