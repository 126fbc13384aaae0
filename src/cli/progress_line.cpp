#include "cli/progress_line.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "platform/files.h"

namespace cli {

namespace {

// The terminal's last line, shared by the progress line and the lines of standard error.
struct TerminalLine {
    std::mutex lock;     // guards shown, and orders every write to descriptor 2
    bool shown = false;  // a progress line stands on it
};

TerminalLine& terminalLine() {
    static TerminalLine line;
    return line;
}

constexpr char kClear[] = "\r\033[K";

void writeError(const std::string& text) {
    platform::writeFully(STDERR_FILENO, text.data(), text.size());
}

}  // namespace

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

ProgressLine::ProgressLine(std::string label, bool enabled) : label_(std::move(label)) {
    if (enabled && ::isatty(STDERR_FILENO)) {
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
    TerminalLine& terminal = terminalLine();
    std::lock_guard<std::mutex> hold(terminal.lock);
    if (terminal.shown) {
        writeError(kClear);
        terminal.shown = false;
    }
}

void ProgressLine::loop() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    // The first line at once, so even a short run shows that it started.
    do {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const std::string line = "\r" + text(label_, fraction_.load(), elapsed) + "\033[K";
        TerminalLine& terminal = terminalLine();
        std::lock_guard<std::mutex> hold(terminal.lock);
        writeError(line);
        terminal.shown = true;
    } while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; }));
}

StandardError::StandardError() {
    previous_ = std::cerr.rdbuf(this);
}

StandardError::~StandardError() {
    writeLines(true);
    std::cerr.rdbuf(previous_);
}

StandardError::int_type StandardError::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        line_ += traits_type::to_char_type(c);
    }
    return traits_type::not_eof(c);
}

int StandardError::sync() {
    // std::cerr flushes after every insertion; only whole lines go out.
    writeLines(false);
    return 0;
}

void StandardError::writeLines(bool all) {
    const std::size_t end = all ? line_.size() : line_.rfind('\n') + 1;
    if (end == 0 || line_.empty()) {
        return;
    }
    std::string text = line_.substr(0, end);
    line_.erase(0, end);
    TerminalLine& terminal = terminalLine();
    std::lock_guard<std::mutex> hold(terminal.lock);
    if (terminal.shown) {
        text.insert(0, kClear);
        terminal.shown = false;
    }
    writeError(text);
}

}  // namespace cli
