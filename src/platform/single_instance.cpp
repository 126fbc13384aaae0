#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

std::string SingleInstanceLock::pathFor(const std::string& name) {
    // One lock per user: the name alone would let another user's instance block ours, and a
    // lock file left by another user could not be opened for writing.
    return "/tmp/" + name + "-" + std::to_string(static_cast<unsigned long>(getuid())) + ".lock";
}

SingleInstanceLock::SingleInstanceLock(const std::string& name) {
    int fd = ::open(pathFor(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) {
        // The file stays: removing it would race with a starting instance that already opened it.
        ::close(fd_);
    }
}

}  // namespace platform
