#include "platform/files.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <vector>

namespace platform {

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace {

// Runs `step(done)` until `n` bytes are done; each step returns the bytes it did or -1. A
// step that does nothing ends the loop: the count so far.
template <class Step>
ssize_t whole(std::size_t n, Step step) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = retryOnInterrupt([&] { return step(done); });
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// Renames `from` to `to` only when nothing is called `to`: as one step where the file system
// can, else through a second link, which fails on an existing name just as well.
int renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
}

bool written(ssize_t done, std::size_t n) {
    if (done >= 0 && static_cast<std::size_t>(done) < n) {
        errno = EIO;
    }
    return done >= 0 && static_cast<std::size_t>(done) == n;
}

}  // namespace

bool writeFully(int fd, const void* data, std::size_t n) {
    const char* bytes = static_cast<const char*>(data);
    return written(whole(n, [&](std::size_t done) { return ::write(fd, bytes + done, n - done); }),
                   n);
}

bool writeFullyAt(int fd, std::uint64_t offset, const void* data, std::size_t n) {
    const char* bytes = static_cast<const char*>(data);
    return written(whole(n,
                         [&](std::size_t done) {
                             return ::pwrite(fd, bytes + done, n - done,
                                             static_cast<off_t>(offset + done));
                         }),
                   n);
}

ssize_t readFully(int fd, void* data, std::size_t n) {
    char* bytes = static_cast<char*>(data);
    return whole(n, [&](std::size_t done) { return ::read(fd, bytes + done, n - done); });
}

ssize_t readFullyAt(int fd, std::uint64_t offset, void* data, std::size_t n) {
    char* bytes = static_cast<char*>(data);
    return whole(n, [&](std::size_t done) {
        return ::pread(fd, bytes + done, n - done, static_cast<off_t>(offset + done));
    });
}

int createNewFile(const std::string& path, unsigned mode) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(mode));
}

namespace {

struct TemporaryNames {
    std::mutex lock;  // guards names; held for good once the process removes them to end
    std::vector<std::pair<std::string, bool>> names;  // (path, is a folder)
};

TemporaryNames& temporaryNames() {
    static TemporaryNames* names = new TemporaryNames;  // never destroyed: threads outlive exit
    return *names;
}

}  // namespace

int createTemporaryFile(const std::string& path, unsigned mode) {
    TemporaryNames& t = temporaryNames();
    std::lock_guard<std::mutex> hold(t.lock);
    const int fd = createNewFile(path, mode);
    if (fd >= 0) {
        t.names.emplace_back(path, false);
    }
    return fd;
}

void addTemporaryName(const std::string& path, bool folder) {
    TemporaryNames& t = temporaryNames();
    std::lock_guard<std::mutex> hold(t.lock);
    t.names.emplace_back(path, folder);
}

void dropTemporaryName(const std::string& path) {
    TemporaryNames& t = temporaryNames();
    std::lock_guard<std::mutex> hold(t.lock);
    for (auto it = t.names.begin(); it != t.names.end(); ++it) {
        if (it->first == path) {
            t.names.erase(it);
            return;
        }
    }
}

void removeTemporaryName(const std::string& path) {
    TemporaryNames& t = temporaryNames();
    std::lock_guard<std::mutex> hold(t.lock);
    ::unlink(path.c_str());
    for (auto it = t.names.begin(); it != t.names.end(); ++it) {
        if (it->first == path) {
            t.names.erase(it);
            return;
        }
    }
}

void removeTemporaryNamesAndHold() {
    TemporaryNames& t = temporaryNames();
    t.lock.lock();
    for (const auto& [path, folder] : t.names) {
        std::error_code ignored;
        folder ? static_cast<void>(std::filesystem::remove_all(path, ignored))
               : static_cast<void>(::unlink(path.c_str()));
    }
    t.names.clear();
}

int createUnnamedFile(const std::string& folder, unsigned mode) {
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, static_cast<mode_t>(mode));
}

int nameUnnamedFile(int fd, const std::string& path) {
    TemporaryNames& t = temporaryNames();
    std::lock_guard<std::mutex> hold(t.lock);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        return errno;
    }
    t.names.emplace_back(path, false);
    return 0;
}

int replaceWithTemporary(int fd, const std::string& temporary, const std::string& path, bool sync,
                         bool replace) {
    int error = sync && ::fsync(fd) != 0 ? errno : 0;
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && !replace) {
        error = renameWithoutReplacing(temporary, path);
    } else if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error == 0 && sync) {
        syncFolder(folderOf(path));
    }
    return error;
}

void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string fileNamePart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return path.substr(0, slash == 0 ? 1 : slash);
}

std::pair<std::string, std::string> splitExtension(const std::string& path) {
    const std::size_t nameStart = path.size() - fileNamePart(path).size();
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) {
        return {path, ""};
    }
    return {path.substr(0, dot), path.substr(dot)};
}

}  // namespace platform
