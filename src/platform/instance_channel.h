#pragma once

// How a second start hands its command line's files to the instance that runs: a local stream
// socket beside the instance lock (see single_instance.h). Only the same user gets through: the
// socket lies in the user's own runtime folder, and both ends check the other's credentials
// (SO_PEERCRED) anyway, as they must when the socket lies in the shared /tmp.
//
// One request per connection: the sender writes the file list and waits for one byte that says
// the files were taken, or that the instance did not get to them in time (its user-interface
// thread is stuck); a connection closed without a byte means it would not take them (it is
// closing).
//
// The file list: the 8 bytes "SPLICOR\x01", the length of the rest as 32 bits little-endian, and
// the rest: each path followed by a NUL byte (a path holds any byte but NUL). No paths at all is
// a request too: the window comes forward.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// How long a second start waits for the running instance to take its files.
constexpr std::chrono::milliseconds kHandOverTimeout{2000};
// The longest file list (its framing included) either end handles: far more than a command line
// holds.
constexpr std::size_t kMaxFileListBytes = 16u << 20;

std::string encodeFileList(const std::vector<std::string>& paths);

enum class FileList {
    complete,    // `paths` holds the list
    incomplete,  // a start of a list: more bytes must come
    malformed,   // not a list, or one too long: nothing more will make it one
};
FileList decodeFileList(const std::string& bytes, std::vector<std::string>& paths);

// One request on its way from the listener thread to the thread that acts on it. The listener
// waits for it to be taken; once the listener has given up waiting it can no longer be taken, so
// a sender told "not taken" never has its files opened later after all.
class FileHandOver {
public:
    explicit FileHandOver(std::vector<std::string> paths) : paths_(std::move(paths)) {}

    const std::vector<std::string>& paths() const { return paths_; }

    // By the acting thread, just before it acts: whether the sender still waits; if so it is
    // told, and the files are the caller's to open.
    bool take();
    // By the acting thread when it will not act (the window is gone): the sender is told at once.
    void decline();

    enum class State { waiting, taken, declined, unanswered };
    // By the listener: waits until the request is taken or declined, or `limit` has passed
    // (unanswered); from then on it can no longer be taken.
    State waitUntilTaken(std::chrono::milliseconds limit);
    // When the listener stops: declined, unless already taken.
    void abandon() { decline(); }

private:
    const std::vector<std::string> paths_;
    std::mutex mutex_;  // guards state_
    std::condition_variable changed_;
    State state_ = State::waiting;
};

// The running instance's end: a socket bound at construction (so that second starts can connect
// and wait while the program still starts up) and a listener thread, from start() on, that takes
// one connection at a time.
class InstanceServer {
public:
    // Receives each well-formed request, on the listener thread; must hand it on to the thread
    // that acts on it and return at once.
    using Delivery = std::function<void(std::shared_ptr<FileHandOver>)>;

    // Binds and listens on `socketPath`, replacing a socket of this user's left there by an
    // instance that ended without removing it (the caller holds the instance lock, so nobody
    // serves it). listening() tells whether that worked, problem() why not.
    explicit InstanceServer(std::string socketPath);
    // stop().
    ~InstanceServer();
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    const std::string& problem() const { return problem_; }

    // Starts the listener thread (once, when listening).
    void start(Delivery deliver);
    // Stops the listener thread and waits for it: a request in hand is abandoned. No delivery
    // happens after it returns, and the socket is gone (if it is still the one bound here).
    void stop();

private:
    void listenerMain();
    void serve(int connection);
    // Reads one file list from `connection` until `deadline`; false when none came.
    bool readFileList(int connection, std::chrono::steady_clock::time_point deadline,
                      std::vector<std::string>& paths);

    const std::string socketPath_;
    std::string problem_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};  // written by stop() to wake the listener's polls
    unsigned long long boundDevice_ = 0, boundInode_ = 0;  // the socket file bound here
    Delivery deliver_;
    std::thread listener_;
    std::mutex mutex_;  // guards stopping_ and inHand_, between stop() and the listener
    bool stopping_ = false;
    std::shared_ptr<FileHandOver> inHand_;  // the request the listener waits on
};

enum class HandOver {
    taken,       // the running instance took the files
    noInstance,  // nobody of this user listens on the socket (yet, or any more)
    notTaken,    // the instance closed the connection without taking them (it is closing)
    noAnswer,    // the instance did not get to them in time, or no answer came by the deadline
    tooLarge,    // more than kMaxFileListBytes to send
};

// The second start's end: sends `paths` to the instance listening on `socketPath` and waits for
// its answer until `deadline`.
HandOver handOverFiles(const std::string& socketPath, const std::vector<std::string>& paths,
                       std::chrono::steady_clock::time_point deadline);

}  // namespace platform
