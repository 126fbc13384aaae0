#include "cli/cut_ranges.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace cli {

namespace {

// Digits with at most one decimal point, as a count of 100-ns units of `unit` seconds; nothing
// when the text is not such a number or its value does not fit 64 bits.
std::optional<MediaTime> parseNumber(const std::string& text, MediaTime unit,
                                     bool fractionAllowed) {
    if (text.empty() || text == ".") {
        return std::nullopt;
    }
    constexpr MediaTime kMax = std::numeric_limits<MediaTime>::max();
    MediaTime whole = 0, fraction = 0, scale = 1;
    bool inFraction = false;
    for (char c : text) {
        if (c == '.' && fractionAllowed && !inFraction) {
            inFraction = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            const MediaTime digit = static_cast<MediaTime>(c - '0');
            if (!inFraction) {
                if (whole > (kMax - digit) / 10) {
                    return std::nullopt;
                }
                whole = whole * 10 + digit;
            } else if (scale < asf::kTicksPerSecond) {  // no digit finer than the unit
                fraction = fraction * 10 + digit;
                scale *= 10;
            }
        } else {
            return std::nullopt;
        }
    }
    const MediaTime fractionUnits = fraction * (unit / scale);
    if (whole > kMax / unit || whole * unit > kMax - fractionUnits) {
        return std::nullopt;
    }
    return whole * unit + fractionUnits;
}

}  // namespace

std::optional<MediaTime> parseTime(const std::string& text) {
    constexpr MediaTime kSecond = asf::kTicksPerSecond;
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
        if (*value > std::numeric_limits<MediaTime>::max() - total) {
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
    // "START-" runs to the end of the file.
    auto end = dash + 1 == text.size() ? std::optional<MediaTime>(kEndOfFile)
                                       : parseTime(text.substr(dash + 1));
    if (!start || !end || *end <= *start) {
        return std::nullopt;
    }
    return TimeRange{*start, *end};
}

MediaTime endOfFile(const std::vector<MediaTime>& keyFrames, MediaTime duration) {
    return keyFrames.empty() ? duration : std::max(duration, keyFrames.back());
}

std::optional<TimeRange> snapRange(const TimeRange& range, const std::vector<MediaTime>& keyFrames,
                                   MediaTime duration) {
    const MediaTime end = endOfFile(keyFrames, duration);
    if (keyFrames.empty() || range.first >= end) {
        return std::nullopt;
    }
    // A start before the first key frame snaps out to the start of the file, so that what the
    // other streams play before it (audio, most often) is kept too.
    auto after = std::upper_bound(keyFrames.begin(), keyFrames.end(), range.first);
    MediaTime start = after == keyFrames.begin() ? 0 : *(after - 1);
    auto atOrAfter = std::lower_bound(keyFrames.begin(), keyFrames.end(), range.second);
    MediaTime snappedEnd = atOrAfter == keyFrames.end() ? end : *atOrAfter;
    if (snappedEnd <= start) {
        return std::nullopt;
    }
    return TimeRange{start, snappedEnd};
}

std::optional<TimeRange> frameRange(std::size_t first, std::size_t last,
                                    const std::vector<MediaTime>& keyFrames, MediaTime duration) {
    if (first > last || last >= keyFrames.size()) {
        return std::nullopt;
    }
    MediaTime end =
        last + 1 < keyFrames.size() ? keyFrames[last + 1] : endOfFile(keyFrames, duration);
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

std::vector<TimeRange> complement(std::vector<TimeRange> deleted,
                                  const std::vector<MediaTime>& keyFrames, MediaTime duration) {
    std::vector<TimeRange> kept;
    if (keyFrames.empty()) {
        return kept;
    }
    std::sort(deleted.begin(), deleted.end());
    // What is kept from the start of the file takes what plays before the first key frame too,
    // unless a deletion starts there (one typed before the first key frame snaps to 0).
    MediaTime from = 0;
    for (const TimeRange& range : deleted) {
        if (range.first > from) {
            kept.emplace_back(from, range.first);
        }
        from = std::max(from, range.second);
    }
    const MediaTime end = endOfFile(keyFrames, duration);
    if (from < end) {
        kept.emplace_back(from, end);
    }
    return kept;
}

}  // namespace cli
