#pragma once

// What splicor-cli shows on standard error: its messages and errors line by line, and while a
// long command runs, a progress line ("cut  42%  0:13 left") rewritten in place about four times
// a second. The progress line is shown only on a terminal, and never stands in the way: it is
// cleared before any other line is written to standard error, drawn again at its next turn, and
// cleared for good when the command ends.
//
// How far a command has come is what its engine says: the share of the output written (cut,
// join) or of the file read for thumbnails.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>

namespace cli {

class ProgressLine {
public:
    // enabled: false for --quiet; the line is also left out when standard error is not a
    // terminal.
    ProgressLine(std::string label, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // How far the command has come, 0 to 1; from any thread.
    void set(double fraction) { fraction_.store(fraction); }
    // Stops the line and clears it.
    void finish();

    // The line for a fraction done (0 to 1) after `elapsedSeconds`: the percentage, and the
    // time left once it can be estimated.
    static std::string text(const std::string& label, double fraction, double elapsedSeconds);

private:
    void loop();

    std::string label_;
    std::atomic<double> fraction_{0};
    std::mutex mutex_;  // guards stop_
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

// std::cerr, written to descriptor 2 a whole line at a time, each clearing the progress line
// first. Takes over std::cerr until destroyed.
class StandardError : public std::streambuf {
public:
    StandardError();
    ~StandardError() override;
    StandardError(const StandardError&) = delete;
    StandardError& operator=(const StandardError&) = delete;

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Writes what is collected up to its last line end (all of it when `all`).
    void writeLines(bool all);

    std::string line_;
    std::streambuf* previous_ = nullptr;
};

}  // namespace cli
