#pragma once

// splicor-cli join: several files with the same streams into one, one after the other; and the
// copy of stretches of files into one that it is built on, which also cuts files without video.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "media/hresult.h"

namespace cli {

// Writes `output` with every sample of the inputs, unchanged, in input order; each input's times
// are shifted by the lengths of the inputs before it (a length being its "Duration", or the end
// of its last sample when the header declares less than its samples show). The output has the first
// input's streams and header data (attributes, codec list, script commands). Inputs whose streams
// differ from the first's (numbers, types or format data) are refused before anything is written,
// naming the first difference. The caller has checked that `output` may be written.
// `progress`, when given, hears the share of the output written (0 to 1).
int joinCommand(const std::vector<std::string>& inputs, const std::string& output,
                std::ostream& out, const std::function<void(double)>& progress = {});

// A stretch of an input: its samples timed from start (inclusive) to end (exclusive), every
// stream alike. kToTheEnd takes the whole rest of the input.
constexpr std::uint64_t kToTheEnd = UINT64_MAX;
struct Stretch {
    std::string path;
    std::uint64_t start = 0;  // 100-ns units
    std::uint64_t end = kToTheEnd;
};

// Writes `output` with the samples of the stretches one after the other, unchanged; each
// stretch's times move so that it starts where the one before ended (a stretch to the end of its
// input ends where the input does: see joinCommand). Streams and
// header data come from the first stretch's input; all inputs must have its streams. On failure
// nothing is left at `output` and `failed` names the file the failure concerns.
// `progress`, when given, hears the share of the output's length written so far (0 to 1).
media::HRESULT writeStretches(const std::vector<Stretch>& stretches, const std::string& output,
                              std::uint64_t& samples, std::string& failed,
                              const std::function<void(double)>& progress = {});

// Why the streams of `other` cannot follow those of `first` in one file; empty when they can.
std::string streamMismatch(const std::string& first, const std::string& other);

}  // namespace cli
