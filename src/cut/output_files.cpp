#include "cut/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/own_files.h"

namespace cut {

namespace {

// "dir/name.ext" → ("dir/name", ".ext"); the extension only within the last path component.
std::pair<std::string, std::string> splitExtension(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return {path, ""};
    }
    return {path.substr(0, dot), path.substr(dot)};
}

int createExclusive(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string besideDestination(const std::string& destination, const std::string& name) {
    const std::size_t slash = destination.rfind('/');
    const std::size_t nameSlash = name.rfind('/');
    const std::string base = nameSlash == std::string::npos ? name : name.substr(nameSlash + 1);
    return slash == std::string::npos ? base : destination.substr(0, slash + 1) + base;
}

TemporaryFile::~TemporaryFile() {
    remove();
}

bool TemporaryFile::reserve(const std::string& wanted) {
    remove();
    auto [stem, extension] = splitExtension(wanted);
    for (int n = 0; n < 1000; ++n) {
        std::string candidate = n == 0 ? wanted : stem + "-" + std::to_string(n) + extension;
        int fd = createExclusive(candidate);
        if (fd >= 0) {
            ::close(fd);
            path_ = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

void TemporaryFile::remove() {
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

std::string partialCopyStem(const std::string& destinationName) {
    // Room for ".", "-NNN" and ".splicor-part" around the name.
    return "." + platform::fittedFileName(destinationName, 18);
}

int copyOver(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errno;
    }
    // The copy is built under a hidden name of its own beside the destination (a rename is
    // atomic only within one file system).
    std::size_t slash = to.rfind('/');
    std::string dir = slash == std::string::npos ? "" : to.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? to : to.substr(slash + 1);
    TemporaryFile part;
    if (!part.reserve(dir + partialCopyStem(name) + ".splicor-part")) {
        int error = errno;
        ::close(in);
        return error;
    }
    int out = ::open(part.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    int error = out < 0 ? errno : 0;
    // Let the kernel move the bytes when it can; fall back to reading and writing.
    bool kernelCopy = true;
    while (error == 0 && kernelCopy) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {
            break;
        }
        if (n < 0) {
            if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
                error = errno;
            }
            kernelCopy = false;
        }
    }
    std::vector<char> buffer(kernelCopy ? 0 : 1 << 20);
    while (error == 0 && !kernelCopy) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = errno;
        } else if (n == 0) {
            break;
        } else if (!writeAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            error = errno;
        }
    }
    if (error == 0 && ::fsync(out) != 0) {
        error = errno;
    }
    if (out >= 0 && ::close(out) != 0 && error == 0) {
        error = errno;
    }
    ::close(in);
    if (error == 0 && ::rename(part.path().c_str(), to.c_str()) != 0) {
        error = errno;
    }
    if (error == 0) {
        // Renamed: nothing left to delete under the reserved name.
        part.release();
    }
    return error;
}

int moveOver(const std::string& from, const std::string& to, bool& moved) {
    moved = false;
    const std::size_t slash = to.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : to.substr(0, slash == 0 ? 1 : slash);
    struct stat source, target;
    if (::stat(from.c_str(), &source) != 0) {
        return errno;
    }
    if (::stat(folder.c_str(), &target) != 0 || source.st_dev != target.st_dev) {
        return copyOver(from, to);
    }
    // The output is on disk before it takes the destination's name, and the name is on disk
    // before the job is called done.
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (error == 0 && ::rename(from.c_str(), to.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        return error == EXDEV ? copyOver(from, to) : error;
    }
    moved = true;
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

}  // namespace cut
