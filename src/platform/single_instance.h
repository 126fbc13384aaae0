#pragma once

// A per-user lock that lets only one process hold a given name at a time, and the places of that
// lock and of the socket beside it through which a second start reaches the holder (see
// instance_channel.h). The kernel releases the lock when the holding process ends in any way,
// including SIGKILL.

#include <string>

namespace platform {

// The name the program's single instance lock is taken under.
constexpr const char* kInstanceLockName = "SplicorWin32";

// Where the lock file and the socket of a name lie.
struct InstancePlaces {
    std::string lock;
    std::string socket;
    // True when both lie in the user's own runtime folder, which nobody else can enter; false
    // in the shared /tmp, where the socket's peer must be checked on both ends.
    bool privateFolder = false;
};

// "NAME.lock" and "NAME.socket" in `runtimeDirectory` (the environment's XDG_RUNTIME_DIR) when
// it is an absolute path to a folder of this user that nobody else may enter, and the socket's
// path fits an address; else "/tmp/NAME-UID.lock" and "/tmp/NAME-UID.socket", one pair per user.
// The environment's value is given, so that callers (and tests) choose it.
InstancePlaces instancePlaces(const std::string& name, const char* runtimeDirectory);

class SingleInstanceLock {
public:
    // Tries to take the lock file `path`, made if missing (mode 0600); never blocks. A file that
    // is not a regular file of this user (a link, a FIFO, another user's file planted in /tmp)
    // is not opened, or let go at once: the lock is then neither held nor busy.
    explicit SingleInstanceLock(const std::string& path);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    bool held() const { return fd_ >= 0; }
    // Another process holds it.
    bool busy() const { return busy_; }
    // Why the lock could not be taken (neither held nor busy), for the user.
    const std::string& problem() const { return problem_; }

private:
    int fd_ = -1;
    bool busy_ = false;
    std::string problem_;
};

}  // namespace platform
