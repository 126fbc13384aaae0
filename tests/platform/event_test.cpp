#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/thread.h"

using namespace std::chrono_literals;

TEST(Event, SignalLetsExactlyOneWaitThrough) {
    platform::Event event;
    EXPECT_FALSE(event.waitFor(10ms));
    event.signal();
    event.signal();  // not counted: still one
    EXPECT_TRUE(event.waitFor(0ms));
    EXPECT_FALSE(event.waitFor(10ms));
}

TEST(Event, ResetDiscardsAPendingSignal) {
    platform::Event event(true);
    event.reset();
    EXPECT_FALSE(event.waitFor(10ms));
}

TEST(Event, InfiniteWaitWakesOnSignalFromAnotherThread) {
    platform::Event event;
    std::atomic<int> woken{0};
    platform::Thread a([&] {
        event.wait();
        ++woken;
    });
    platform::Thread b([&] {
        event.wait();
        ++woken;
    });
    std::this_thread::sleep_for(20ms);
    event.signal();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(woken, 1);  // auto-reset: one waiter per signal
    event.signal();
    a.join();
    b.join();
    EXPECT_EQ(woken, 2);
}
