#include "cli/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace cli {

std::uint64_t bytesReadByProcess() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return 0;
}

std::string ProgressLine::text(const std::string& label, double fraction, double elapsedSeconds) {
    fraction = std::clamp(fraction, 0.0, 0.99);
    char line[96];
    int used = std::snprintf(line, sizeof line, "%s %3d%%", label.c_str(),
                             static_cast<int>(fraction * 100));
    // Too early, the rate says nothing yet.
    if (fraction >= 0.02 && elapsedSeconds >= 1.0 && used > 0 &&
        static_cast<std::size_t>(used) < sizeof line) {
        long left = std::lround(elapsedSeconds * (1 - fraction) / fraction);
        std::snprintf(line + used, sizeof line - used, "  %ld:%02ld left", left / 60, left % 60);
    }
    return line;
}

ProgressLine::ProgressLine(std::string label, std::uint64_t expectedBytes, bool enabled)
    : label_(std::move(label)), expected_(expectedBytes) {
    if (enabled && expected_ > 0 && ::isatty(STDERR_FILENO)) {
        startBytes_ = bytesReadByProcess();
        thread_ = std::thread([this] { loop(); });
    }
}

ProgressLine::~ProgressLine() {
    finish();
}

void ProgressLine::finish() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

void ProgressLine::loop() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    // The first line at once, so even a short run shows that it started.
    do {
        const std::uint64_t read = bytesReadByProcess() - startBytes_;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::string line = text(label_, static_cast<double>(read) / expected_, elapsed);
        std::fprintf(stderr, "\r%s\033[K", line.c_str());
        std::fflush(stderr);
    } while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; }));
}

}  // namespace cli
