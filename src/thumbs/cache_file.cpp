#include "thumbs/cache_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

#include "platform/files.h"
#include "platform/own_files.h"

namespace thumbs {

CacheFile::~CacheFile() {
    close();
}

CacheFile::CacheFile(CacheFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), written_(std::exchange(other.written_, 0)) {}

CacheFile& CacheFile::operator=(CacheFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        written_ = std::exchange(other.written_, 0);
    }
    return *this;
}

bool CacheFile::create(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return isOpen();
}

bool CacheFile::createNew(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    return isOpen();
}

bool CacheFile::openForReading(const std::string& path) {
    close();
    // Only a regular file, never waiting on a FIFO or following a link.
    fd_ = platform::openRegularFile(path);
    // Readers do not share: the lock belongs to this open file, so a second open of the same
    // file, in this process or another, is refused until this one is closed.
    if (isOpen() && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        close();
    }
    return isOpen();
}

void CacheFile::close() {
    if (isOpen()) {
        ::close(fd_);  // also drops the reader's lock
    }
    fd_ = -1;
    written_ = 0;
}

bool CacheFile::writeNext(const std::uint8_t* record) {
    if (!isOpen()) {
        return false;
    }
    std::uint64_t offset = written_++ * kRecordBytes;
    return platform::writeFullyAt(fd_, offset, record, kRecordBytes);
}

bool CacheFile::read(std::uint64_t n, std::uint8_t* record) const {
    // Offsets must stay within what the file system takes (63 bits).
    if (!isOpen() || n >= static_cast<std::uint64_t>(INT64_MAX) / kRecordBytes) {
        return false;
    }
    return platform::readFullyAt(fd_, n * kRecordBytes, record, kRecordBytes) ==
           static_cast<ssize_t>(kRecordBytes);
}

}  // namespace thumbs
