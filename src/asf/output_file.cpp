#include "asf/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

#include "platform/files.h"

namespace asf {
namespace {

constexpr size_t kBufferSize = size_t{1} << 20;

}  // namespace

OutputFile::~OutputFile() {
    abandon();
}

bool OutputFile::fail(int error) {
    if (error_ == 0) {
        error_ = error != 0 ? error : EIO;
    }
    return false;
}

bool OutputFile::create(const std::string& path) {
    abandon();
    error_ = 0;
    struct stat st;
    if (path.empty() || path.back() == '/') {
        return fail(EISDIR);
    }
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return fail(EISDIR);
        }
        // Renaming over it would succeed, but writing to it would not.
        if (::access(path.c_str(), W_OK) != 0) {
            return fail(errno);
        }
    }
    path_ = path;
    size_ = flushed_ = writtenBack_ = 0;
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    // Where the file system can, the file has no name until it is complete, so that a process
    // that ends during the write, however it ends, leaves nothing behind.
    fd_ = platform::createUnnamedFile(platform::folderOf(path), 0666);
    if (fd_ >= 0) {
        return true;
    }
    // Else a name of our own beside the final one; O_EXCL makes sure no other file is taken over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = temporaryName();
        const int fd = platform::createTemporaryFile(candidate, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporary_ = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return fail(errno);
        }
    }
    return fail(EEXIST);
}

std::string OutputFile::temporaryName() const {
    std::random_device random;
    std::uniform_int_distribution<unsigned> hex(0, 0xFFFFFF);
    // ".", the name and ".xxxxxx.part" must fit one path component (255 bytes): a long name
    // gives the temporary only its start.
    std::string base = platform::fileNamePart(path_);
    base.resize(std::min<std::size_t>(base.size(), 255 - 13));
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x.part", hex(random));
    return platform::folderOf(path_) + "/." + base + "." + suffix;
}

bool OutputFile::flushBuffer() {
    if (fd_ < 0) {
        return fail(EBADF);
    }
    if (!buffer_.empty()) {
        if (!platform::writeFullyAt(fd_, flushed_, buffer_.data(), buffer_.size())) {
            return fail(errno);
        }
        flushed_ += buffer_.size();
        buffer_.clear();
        startWriteback();
    }
    return true;
}

void OutputFile::startWriteback() {
    // Every few megabytes the kernel is asked to start writing what came so far, so the disk
    // works while the rest is made and the sync that makes the file durable finds little left.
    // Only a request: a failure shows at that sync.
    constexpr uint64_t kWritebackBytes = uint64_t{8} << 20;
    if (flushed_ - writtenBack_ >= kWritebackBytes) {
        ::sync_file_range(fd_, static_cast<off_t>(writtenBack_),
                          static_cast<off_t>(flushed_ - writtenBack_), SYNC_FILE_RANGE_WRITE);
        writtenBack_ = flushed_;
    }
}

bool OutputFile::append(const uint8_t* data, size_t n) {
    if (fd_ < 0 || error_ != 0) {
        return fail(EBADF);
    }
    if (buffer_.size() + n > kBufferSize && !flushBuffer()) {
        return false;
    }
    if (n >= kBufferSize) {
        if (!platform::writeFullyAt(fd_, flushed_, data, n)) {
            return fail(errno);
        }
        flushed_ += n;
        startWriteback();
    } else {
        buffer_.insert(buffer_.end(), data, data + n);
    }
    size_ += n;
    return true;
}

bool OutputFile::writeAt(uint64_t offset, const uint8_t* data, size_t n) {
    if (fd_ < 0 || error_ != 0 || offset > size_ || n > size_ - offset) {
        return fail(EINVAL);
    }
    if (offset + n > flushed_ && !flushBuffer()) {
        return false;
    }
    return platform::writeFullyAt(fd_, offset, data, n) || fail(errno);
}

bool OutputFile::setMode(unsigned mode) {
    if (fd_ < 0 || ::fchmod(fd_, static_cast<mode_t>(mode)) != 0) {
        return fail(fd_ < 0 ? EBADF : errno);
    }
    return true;
}

bool OutputFile::commit(bool sync) {
    if (fd_ < 0 || error_ != 0 || !flushBuffer()) {
        return fail(EBADF);
    }
    // An unnamed file takes a name of its own first: a link can only make a new name, and the
    // rename below is what replaces the final one in one step.
    for (int attempt = 0; temporary_.empty() && attempt < 100; ++attempt) {
        const std::string candidate = temporaryName();
        const int error = platform::nameUnnamedFile(fd_, candidate);
        if (error == 0) {
            temporary_ = candidate;
        } else if (error != EEXIST) {
            return fail(error);
        }
    }
    if (temporary_.empty()) {
        return fail(EEXIST);
    }
    const int error =
        platform::replaceWithTemporary(std::exchange(fd_, -1), temporary_, path_, sync);
    if (error != 0) {
        fail(error);
        platform::removeTemporaryName(temporary_);
        temporary_.clear();
        return false;
    }
    platform::dropTemporaryName(temporary_);
    temporary_.clear();
    return true;
}

void OutputFile::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        platform::removeTemporaryName(temporary_);
        temporary_.clear();
    }
    buffer_.clear();
}

}  // namespace asf
