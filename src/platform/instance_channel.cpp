#include "platform/instance_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/files.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

const char kMagic[8] = {'S', 'P', 'L', 'I', 'C', 'O', 'R', '\x01'};
constexpr std::size_t kHeaderBytes = sizeof kMagic + 4;
// The byte that tells the sender its files were taken, and the one that tells it that they were
// not, in time.
constexpr char kTaken = '\x06';
constexpr char kUnanswered = '\x15';

std::uint32_t readLength(const std::string& bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[sizeof kMagic + i]);
    }
    return value;
}

bool addressFor(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

bool peerIsThisUser(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           size == sizeof credentials && credentials.uid == ::getuid();
}

// The time left until `deadline`, in whole milliseconds for poll (0 once it has passed).
int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) + 1 : 0;
}

// Waits until `fd` has one of `events` or `deadline` passes (false); with `wakeFd`, also false
// once that is readable.
bool waitFor(int fd, short events, Clock::time_point deadline, int wakeFd = -1) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        int ready = ::poll(fds, wakeFd >= 0 ? 2 : 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (wakeFd >= 0 && fds[1].revents != 0)) {
            return false;
        }
        return true;
    }
}

}  // namespace

std::string encodeFileList(const std::vector<std::string>& paths) {
    std::string body;
    for (const std::string& path : paths) {
        body += path;
        body += '\0';
    }
    std::string bytes(kMagic, sizeof kMagic);
    auto length = static_cast<std::uint32_t>(body.size());
    for (int i = 0; i < 4; ++i) {
        bytes += static_cast<char>(length >> (8 * i) & 0xFF);
    }
    return bytes + body;
}

FileList decodeFileList(const std::string& bytes, std::vector<std::string>& paths) {
    paths.clear();
    std::size_t magic = std::min(bytes.size(), sizeof kMagic);
    if (std::memcmp(bytes.data(), kMagic, magic) != 0) {
        return FileList::malformed;
    }
    if (bytes.size() < kHeaderBytes) {
        return FileList::incomplete;
    }
    std::size_t total = kHeaderBytes + readLength(bytes);
    if (total > kMaxFileListBytes || bytes.size() > total) {
        return FileList::malformed;
    }
    if (bytes.size() < total) {
        return FileList::incomplete;
    }
    if (total > kHeaderBytes && bytes.back() != '\0') {
        return FileList::malformed;  // a path without its end
    }
    for (std::size_t start = kHeaderBytes; start < total;) {
        std::size_t end = bytes.find('\0', start);
        paths.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return FileList::complete;
}

bool FileHandOver::take() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (state_ != State::waiting) {
        return false;
    }
    state_ = State::taken;
    changed_.notify_all();
    return true;
}

void FileHandOver::decline() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (state_ == State::waiting) {
        state_ = State::declined;
        changed_.notify_all();
    }
}

FileHandOver::State FileHandOver::waitUntilTaken(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, limit, [this] { return state_ != State::waiting; });
    if (state_ == State::waiting) {
        state_ = State::unanswered;
    }
    return state_;
}

InstanceServer::InstanceServer(std::string socketPath) : socketPath_(std::move(socketPath)) {
    sockaddr_un address;
    if (!addressFor(socketPath_, address)) {
        problem_ = socketPath_ + ": no socket address";
        return;
    }
    struct stat status;
    if (::lstat(socketPath_.c_str(), &status) == 0) {
        // Only a socket of this user's is in the way of ours: anything else is left alone.
        if (!S_ISSOCK(status.st_mode) || status.st_uid != ::getuid()) {
            problem_ = socketPath_ + ": something else lies there";
            return;
        }
        ::unlink(socketPath_.c_str());
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::lstat(socketPath_.c_str(), &status) != 0 || ::listen(fd, 16) != 0 ||
        ::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        problem_ = socketPath_ + ": " + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    // Others cannot connect anyway where the socket lies in /tmp: the listener checks every
    // peer's credentials.
    ::chmod(socketPath_.c_str(), 0600);
    boundDevice_ = status.st_dev;
    boundInode_ = status.st_ino;
    listenFd_ = fd;
}

InstanceServer::~InstanceServer() {
    stop();
}

void InstanceServer::start(Delivery deliver) {
    if (listenFd_ < 0 || listener_.joinable()) {
        return;
    }
    deliver_ = std::move(deliver);
    listener_ = std::thread([this] { listenerMain(); });
}

void InstanceServer::stop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
        if (inHand_ != nullptr) {
            inHand_->abandon();
        }
    }
    if (listener_.joinable()) {
        char wake = 0;
        (void)!::write(wakeFds_[1], &wake, 1);
        listener_.join();
    }
    if (listenFd_ < 0) {
        return;
    }
    // Later starts now find nobody listening and wait for the lock instead: the program may
    // take a while yet to end, and one of them may then become the instance.
    ::close(listenFd_);
    listenFd_ = -1;
    struct stat status;
    if (::lstat(socketPath_.c_str(), &status) == 0 && status.st_dev == boundDevice_ &&
        status.st_ino == boundInode_) {
        ::unlink(socketPath_.c_str());
    }
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
}

void InstanceServer::listenerMain() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;  // stop()
        }
        int connection = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection >= 0) {
            serve(connection);
            ::close(connection);
        }
    }
}

void InstanceServer::serve(int connection) {
    if (!peerIsThisUser(connection)) {
        return;
    }
    // The sender's own wait is kHandOverTimeout from before it connected: give up a little
    // sooner, so that a sender told "not taken" by its timeout has not had its files taken.
    Clock::time_point deadline = Clock::now() + kHandOverTimeout * 3 / 4;
    std::vector<std::string> paths;
    if (!readFileList(connection, deadline, paths)) {
        return;
    }
    // A sender that has gone meanwhile (this instance was stopped for a while) no longer waits
    // for its files; it has said that they were not opened.
    pollfd gone = {connection, POLLRDHUP, 0};
    if (::poll(&gone, 1, 0) != 0) {
        return;
    }
    auto request = std::make_shared<FileHandOver>(std::move(paths));
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (stopping_) {
            return;
        }
        inHand_ = request;
    }
    deliver_(request);
    FileHandOver::State outcome = request->waitUntilTaken(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    {
        std::lock_guard<std::mutex> guard(mutex_);
        inHand_.reset();
    }
    if (outcome != FileHandOver::State::declined) {
        char answer = outcome == FileHandOver::State::taken ? kTaken : kUnanswered;
        ::send(connection, &answer, 1, MSG_NOSIGNAL);
    }
}

bool InstanceServer::readFileList(int connection, Clock::time_point deadline,
                                  std::vector<std::string>& paths) {
    std::string bytes;
    char chunk[65536];
    for (;;) {
        FileList state = decodeFileList(bytes, paths);
        if (state != FileList::incomplete) {
            return state == FileList::complete;
        }
        if (!waitFor(connection, POLLIN, deadline, wakeFds_[0])) {
            return false;
        }
        ssize_t n = retryOnInterrupt([&] { return ::recv(connection, chunk, sizeof chunk, 0); });
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            return false;  // closed before the list was whole
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
}

HandOver handOverFiles(const std::string& socketPath, const std::vector<std::string>& paths,
                       Clock::time_point deadline) {
    std::string bytes = encodeFileList(paths);
    if (bytes.size() > kMaxFileListBytes) {
        return HandOver::tooLarge;
    }
    sockaddr_un address;
    if (!addressFor(socketPath, address)) {
        return HandOver::noInstance;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return HandOver::noInstance;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // A full queue of waiting connections (EAGAIN) counts as nobody there yet: the caller tries
    // again while its time lasts.
    if (retryOnInterrupt([&] {
            return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }) != 0) {
        return HandOver::noInstance;
    }
    // In /tmp another user may listen under our name: they get no paths.
    if (!peerIsThisUser(fd)) {
        return HandOver::noInstance;
    }
    for (std::size_t sent = 0; sent < bytes.size();) {
        ssize_t n = retryOnInterrupt(
            [&] { return ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL); });
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline)) {
                return HandOver::noAnswer;
            }
        } else {
            return HandOver::notTaken;
        }
    }
    // Not shut for writing: the listener reads a closed connection as a sender that has gone.
    for (;;) {
        if (!waitFor(fd, POLLIN, deadline)) {
            return HandOver::noAnswer;
        }
        char answer = 0;
        ssize_t n = retryOnInterrupt([&] { return ::recv(fd, &answer, 1, 0); });
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n == 1 && answer == kTaken) {
            return HandOver::taken;
        }
        return n == 1 && answer == kUnanswered ? HandOver::noAnswer : HandOver::notTaken;
    }
}

}  // namespace platform
