#pragma once

// Turning the ranges a user types into the ranges the grid would offer: every kept stretch runs
// from one key frame to the next (the last one to the end of the file).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "asf/media_time.h"

namespace cli {

using asf::MediaTime;
using asf::TimeRange;

// "90", "90.25", "1:30", "0:01:30.250" as a media time; nothing when the text is not a time or
// the time does not fit 64 bits.
std::optional<MediaTime> parseTime(const std::string& text);

// The end of a range that runs to the end of the file, whatever its length.
constexpr MediaTime kEndOfFile = UINT64_MAX;

// "START-END" with two times, or "START-" to the end of the file; nothing when malformed or END
// is not after START.
std::optional<TimeRange> parseTimeRange(const std::string& text);

// Snaps a range to the key frames: the start down to the key frame at or before it (the start
// of the file when it lies before all of them), the end up to the first key frame at or after it,
// or the end of the file. Nothing when the snapped range is empty or the range starts at or
// after the end of the file.
std::optional<TimeRange> snapRange(const TimeRange& range, const std::vector<MediaTime>& keyFrames,
                                   MediaTime duration);

// Key frames first to last, as the grid numbers them: the stretch from the first one's time to
// the end of the last one's. Nothing when the indices are out of range or reversed.
std::optional<TimeRange> frameRange(std::size_t first, std::size_t last,
                                    const std::vector<MediaTime>& keyFrames, MediaTime duration);

// The end of the file: the later of its duration and its last key frame.
MediaTime endOfFile(const std::vector<MediaTime>& keyFrames, MediaTime duration);

// What a cut keeps when the given (snapped) ranges are deleted: the stretches between them, from
// the start of the file to its end. Deleted ranges may overlap and come in any order.
std::vector<TimeRange> complement(std::vector<TimeRange> deleted,
                                  const std::vector<MediaTime>& keyFrames, MediaTime duration);

// "I-J" with two key-frame indices.
std::optional<std::pair<std::size_t, std::size_t>> parseFrameRange(const std::string& text);

}  // namespace cli
