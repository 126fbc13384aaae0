#pragma once

// The progress line of the long commands: "cut  42%  0:13 left" on standard error, rewritten in
// place about four times a second, cleared when the command ends. Shown only when standard error
// is a terminal; a pipe or a file gets nothing.
//
// How far a command has come is measured by the bytes the process has read so far (the kernel's
// count in /proc/self/io) against the bytes the command is expected to read, so it needs no hook
// in the engine and works for every reader thread alike. The figure is an estimate: it stays
// below 100 % until finish().

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace cli {

class ProgressLine {
public:
    // expectedBytes: what the command will read, roughly; enabled: false for --quiet.
    ProgressLine(std::string label, std::uint64_t expectedBytes, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Stops the line and clears it, so what the command prints next starts on a clean line.
    void finish();

    // The line for a fraction done (0 to 1) after `elapsedSeconds`: the percentage, and the
    // time left once it can be estimated.
    static std::string text(const std::string& label, double fraction, double elapsedSeconds);

private:
    void loop();

    std::string label_;
    std::uint64_t expected_;
    std::uint64_t startBytes_ = 0;
    std::mutex mutex_;  // guards stop_
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

// Bytes this process has read so far, all threads; 0 when the kernel does not tell.
std::uint64_t bytesReadByProcess();

}  // namespace cli
