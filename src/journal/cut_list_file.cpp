#include "journal/cut_list_file.h"

#include <unistd.h>

#include <limits>

#include "platform/file_search.h"
#include "platform/files.h"
#include "platform/own_files.h"

namespace journal {

namespace {

// Variant numbers up to "-10000" fit beside a shortened name.
constexpr std::size_t kVariantRoom = 6;

// Two paths of any length the file system allows, and kMaxCutListTimes values of 20 digits.
constexpr std::size_t kMaxFileSize = 64 << 20;

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
    // A plus sign is read as formatted input reads it; a minus sign is refused.
    if (i < rest.size() && rest[i] == '+') {
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

}  // namespace

std::string cutListFileName(const std::string& destination, int variant) {
    // Room for "-cut.txt" and a variant number: a long destination name is shortened.
    std::string name = platform::fittedFileName(platform::fileNamePart(destination),
                                                sizeof kCutListSuffix - 1 + kVariantRoom);
    if (variant > 1) {
        name += "-" + std::to_string(variant);
    }
    return name + kCutListSuffix;
}

std::string formatCutList(const std::string& source, const std::string& destination,
                          const std::uint64_t* times, std::int32_t count, std::uint64_t order) {
    std::string text = source + "\r\n" + destination + "\r\n" + std::to_string(count) + "\r\n";
    for (std::int32_t i = 0; i < count; ++i) {
        text += std::to_string(times[i]) + "\r\n";
    }
    if (order > 0) {
        text += std::to_string(order) + "\r\n";
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
    // The queue order, in files written since it is recorded: one more number, alone.
    std::uint64_t order = 0;
    if (takeNumber(content, std::numeric_limits<std::uint64_t>::max(), order) && order > 0 &&
        content.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        list.order = order;
    }
    return list;
}

bool writeCutListFile(const std::string& path, const std::string& source,
                      const std::string& destination, const std::uint64_t* times,
                      std::int32_t count, std::uint64_t order) {
    if (source.find('\n') != std::string::npos || destination.find('\n') != std::string::npos) {
        return false;
    }
    return platform::replaceFileWith(path, formatCutList(source, destination, times, count, order));
}

std::optional<CutList> readCutListFile(const std::string& path) {
    std::optional<std::string> content = platform::readRegularFile(path, kMaxFileSize);
    if (!content) {
        return std::nullopt;
    }
    return parseCutList(*content);
}

void removeUnfinishedCutListWrites(const std::string& directory) {
    // Older runs wrote to the final name followed by ".tmp".
    std::string suffix = std::string(kCutListSuffix) + ".tmp";
    for (const std::string& name : platform::findFilesWithSuffix(directory, suffix)) {
        if (platform::isRegularFile(directory + name)) {
            ::unlink((directory + name).c_str());
        }
    }
    platform::removeUnfinishedWrites(directory);
}

}  // namespace journal
