#include "platform/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <unordered_map>
#include <utility>

namespace platform {

// The state behind one thread id. Shared by the registry, the thread itself and its Thread.
struct ThreadRecord {
    explicit ThreadRecord(ThreadId i, int count) : id(i), suspendCount(count) {}

    const ThreadId id;
    std::mutex lock;  // guards suspendCount and wakePending
    std::condition_variable changed;
    int suspendCount;
    bool wakePending = false;
};

namespace {

struct Registry {
    std::mutex lock;  // guards records
    std::unordered_map<ThreadId, std::shared_ptr<ThreadRecord>> records;
};

Registry& registry() {
    static Registry* r = new Registry;  // never destroyed: threads may outlive static teardown
    return *r;
}

std::atomic<ThreadId> nextId{0x1000};

std::shared_ptr<ThreadRecord> makeRecord(int count) {
    auto record = std::make_shared<ThreadRecord>(nextId.fetch_add(1), count);
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.records.emplace(record->id, record);
    return record;
}

void forget(ThreadId id) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.records.erase(id);
}

std::shared_ptr<ThreadRecord> find(ThreadId id) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.records.find(id);
    return it == r.records.end() ? nullptr : it->second;
}

// The calling thread's record; removes it from the registry when the thread ends.
struct SelfSlot {
    std::shared_ptr<ThreadRecord> record;
    ~SelfSlot() {
        if (record) {
            forget(record->id);
        }
    }
};

thread_local SelfSlot self;
thread_local int noStopDepth = 0;

ThreadRecord& selfRecord() {
    if (!self.record) {
        self.record = makeRecord(0);
    }
    return *self.record;
}

void waitForZero(ThreadRecord& record) {
    std::unique_lock<std::mutex> guard(record.lock);
    record.changed.wait(guard, [&] { return record.suspendCount <= 0; });
}

void applyPriority(ThreadPriority priority) {
    if (priority == ThreadPriority::TimeCritical) {
        // Best effort: an unprivileged process may not raise a thread's priority.
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), -10);
    }
}

}  // namespace

Thread::Thread(std::function<void()> body, Start start, ThreadPriority priority) {
    auto record = makeRecord(start == Start::Suspended ? 1 : 0);
    id_ = record->id;
    thread_ = std::thread([record, priority, body = std::move(body)]() {
        self.record = record;
        applyPriority(priority);
        waitForZero(*record);
        body();
    });
}

Thread::Thread(Thread&& other) noexcept
    : id_(std::exchange(other.id_, kNoThread)), thread_(std::move(other.thread_)) {}

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        if (thread_.joinable()) {
            thread_.join();
        }
        id_ = std::exchange(other.id_, kNoThread);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

Thread::~Thread() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Thread::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Thread::detach() {
    if (thread_.joinable()) {
        thread_.detach();
    }
}

ThreadId currentThreadId() {
    return selfRecord().id;
}

void suspendThreadById(ThreadId id) {
    ThreadRecord& me = selfRecord();
    if (id == me.id) {
        {
            std::lock_guard<std::mutex> guard(me.lock);
            if (me.wakePending) {
                // A resume arrived after this thread last ran out of work: look again.
                me.wakePending = false;
                return;
            }
            ++me.suspendCount;
        }
        safePoint();
        // The resume that woke this thread is spent: it runs and looks for work now.
        std::lock_guard<std::mutex> guard(me.lock);
        me.wakePending = false;
        return;
    }
    if (auto record = find(id)) {
        std::lock_guard<std::mutex> guard(record->lock);
        ++record->suspendCount;
    }
}

void resumeThreadById(ThreadId id) {
    if (auto record = find(id)) {
        std::lock_guard<std::mutex> guard(record->lock);
        // Remembered also when it ends a suspension asked for by another thread (a pause) that
        // has not stopped the thread yet: the thread may be just about to suspend itself, and
        // that self-suspension must not swallow this wake-up.
        record->wakePending = true;
        record->suspendCount = 0;
        record->changed.notify_all();
    }
}

int resumeThread(ThreadId id) {
    auto record = find(id);
    if (!record) {
        return -1;
    }
    std::lock_guard<std::mutex> guard(record->lock);
    int previous = record->suspendCount;
    if (previous == 0) {
        record->wakePending = true;
    } else {
        --record->suspendCount;
        if (record->suspendCount == 0) {
            record->changed.notify_all();
        }
    }
    return previous;
}

int suspendCount(ThreadId id) {
    auto record = find(id);
    if (!record) {
        return -1;
    }
    std::lock_guard<std::mutex> guard(record->lock);
    return record->suspendCount;
}

void safePoint() {
    if (noStopDepth > 0) {
        return;
    }
    waitForZero(selfRecord());
}

void waitWhileSuspended(ThreadId owner) {
    if (noStopDepth > 0) {
        return;
    }
    if (owner == currentThreadId()) {
        safePoint();
    } else if (auto record = find(owner)) {
        waitForZero(*record);
    }
}

NoStopScope::NoStopScope() {
    ++noStopDepth;
}

NoStopScope::~NoStopScope() {
    if (--noStopDepth == 0) {
        safePoint();
    }
}

}  // namespace platform
