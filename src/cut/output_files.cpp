#include "cut/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/files.h"
#include "platform/own_files.h"

namespace cut {

std::string temporaryBeside(const std::string& destination) {
    // Room for ".", "-NNN" and ".splicor-temp.wmv" around the name.
    return platform::folderPart(destination) + "." +
           platform::fittedFileName(platform::fileNamePart(destination), 22) + ".splicor-temp.wmv";
}

TemporaryFile::~TemporaryFile() {
    remove();
}

namespace {

std::string numbered(const std::string& wanted, int n) {
    if (n == 0) {
        return wanted;
    }
    auto [stem, extension] = platform::splitExtension(wanted);
    return stem + "-" + std::to_string(n) + extension;
}

}  // namespace

bool TemporaryFile::reserve(const std::string& wanted) {
    remove();
    for (int n = 0; n < 1000; ++n) {
        if (claim(numbered(wanted, n))) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

bool TemporaryFile::claim(const std::string& name) {
    remove();
    int fd = platform::createTemporaryFile(name, 0644);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    path_ = name;
    return true;
}

std::string TemporaryFile::freeName(const std::string& wanted) {
    struct stat st;
    for (int n = 0; n < 1000; ++n) {
        const std::string candidate = numbered(wanted, n);
        if (::lstat(candidate.c_str(), &st) != 0 && errno == ENOENT) {
            return candidate;
        }
    }
    return wanted;
}

void TemporaryFile::remove() {
    if (!path_.empty()) {
        platform::removeTemporaryName(path_);
        path_.clear();
    }
}

void TemporaryFile::release() {
    if (!path_.empty()) {
        platform::dropTemporaryName(path_);
        path_.clear();
    }
}

std::string partialCopyStem(const std::string& destinationName) {
    // Room for ".", "-NNN" and ".splicor-part" around the name.
    return "." + platform::fittedFileName(destinationName, 18);
}

int copyOver(const std::string& from, const std::string& to, bool replace) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errno;
    }
    // The copy is built under a hidden name of its own beside the destination (a rename is
    // atomic only within one file system).
    TemporaryFile part;
    if (!part.reserve(platform::folderPart(to) + partialCopyStem(platform::fileNamePart(to)) +
                      ".splicor-part")) {
        int error = errno;
        ::close(in);
        return error;
    }
    int out = ::open(part.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    int error = out < 0 ? errno : 0;
    // Let the kernel move the bytes when it can; fall back to reading and writing.
    bool kernelCopy = true;
    while (error == 0 && kernelCopy) {
        ssize_t n = platform::retryOnInterrupt(
            [&] { return ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0); });
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
        ssize_t n =
            platform::retryOnInterrupt([&] { return ::read(in, buffer.data(), buffer.size()); });
        if (n < 0) {
            error = errno;
        } else if (n == 0) {
            break;
        } else if (!platform::writeFully(out, buffer.data(), static_cast<std::size_t>(n))) {
            error = errno;
        }
    }
    ::close(in);
    if (error == 0) {
        error = platform::replaceWithTemporary(out, part.path(), to, true, replace);
    } else if (out >= 0) {
        ::close(out);
    }
    if (error == 0) {
        // Renamed: nothing left to delete under the reserved name.
        part.release();
    }
    return error;
}

int moveOver(const std::string& from, const std::string& to, bool& moved, bool replace) {
    moved = false;
    const std::string folder = platform::folderOf(to);
    struct stat source, target;
    if (::stat(from.c_str(), &source) != 0) {
        return errno;
    }
    if (::stat(folder.c_str(), &target) != 0 || source.st_dev != target.st_dev) {
        return copyOver(from, to, replace);
    }
    // The output is on disk before it takes the destination's name, and the name is on disk
    // before the job is called done.
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = platform::replaceWithTemporary(fd, from, to, true, replace);
    if (error != 0) {
        return error == EXDEV ? copyOver(from, to, replace) : error;
    }
    moved = true;
    return 0;
}

}  // namespace cut
