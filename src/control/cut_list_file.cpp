#include "control/cut_list_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <limits>

#include "platform/file_search.h"

namespace control {

namespace {

// A write in progress goes to the final name followed by this; the name then no longer ends in
// "-cut.txt", so a search for cut list files never finds a half-written one.
constexpr char kWritingExtension[] = ".tmp";

// Two paths of any length the file system allows, and kMaxCutListTimes values of 20 digits.
constexpr std::streamoff kMaxFileSize = 64 << 20;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Cuts the next line off `rest`, without its LF and a CR before it. False when no line end
// follows.
bool takeLine(std::string_view& rest, std::string& line) {
    std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) {
        return false;
    }
    std::string_view text = rest.substr(0, end);
    if (!text.empty() && text.back() == '\r') {
        text.remove_suffix(1);
    }
    line.assign(text);
    rest.remove_prefix(end + 1);
    return true;
}

// Reads the next white-space separated word of `rest` as a decimal number of digits only, no
// larger than `max`.
bool takeNumber(std::string_view& rest, std::uint64_t max, std::uint64_t& value) {
    std::size_t i = 0;
    while (i < rest.size() && isSpace(rest[i])) {
        ++i;
    }
    std::size_t first = i;
    value = 0;
    for (; i < rest.size() && !isSpace(rest[i]); ++i) {
        unsigned digit = static_cast<unsigned char>(rest[i]) - '0';
        if (digit > 9 || value > (max - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    rest.remove_prefix(i);
    return i > first;
}

bool writeAll(int fd, const std::string& data) {
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a rename inside `path`'s directory durable.
void syncDirectoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string fileNamePart(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string cutListFileName(const std::string& destination, int variant) {
    std::string name = fileNamePart(destination);
    if (variant > 1) {
        name += "-" + std::to_string(variant);
    }
    return name + kCutListSuffix;
}

std::string formatCutList(const std::string& source, const std::string& destination,
                          const std::uint64_t* times, std::int32_t count) {
    std::string text = source + "\r\n" + destination + "\r\n" + std::to_string(count) + "\r\n";
    for (std::int32_t i = 0; i < count; ++i) {
        text += std::to_string(times[i]) + "\r\n";
    }
    return text;
}

std::optional<CutList> parseCutList(std::string_view content) {
    CutList list;
    std::uint64_t count = 0;
    if (!takeLine(content, list.source) || !takeLine(content, list.destination) ||
        !takeNumber(content, kMaxCutListTimes, count)) {
        return std::nullopt;
    }
    // Each value takes at least two bytes (a separator and a digit): a count the rest cannot
    // hold is refused before anything is allocated for it.
    if (count > content.size() / 2) {
        return std::nullopt;
    }
    list.times.resize(count);
    for (std::uint64_t& time : list.times) {
        if (!takeNumber(content, std::numeric_limits<std::uint64_t>::max(), time)) {
            return std::nullopt;
        }
    }
    return list;
}

bool writeCutListFile(const std::string& path, const std::string& source,
                      const std::string& destination, const std::uint64_t* times,
                      std::int32_t count) {
    if (source.find('\n') != std::string::npos || destination.find('\n') != std::string::npos) {
        return false;
    }
    std::string content = formatCutList(source, destination, times, count);
    std::string writing = path + kWritingExtension;
    int fd = ::open(writing.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool written = writeAll(fd, content) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(writing.c_str(), path.c_str()) != 0) {
        ::unlink(writing.c_str());
        return false;
    }
    syncDirectoryOf(path);
    return true;
}

std::optional<CutList> readCutListFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return std::nullopt;
    }
    std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxFileSize) {
        return std::nullopt;
    }
    std::string content(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(content.data(), size)) {
        return std::nullopt;
    }
    return parseCutList(content);
}

void removeUnfinishedCutListWrites(const std::string& directory) {
    std::string suffix = std::string(kCutListSuffix) + kWritingExtension;
    for (const std::string& name : platform::findFilesWithSuffix(directory, suffix)) {
        ::unlink((directory + name).c_str());
    }
}

}  // namespace control
