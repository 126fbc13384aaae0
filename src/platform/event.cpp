#include "platform/event.h"

namespace platform {

void Event::signal() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        signalled_ = true;
    }
    changed_.notify_one();
}

void Event::reset() {
    std::lock_guard<std::mutex> guard(lock_);
    signalled_ = false;
}

void Event::wait() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return signalled_; });
    signalled_ = false;
}

bool Event::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!changed_.wait_for(guard, timeout, [this] { return signalled_; })) {
        return false;
    }
    signalled_ = false;
    return true;
}

}  // namespace platform
