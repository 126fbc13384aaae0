#pragma once

// An auto-reset event: signal() lets exactly one wait through (now or later), after which the
// event is unsignalled again.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class Event {
public:
    explicit Event(bool initiallySignalled = false) : signalled_(initiallySignalled) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void signal();
    void reset();
    // Waits until signalled and consumes the signal.
    void wait();
    // Waits at most the given time; true when a signal was consumed.
    bool waitFor(std::chrono::milliseconds timeout);

private:
    std::mutex lock_;  // guards signalled_
    std::condition_variable changed_;
    bool signalled_;
};

}  // namespace platform
