#include "platform/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// A folder that only this user can enter: a socket or lock there needs no further check.
bool isPrivateFolder(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::getuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

}  // namespace

InstancePlaces instancePlaces(const std::string& name, const char* runtimeDirectory) {
    std::string folder = runtimeDirectory != nullptr ? runtimeDirectory : "";
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    if (!folder.empty() && folder.front() == '/') {
        std::string socket = folder + "/" + name + ".socket";
        if (socket.size() < sizeof(sockaddr_un::sun_path) && isPrivateFolder(folder)) {
            return {folder + "/" + name + ".lock", socket, true};
        }
    }
    // One pair per user: the name alone would let another user's instance block ours, and a
    // lock file left by another user could not be opened for writing.
    std::string stem = "/tmp/" + name + "-" + std::to_string(static_cast<unsigned long>(getuid()));
    return {stem + ".lock", stem + ".socket", false};
}

SingleInstanceLock::SingleInstanceLock(const std::string& path) {
    // Not through a link, and without waiting on a FIFO: in /tmp anyone may have put something
    // under the name first.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        problem_ = path + ": " + std::strerror(errno);
        return;
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != ::getuid()) {
        problem_ = path + ": not a file of this user";
        ::close(fd);
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy_ = errno == EWOULDBLOCK;
        if (!busy_) {
            problem_ = path + ": " + std::strerror(errno);
        }
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
