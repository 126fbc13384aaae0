#pragma once

// A per-user, machine-wide lock that lets only one process hold a given name at a time. The
// kernel releases it when the holding process ends in any way, including SIGKILL.

#include <string>

namespace platform {

// The name the program's single instance lock is taken under.
constexpr const char* kInstanceLockName = "SplicorWin32";

class SingleInstanceLock {
public:
    // Tries to take the lock; held() tells whether it was taken. Never blocks.
    explicit SingleInstanceLock(const std::string& name);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    bool held() const { return fd_ >= 0; }
    // The lock file behind the name, in the system temporary directory.
    static std::string pathFor(const std::string& name);

private:
    int fd_ = -1;
};

}  // namespace platform
