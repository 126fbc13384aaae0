#pragma once

// The cut list file: the on-disk form of one queued cut job, kept in the thumbnail directory
// from the moment the job is queued until its cut has run, so that jobs still waiting or running
// when the program ends run again at the next start.
//
// Content, each item on a line of its own ending in CR LF, nothing else:
//
//   source path                 the bytes of the path, unchanged
//   destination path
//   N                           the count of media times that follow, decimal
//   time 1 ... time N           start and end of each range to keep, decimal media times
//   order                       the job's place in the queue (files written before it was
//                               recorded lack this line; readers that do not know it ignore it)
//
// Name: the destination's file name followed by "-cut.txt" ("clip.wmv" gives
// "clip.wmv-cut.txt"). Jobs whose destinations share a file name each get a file of their own:
// the later ones take numbered names ("clip.wmv-2-cut.txt", "clip.wmv-3-cut.txt", ...), which
// end in "-cut.txt" as well, so every such file is found at the next start. A destination name
// too long to carry them is shortened with a hash of it.
//
// Files are written whole or not at all (see platform/own_files.h): a crash never leaves a
// half-written cut list file, and a link or FIFO named like one is neither followed nor read.
//
// A file that does not hold a whole job (no count, a count that is negative, not a number or
// absurdly large, fewer values than the count says, values that are not numbers) is rejected.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace journal {

// Every cut list file's name ends in this.
constexpr char kCutListSuffix[] = "-cut.txt";

// The most media times a cut list file may hold; a count above it is not believed.
constexpr std::int32_t kMaxCutListTimes = 1 << 20;

// One job as a cut list file holds it.
struct CutList {
    std::string source;
    std::string destination;
    std::vector<std::uint64_t> times;
    std::uint64_t order = 0;  // the place in the queue; 0 when the file does not say
};

// The name (not the path) of a cut list file for `destination`: variant 1 is the file name
// followed by "-cut.txt"; variant k > 1 puts "-k" between the two.
std::string cutListFileName(const std::string& destination, int variant = 1);

// The file's content, CR LF line ends included; the order line only when `order` is not 0.
std::string formatCutList(const std::string& source, const std::string& destination,
                          const std::uint64_t* times, std::int32_t count, std::uint64_t order = 0);

// The job `content` holds, or nothing when it does not hold a whole job. Numbers may carry a
// plus sign. One number alone after the N-th time is the order; anything else after it is
// ignored.
std::optional<CutList> parseCutList(std::string_view content);

// Writes the file at `path` durably, replacing a file of that name. False when it could not be
// written (then no file of that name was made or changed) or when a path holds a line break,
// which the format cannot carry.
bool writeCutListFile(const std::string& path, const std::string& source,
                      const std::string& destination, const std::uint64_t* times,
                      std::int32_t count, std::uint64_t order = 0);

// The job the file at `path` holds, or nothing when it is not a regular file, cannot be read or
// is malformed.
std::optional<CutList> readCutListFile(const std::string& path);

// Deletes the temporary files that writes cut short by the end of the process left in
// `directory` (which ends in "/").
void removeUnfinishedCutListWrites(const std::string& directory);

}  // namespace journal
