#include "cli/cut_ranges.h"

#include <algorithm>
#include <cctype>

namespace cli {

namespace {

// Digits with at most one decimal point, as a count of 100-ns units of `unit` seconds.
std::optional<MediaTime> parseNumber(const std::string& text, MediaTime unit,
                                     bool fractionAllowed) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    MediaTime whole = 0, fraction = 0, scale = 1;
    bool inFraction = false;
    for (char c : text) {
        if (c == '.' && fractionAllowed && !inFraction) {
            inFraction = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            if (!inFraction) {
                whole = whole * 10 + static_cast<MediaTime>(c - '0');
            } else if (scale < 10000000) {
                fraction = fraction * 10 + static_cast<MediaTime>(c - '0');
                scale *= 10;
            }
        } else {
            return std::nullopt;
        }
    }
    if (text == ".") {
        return std::nullopt;
    }
    return whole * unit + fraction * (unit / scale);
}

}  // namespace

std::optional<MediaTime> parseTime(const std::string& text) {
    constexpr MediaTime kSecond = 10000000;
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (;;) {
        std::size_t colon = text.find(':', begin);
        parts.push_back(text.substr(begin, colon - begin));
        if (colon == std::string::npos) {
            break;
        }
        begin = colon + 1;
    }
    if (parts.size() > 3) {
        return std::nullopt;
    }
    MediaTime total = 0;
    MediaTime units[] = {kSecond * 3600, kSecond * 60, kSecond};
    std::size_t first = 3 - parts.size();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        if (!last && parts.size() > 1 && i > 0 && parts[i].size() > 2) {
            return std::nullopt;
        }
        auto value = parseNumber(parts[i], last ? kSecond : units[first + i], last);
        if (!value) {
            return std::nullopt;
        }
        total += *value;
    }
    return total;
}

std::optional<TimeRange> parseTimeRange(const std::string& text) {
    std::size_t dash = text.find('-');
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    auto start = parseTime(text.substr(0, dash));
    auto end = parseTime(text.substr(dash + 1));
    if (!start || !end || *end <= *start) {
        return std::nullopt;
    }
    return TimeRange{*start, *end};
}

std::optional<TimeRange> snapRange(const TimeRange& range, const std::vector<MediaTime>& keyFrames,
                                   MediaTime duration) {
    if (keyFrames.empty()) {
        return std::nullopt;
    }
    auto after = std::upper_bound(keyFrames.begin(), keyFrames.end(), range.first);
    MediaTime start = after == keyFrames.begin() ? keyFrames.front() : *(after - 1);
    auto atOrAfter = std::lower_bound(keyFrames.begin(), keyFrames.end(), range.second);
    MediaTime end =
        atOrAfter == keyFrames.end() ? std::max(duration, keyFrames.back()) : *atOrAfter;
    if (end <= start) {
        return std::nullopt;
    }
    return TimeRange{start, end};
}

std::optional<TimeRange> frameRange(std::size_t first, std::size_t last,
                                    const std::vector<MediaTime>& keyFrames, MediaTime duration) {
    if (first > last || last >= keyFrames.size()) {
        return std::nullopt;
    }
    MediaTime end =
        last + 1 < keyFrames.size() ? keyFrames[last + 1] : std::max(duration, keyFrames.back());
    if (end <= keyFrames[first]) {
        return std::nullopt;
    }
    return TimeRange{keyFrames[first], end};
}

std::optional<std::pair<std::size_t, std::size_t>> parseFrameRange(const std::string& text) {
    std::size_t dash = text.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == text.size() || text.size() > 20) {
        return std::nullopt;
    }
    std::size_t values[2] = {0, 0};
    std::string parts[2] = {text.substr(0, dash), text.substr(dash + 1)};
    for (int i = 0; i < 2; ++i) {
        for (char c : parts[i]) {
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                return std::nullopt;
            }
            values[i] = values[i] * 10 + static_cast<std::size_t>(c - '0');
        }
    }
    return std::make_pair(values[0], values[1]);
}

}  // namespace cli
