#include "asf/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/files.h"

namespace asf {

FileSource::~FileSource() {
    ::close(fd_);
}

Status FileSource::open(const std::string& path, std::unique_ptr<FileSource>& out) {
    // Opened without blocking, so a FIFO or a device given as a source is refused at once
    // instead of holding the thread that opens it for good; reads block again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return Status::IoError;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return Status::IoError;
    }
    out.reset(new FileSource(fd, static_cast<uint64_t>(st.st_size)));
    return Status::Ok;
}

Status FileSource::readAt(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) const {
    got = 0;
    if (offset >= size_) {
        return Status::Ok;
    }
    // Nothing past the size the file had when it was opened.
    const ssize_t r =
        platform::readFullyAt(fd_, offset, buffer, std::min<uint64_t>(n, size_ - offset));
    if (r < 0) {
        return Status::IoError;
    }
    got = static_cast<size_t>(r);
    return Status::Ok;
}

Status MemorySource::readAt(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) const {
    got = 0;
    if (offset >= bytes_.size()) {
        return Status::Ok;
    }
    const uint64_t available = bytes_.size() - offset;
    got = n < available ? n : static_cast<size_t>(available);
    if (got > 0) {
        std::memcpy(buffer, bytes_.data() + offset, got);
    }
    return Status::Ok;
}

}  // namespace asf
