// Runs a cut queue with one job and waits to be killed: the cut queue tests end it with SIGKILL
// while it cuts, to see what a crash leaves behind.
//
//   queue_crash_helper THUMBDIR SOURCE DESTINATION SIGNAL_FD HOLD_AFTER_US START END [...]
//
// Writes one byte to SIGNAL_FD once the worker has started the job. With HOLD_AFTER_US >= 0 it
// lets the cut run that many microseconds, pauses the worker (the cut stops at its next sample)
// and only then writes the byte, so the process dies inside a cut that cannot have ended.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "cut/cut_queue.h"
#include "harness/fake_window.h"
#include "status/status_bar.h"

namespace {

class SignallingWindow : public testsupport::NullWindow {
public:
    SignallingWindow(int fd, long holdAfter) : fd_(fd), holdAfter_(holdAfter) {}
    ~SignallingWindow() override {
        if (holder_.joinable()) {
            holder_.join();
        }
    }
    // Called on the worker thread as it starts the job.
    void setStatusText(int part, const std::string& text) override {
        if (part != 4 || text.rfind("分割中..  ", 0) != 0 || started_) {
            return;  // later texts of the job tell its progress
        }
        started_ = true;
        if (holdAfter_ < 0) {
            signal();
            return;
        }
        // Paused from another thread, as the program pauses the worker.
        holder_ = std::thread([this] {
            std::this_thread::sleep_for(std::chrono::microseconds(holdAfter_));
            queue.load()->pauseWorker();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            signal();
        });
    }

    std::atomic<cut::CutQueue*> queue{nullptr};

private:
    void signal() {
        char byte = 's';
        (void)!::write(fd_, &byte, 1);
    }

    int fd_;
    long holdAfter_;
    bool started_ = false;
    std::thread holder_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8 || argc % 2 != 0) {
        return 2;
    }
    SignallingWindow window(std::atoi(argv[4]), std::atol(argv[5]));
    status::StatusBar bar;
    bar.statusWindow = &window;
    cut::CutQueue queue(argv[1], &bar);
    window.queue = &queue;
    int count = argc - 6;
    auto* times = static_cast<std::uint64_t*>(std::malloc(sizeof(std::uint64_t) * count));
    for (int i = 0; i < count; ++i) {
        times[i] = std::strtoull(argv[6 + i], nullptr, 10);
    }
    queue.enqueue(argv[2], argv[3], times, count, 1);
    for (;;) {
        ::pause();
    }
}
