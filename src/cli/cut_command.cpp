// splicor-cli cut: the cut the grid would make, from a terminal.

#include <sys/stat.h>

#include <algorithm>
#include <iostream>
#include <sstream>

#include "asf/file.h"
#include "asf/media_time.h"
#include "cli/commands.h"
#include "cli/cut_ranges.h"
#include "cli/join_command.h"
#include "cut/output_files.h"
#include "cut/trimlet.h"
#include "media/source_file.h"
#include "media/wmsdk.h"
#include "platform/own_files.h"

namespace cli {

namespace {

using namespace media;

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The cut points of a file without video: every sample of its first audio stream is a clean
// point, so the times of those samples are what ranges snap to.
HRESULT readAudioCutPoints(const std::string& path, KeyFrames& out) {
    asf::File file;
    asf::Status status = file.open(path);
    if (status != asf::Status::Ok) {
        return hresultFromStatus(status);
    }
    out.stream = 0;
    for (const asf::Stream& s : file.header().streams) {
        if (s.isAudio() && out.stream == 0) {
            out.stream = s.number;
        }
    }
    if (out.stream == 0) {
        return ASF_E_NOSTREAMPROPS;
    }
    out.duration = file.header().fileProperties.durationWithoutPreroll();
    out.cutShort = file.truncated() && file.dataObject().sizeKnown;
    out.times.clear();
    out.samplesEnd = 0;
    HRESULT hr = readSamples(path, [&](const SampleInfo& sample) {
        if (sample.stream == out.stream && (out.times.empty() || sample.time > out.times.back())) {
            out.times.push_back(sample.time);
        }
        // As for a file with video: a sample without a duration still takes 1 ms.
        out.samplesEnd =
            std::max(out.samplesEnd,
                     sample.time + std::max<QWORD>(sample.duration, asf::kTicksPerMillisecond));
    });
    return hr;
}

// The engine opens a kept range only at a clean point of its key stream, and audio samples
// carry no clean-point flag, so a file without video is cut by copying its stretches directly:
// every sample of every stream timed inside a kept range, as the engine keeps them.
int cutWithoutVideo(const platform::HeldFile& held, const std::string& source,
                    const std::string& destination, const std::vector<TimeRange>& ranges,
                    std::ostream& out, const std::function<void(double)>& progress) {
    std::vector<Stretch> stretches;
    for (const TimeRange& range : ranges) {
        stretches.push_back({held.path(), range.first, range.second});
    }
    std::uint64_t samples = 0;
    std::string failed;
    HRESULT hr = writeStretches(stretches, destination, samples, failed, progress);
    if (FAILED(hr)) {
        return fail(failed == held.path() ? source : failed, hr);
    }
    out << "wrote " << destination << "\n";
    return 0;
}

// The ranges the arguments name, snapped. On the first that is not one, a message and the exit
// status: 2 for a word that is no range at all, 1 for a range the file does not hold (a fact
// about the file, so the message names it). 0 when all are ranges of the file.
int readRanges(const std::vector<std::string>& args, const KeyFrames& keys,
               std::vector<TimeRange>& ranges) {
    const std::string& source = args[0];
    const MediaTime end = endOfFile(keys.times, keys.duration);
    const std::size_t lastFrame = keys.times.empty() ? 0 : keys.times.size() - 1;
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::optional<TimeRange> range;
        std::optional<TimeRange> typed;
        std::optional<std::pair<std::size_t, std::size_t>> frames;
        if (args[i] == "--frames" && i + 1 < args.size()) {
            frames = parseFrameRange(args[++i]);
            if (frames) {
                range = frameRange(frames->first, frames->second, keys.times, keys.duration);
            }
        } else if ((typed = parseTimeRange(args[i]))) {
            range = snapRange(*typed, keys.times, keys.duration);
        }
        if (range) {
            ranges.push_back(*range);
        } else if (typed && typed->first >= end) {
            std::cerr << "splicor-cli: " << source << ": " << args[i]
                      << ": starts at or after the end of the file (" << asf::secondsText(end)
                      << " s)\n";
            return 1;
        } else if (frames) {
            std::cerr << "splicor-cli: " << source << ": --frames " << args[i]
                      << ": the file has key frames 0 to " << lastFrame << "\n";
            return 1;
        } else if (typed) {
            std::cerr << "splicor-cli: " << source << ": " << args[i]
                      << ": holds no key-frame stretch of the file\n";
            return 1;
        } else {
            std::cerr << "splicor-cli: " << args[i]
                      << ": not a range (START-END in seconds or h:mm:ss.fff, START-, or "
                         "--frames I-J with key-frame numbers from 0)\n";
            return 2;
        }
    }
    return 0;
}

// How far the key frames must be listed for the ranges the arguments name. Time ranges snap to
// the key frames around them, so the list may end at the first key frame at or after the last
// range's end; frame numbers, deleted stretches (the rest runs to the end of the file) and the
// message for an argument that is not a range need the whole list (kEndOfFile).
MediaTime keyFramesNeeded(const std::vector<std::string>& args, bool deleteRanges) {
    MediaTime until = 0;
    for (std::size_t i = 2; i < args.size() && !deleteRanges; ++i) {
        const std::optional<TimeRange> range = parseTimeRange(args[i]);
        if (!range) {
            return kEndOfFile;
        }
        until = std::max(until, range->second);
    }
    return deleteRanges ? kEndOfFile : until;
}

// Whether a failed cut failed on what it read from the source (cut short, damaged, protected,
// changed since its key frames were listed) rather than on what it wrote.
bool readingFailed(HRESULT hr) {
    for (HRESULT code :
         {ASF_E_NODATAOBJECT, ASF_E_BADDATAUNIT, ASF_E_INVALIDHEADER, ASF_E_NOHEADEROBJECT,
          ASF_E_UNKNOWNPACKETSIZE, ASF_E_WRONGVERSION, NS_E_DRM_NO_RIGHTS, NS_E_INVALID_REQUEST,
          HRESULT_FROM_WIN32(ERROR_READ_FAULT), HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)}) {
        if (hr == code) {
            return true;
        }
    }
    return false;
}

// The key frames a cut needs. Frame numbers, deleted stretches and arguments that are not time
// ranges need the whole list (up to the first key frame at or after the last time range's end,
// where that is enough: see keyFramesNeeded). Time ranges snap to the key frames around their
// ends only, so for each range the list holds the latest key frame at or before its start and
// the first at or after its end, with every key frame between those and the range's ends; the
// packets sent well before each is looked for are not read. Around a start, a window before it
// is read; where no key frame lies in the window, a wider one, up to the whole file.
HRESULT readKeyFramesFor(const std::string& source, const std::vector<std::string>& args,
                         bool deleteRanges, KeyFrames& keys) {
    std::vector<TimeRange> ranges;
    for (std::size_t i = 2; i < args.size() && !deleteRanges; ++i) {
        const std::optional<TimeRange> range = parseTimeRange(args[i]);
        if (!range) {
            ranges.clear();
            break;
        }
        ranges.push_back(*range);
    }
    if (ranges.empty()) {
        return readKeyFrames(source, keys, keyFramesNeeded(args, deleteRanges));
    }
    std::vector<MediaTime> times;
    KeyFrames part;
    auto take = [&] {
        times.insert(times.end(), part.times.begin(), part.times.end());
        keys.stream = part.stream;
        keys.duration = part.duration;
        keys.samplesEnd = std::max(keys.samplesEnd, part.samplesEnd);
        keys.cutShort = keys.cutShort || part.cutShort;
    };
    for (const TimeRange& range : ranges) {
        // The window stops growing once it reaches back to the start of the file (a start far
        // past the end would otherwise wrap it around to 0 and widen it for ever).
        for (MediaTime window = 10 * asf::kTicksPerSecond;;
             window = window > range.first / 4 ? range.first : window * 4) {
            const MediaTime from = range.first > window ? range.first - window : 0;
            // An open end reads on to the end of the file (where the samples end is needed);
            // otherwise only the key frames up to the start count here.
            const bool open = range.second == kEndOfFile;
            HRESULT hr = readKeyFrames(source, part, open ? kEndOfFile : range.first, from,
                                       open ? kEndOfFile : range.first);
            if (FAILED(hr)) {
                return hr;
            }
            take();
            if (from == 0 || std::any_of(part.times.begin(), part.times.end(), [&](MediaTime t) {
                    return t >= from && t <= range.first;
                })) {
                break;
            }
        }
        if (range.second != kEndOfFile) {
            HRESULT hr = readKeyFrames(source, part, range.second, range.second);
            if (FAILED(hr)) {
                return hr;
            }
            take();
        }
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    keys.times = std::move(times);
    return S_OK;
}

// The engine's percentages as the fraction `progress` takes.
std::function<void(int)> engineProgress(const std::function<void(double)>& progress) {
    if (!progress) {
        return {};
    }
    return [progress](int percent) { progress(percent / 100.0); };
}

// The engine's line per range (its start in ms), labelled.
void printStartTimes(const std::string& engineLines, std::ostream& out) {
    std::istringstream lines(engineLines);
    std::string ms;
    for (int range = 1; std::getline(lines, ms); ++range) {
        out << "engine: range " << range << " starts at " << ms << " ms\n";
    }
}

}  // namespace

int cutCommand(const std::vector<std::string>& args, std::ostream& out, CutOptions options) {
    if (args.size() < 3) {
        std::cerr << "usage: splicor-cli cut SRC DST START-END... | --frames I-J...\n";
        return 2;
    }
    const std::string& source = args[0];
    const std::string& destination = args[1];
    if (sameFile(source, destination)) {
        std::cerr << "splicor-cli: " << destination << ": the destination is the source\n";
        return 1;
    }
    // Opened once for the whole command: what is listed is what is cut, even when another
    // file is renamed onto the source's name meanwhile.
    const platform::HeldFile held(source);
    KeyFrames keys;
    HRESULT hr = readKeyFramesFor(held.path(), args, options.deleteRanges, keys);
    const bool withoutVideo = hr == ASF_E_NOSTREAMPROPS;
    if (withoutVideo) {
        hr = readAudioCutPoints(held.path(), keys);
    }
    if (hr == ASF_E_NOSTREAMPROPS) {
        std::cerr << "splicor-cli: " << source << ": the file has no video or audio stream\n";
        return 1;
    }
    if (FAILED(hr)) {
        return fail(source, hr);
    }
    if (keys.duration == 0) {
        std::cerr << "splicor-cli: " << source
                  << ": the file's length is unknown (its header gives no duration, as a live "
                     "capture's does), so it cannot be cut\n";
        return 1;
    }
    if (keys.times.empty()) {
        std::cerr << "splicor-cli: " << source
                  << ": the file has no key frame to cut at (it may be cut short)\n";
        return 1;
    }
    // The last key frame's stretch ends where the file does, even where its header says less.
    keys.duration = media::lastStretchEnd(keys.duration, keys.samplesEnd, keys.cutShort);
    std::vector<TimeRange> ranges;
    if (int status = readRanges(args, keys, ranges)) {
        return status;
    }
    if (options.deleteRanges) {
        ranges = complement(ranges, keys.times, keys.duration);
        if (ranges.empty()) {
            std::cerr << "splicor-cli: " << source
                      << ": the ranges delete the whole file; nothing is left to write\n";
            return 1;
        }
    }
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) {
            std::cerr << "splicor-cli: " << source
                      << ": the ranges overlap or are out of order once snapped to its key "
                         "frames\n";
            return 1;
        }
    }
    if (ranges.size() > static_cast<std::size_t>(cut::kMaxRanges)) {
        std::cerr << "splicor-cli: " << source << ": " << ranges.size()
                  << " ranges once snapped to its key frames; a cut takes at most "
                  << cut::kMaxRanges << "\n";
        return 1;
    }
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        out << "keeping " << asf::secondsText(ranges[i].first) << " s to "
            << asf::secondsText(ranges[i].second) << " s\n";
    }
    out.flush();
    if (withoutVideo) {
        return cutWithoutVideo(held, source, destination, ranges, out, options.progress);
    }
    // The temporary output goes beside the destination, never into the working directory.
    const std::string temporary = cut::temporaryBeside(destination);
    std::ostringstream startTimes;
    std::vector<cut::Trimlet::SkippedAttribute> skipped;
    hr = cut::runCut(held.path(), destination, temporary, ranges, keys.stream, startTimes, &skipped,
                     options.replace, engineProgress(options.progress), true);
    if (options.verbose) {
        printStartTimes(startTimes.str(), out);
    }
    for (const cut::Trimlet::SkippedAttribute& a : skipped) {
        std::cerr << "splicor-cli: " << source << ": attribute \"" << a.name << "\" of "
                  << (a.stream == 0 ? std::string("the file")
                                    : "stream " + std::to_string(a.stream))
                  << " not copied: " << hresultText(a.why) << "\n";
    }
    if (FAILED(hr)) {
        return fail(readingFailed(hr) ? source : destination, hr);
    }
    out << "wrote " << destination << "\n";
    return 0;
}

}  // namespace cli
