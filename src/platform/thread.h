#pragma once

// Threads with their own 32-bit ids and suspend counts.
//
// A thread is stopped by raising its suspend count. The stop takes effect when the thread reaches
// a safe point (safePoint(), or a self-suspension), never while it is inside a NoStopScope, so a
// thread is never stopped while it holds a lock that its suspender may want. Any thread may
// suspend or resume any other by id; an id that names no living thread is ignored.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

using ThreadId = std::uint32_t;

// No thread ever has this id.
constexpr ThreadId kNoThread = 0;

struct ThreadRecord;

enum class ThreadPriority { Normal, TimeCritical };

// A thread of the program. The body runs on a new thread; with Start::Suspended it waits until
// its suspend count is brought back to zero before running the body.
class Thread {
public:
    enum class Start { Running, Suspended };

    Thread() = default;
    explicit Thread(std::function<void()> body, Start start = Start::Running,
                    ThreadPriority priority = ThreadPriority::Normal);
    Thread(Thread&&) noexcept;
    Thread& operator=(Thread&&) noexcept;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    // Waits for the thread if it was neither joined nor detached.
    ~Thread();

    ThreadId id() const { return id_; }
    bool joinable() const { return thread_.joinable(); }
    void join();
    void detach();

private:
    ThreadId id_ = kNoThread;
    std::thread thread_;
};

// The id of the calling thread. Threads not made by Thread (the user-interface thread, threads of
// libraries) get an id on their first call; it lasts until they end.
ThreadId currentThreadId();

// Raises the thread's suspend count by one. Called on the calling thread's own id, it stops at
// once (a self-suspension). Does nothing for an id that names no living thread.
void suspendThreadById(ThreadId id);

// Lowers the thread's suspend count to zero so that it runs. Does nothing for an unknown id.
void resumeThreadById(ThreadId id);

// Lowers the suspend count by one. Returns the previous count, or -1 for an unknown id.
//
// A resume of either kind that finds the count already at zero is remembered: the thread's next
// self-suspension then returns at once instead of stopping. This closes the window between a
// thread deciding it has nothing to do and suspending itself, in which a resume meant to hand
// it work would otherwise be lost. Threads re-check their work after a self-suspension, so the
// remembered resume costs at most one more look.
int resumeThread(ThreadId id);

// The current suspend count, or -1 for an unknown id. For tests and diagnostics.
int suspendCount(ThreadId id);

// Stops the calling thread while its suspend count is above zero. Threads call it between units
// of work (two frames, two samples, two bitmaps), where they hold no lock.
void safePoint();

// Stops the calling thread while the given thread's suspend count is above zero. Work done on
// behalf of another thread (a media runtime thread delivering samples to a cut) calls this with
// the id of the thread it serves, so suspending that thread pauses the work too.
void waitWhileSuspended(ThreadId owner);

// While an instance lives, the calling thread does not stop at safe points; a stop that was
// asked for meanwhile takes effect when the outermost scope ends.
class NoStopScope {
public:
    NoStopScope();
    ~NoStopScope();
    NoStopScope(const NoStopScope&) = delete;
    NoStopScope& operator=(const NoStopScope&) = delete;
};

// A lock held inside a NoStopScope: the owning thread cannot be stopped until it lets go.
template <class Mutex>
class StopFreeLock {
public:
    explicit StopFreeLock(Mutex& m) : lock_(m) {}
    void unlock() { lock_.unlock(); }
    void lock() { lock_.lock(); }
    std::unique_lock<Mutex>& inner() { return lock_; }

private:
    NoStopScope scope_;  // declared first: the lock is released before stops are allowed again
    std::unique_lock<Mutex> lock_;
};

}  // namespace platform
