#include "asf/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace asf {

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

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
    while (got < n) {
        const uint64_t position = offset + got;
        if (position >= size_) {
            break;
        }
        const ssize_t r = ::pread(fd_, buffer + got, n - got, static_cast<off_t>(position));
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Status::IoError;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<size_t>(r);
    }
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
