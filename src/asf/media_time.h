#pragma once

// Media time: every time the program keeps or passes on counts 100-ns units from the start of
// the presentation, as the media runtime does. The file stores sample, script and index times in
// milliseconds and durations in 100-ns units; these are the one set of conversions between
// them. Conversions to coarser units round down.

#include <cstdint>
#include <string>
#include <utility>

namespace asf {

using MediaTime = std::uint64_t;
// A stretch [first, second) of media time.
using TimeRange = std::pair<MediaTime, MediaTime>;

constexpr MediaTime kTicksPerMillisecond = 10000;
constexpr MediaTime kTicksPerSecond = 1000 * kTicksPerMillisecond;
// The most milliseconds a media time can hold.
constexpr std::uint64_t kMaxMilliseconds = UINT64_MAX / kTicksPerMillisecond;

constexpr std::uint64_t toMilliseconds(MediaTime t) {
    return t / kTicksPerMillisecond;
}

// The caller keeps `ms` at most kMaxMilliseconds.
constexpr MediaTime fromMilliseconds(std::uint64_t ms) {
    return ms * kTicksPerMillisecond;
}

constexpr double toSeconds(MediaTime t) {
    return static_cast<double>(t) / static_cast<double>(kTicksPerSecond);
}

// Seconds with three decimals, cut (not rounded) to the millisecond: "58.046".
std::string secondsText(MediaTime t);

}  // namespace asf
