#include "platform/own_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/file_search.h"
#include "platform/files.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

// Temporary files of replaceFileWith: the prefix, then six random letters.
constexpr char kWritingPrefix[] = ".splicor-writing-";

// FNV-1a, 64 bits.
std::uint64_t hashOf(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
}

// Whether a new file can be made in `directory`: tried, not guessed from the mode bits (which
// say nothing to root, or on a read-only mount).
bool canCreateFilesIn(const std::string& directory) {
    std::string probe = directory + kWritingPrefix + "XXXXXX";
    int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

}  // namespace

std::string absolutePath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    fs::path absolute = fs::path(path).is_absolute() ? fs::path(path) : fs::absolute(path, error);
    if (error) {
        return path;
    }
    // ".." after a link names the link target's parent, as the kernel resolves it, not the
    // folder the link lies in: a path with ".." is resolved through the links it passes.
    bool climbs = false;
    for (const fs::path& part : absolute) {
        climbs = climbs || part == "..";
    }
    if (climbs) {
        fs::path resolved = fs::weakly_canonical(absolute, error);
        if (!error) {
            absolute = resolved;
        }
    }
    std::string normal = absolute.lexically_normal().string();
    // "dir/" and "dir/." name the directory; keep no trailing "/" but for the root.
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return normal;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first, second;
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    return absolutePath(a) == absolutePath(b);
}

std::optional<FileStamp> fileStamp(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    auto ns = [](const struct timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    FileStamp stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modifiedNs = ns(info.st_mtim);
    stamp.changedNs = ns(info.st_ctim);
    return stamp;
}

HeldFile::HeldFile(const std::string& path) : name_(path) {
    // Non-blocking, so that a pipe named as a source does not hang the open.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    const std::string held = "/proc/self/fd/" + std::to_string(fd_);
    struct stat viaPath, viaHeld;
    if (::fstat(fd_, &viaPath) == 0 && ::stat(held.c_str(), &viaHeld) == 0 &&
        viaPath.st_dev == viaHeld.st_dev && viaPath.st_ino == viaHeld.st_ino) {
        name_ = held;
    } else {
        ::close(fd_);
        fd_ = -1;
    }
}

HeldFile::~HeldFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool changedSince(const std::string& path, std::int64_t sinceNs) {
    std::optional<FileStamp> stamp = fileStamp(path);
    // A file moved into place keeps the time its content was written, which may be long ago;
    // the move itself shows in its change time.
    return !stamp || stamp->modifiedNs > sinceNs || stamp->changedNs > sinceNs;
}

std::string fittedFileName(const std::string& name, std::size_t room) {
    if (name.size() + room <= kMaxFileNameBytes) {
        return name;
    }
    char tail[18];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hashOf(name)));
    const std::size_t tailBytes = sizeof tail - 1;
    std::size_t keep =
        kMaxFileNameBytes > room + tailBytes ? kMaxFileNameBytes - room - tailBytes : 0;
    // Back off to the start of a UTF-8 character (continuation bytes are 10xxxxxx).
    while (keep > 0 && keep < name.size() &&
           (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return name.substr(0, keep) + tail;
}

int openRegularFile(const std::string& path) {
    // Non-blocking, so that a FIFO does not wait for a writer; refused unless regular.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes) {
    int fd = openRegularFile(path);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    char buffer[1 << 14];
    bool good = true;
    for (;;) {
        ssize_t n = retryOnInterrupt([&] { return ::read(fd, buffer, sizeof buffer); });
        if (n < 0 || content.size() + static_cast<std::size_t>(n) > maxBytes) {
            good = false;  // a file that keeps growing stops here too
            break;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return good ? std::optional<std::string>(std::move(content)) : std::nullopt;
}

bool isRegularFile(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool replaceFileWith(const std::string& path, const std::string& content) {
    std::string writing = folderPart(path) + kWritingPrefix + "XXXXXX";
    // mkostemp creates exclusively: an existing name, a planted link included, is never used.
    int fd = ::mkostemp(writing.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::fchmod(fd, 0644);
    const bool written = writeFully(fd, content.data(), content.size());
    if (!written) {
        ::close(fd);
    }
    if (!written || replaceWithTemporary(fd, writing, path) != 0) {
        ::unlink(writing.c_str());
        return false;
    }
    return true;
}

void removeUnfinishedWrites(const std::string& directory) {
    for (const std::string& name : findFilesWithSuffix(directory, "")) {
        if (name.compare(0, sizeof kWritingPrefix - 1, kWritingPrefix) == 0 &&
            name.size() == sizeof kWritingPrefix - 1 + 6 && isRegularFile(directory + name)) {
            ::unlink((directory + name).c_str());
        }
    }
}

std::string setAside(const std::string& path, const std::string& tag) {
    for (int n = 1; n < 1000; ++n) {
        std::string aside = path + "." + tag + (n > 1 ? "-" + std::to_string(n) : "");
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            return aside;
        }
        if (errno != EEXIST) {
            return "";
        }
    }
    return "";
}

std::string programFilePath() {
    std::error_code error;
    fs::path path = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string thumbnailDirectoryFor(const std::string& programFile, const char* stateHome,
                                  const char* home) {
    const std::string besideProgram = folderPart(programFile) + "thum/";
    ::mkdir(besideProgram.c_str(), 0755);
    struct stat info;
    if (::stat(besideProgram.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
        canCreateFilesIn(besideProgram)) {
        return besideProgram;
    }
    std::string base;
    if (stateHome != nullptr && stateHome[0] == '/') {
        base = stateHome;
    } else if (home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/state";
    } else {
        return besideProgram;  // nowhere better: keeping nothing is all that is left
    }
    // The state folders are the user's alone.
    std::error_code ignored;
    fs::create_directories(base, ignored);
    ::mkdir((base + "/splicor").c_str(), 0700);
    const std::string directory = base + "/splicor/thum/";
    ::mkdir(directory.c_str(), 0700);
    return directory;
}

}  // namespace platform
