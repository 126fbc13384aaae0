#pragma once

// splicor-cli: the media engine from a terminal. Listings go to standard output in the formats
// documented with each command; errors go to standard error with the failure in words. The exit
// status is 0 on success, 1 on a failure and 2 on a wrong command line (command_line.h).

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "media/wmsdk.h"

namespace cli {

int run(int argc, char** argv);

// Opens a synchronous reader on the file; its streams in profile order as (number, is video).
media::HRESULT openReader(const std::string& path, media::ComPtr<media::IWMSyncReader>& reader,
                          std::vector<std::pair<media::WORD, bool>>& streams);

// The key frames of the stream a thumbnail document shows: the last video stream in profile
// order. ASF_E_NOSTREAMPROPS when the file has no video stream. With `until` the list ends at
// the first key frame at or after it, and samplesEnd is left 0 when there is one. With `from`
// the list holds every key frame at or after it, and perhaps a few before; the packets sent well
// before it are not read. With `past` the list may also end once the key frames up to it are
// known (see media::readCleanPoints).
struct KeyFrames {
    media::WORD stream = 0;
    media::QWORD duration = 0;         // the file's "Duration" attribute
    media::QWORD samplesEnd = 0;       // where the samples of all streams end
    bool cutShort = false;             // fewer packets than the file declares
    std::vector<std::uint64_t> times;  // media times, 100-ns units
};
media::HRESULT readKeyFrames(const std::string& path, KeyFrames& out,
                             media::QWORD until = UINT64_MAX, media::QWORD from = 0,
                             media::QWORD past = UINT64_MAX);

// One compressed sample as a synchronous reader delivers it; data is valid during the call.
struct SampleInfo {
    media::WORD stream = 0;
    media::QWORD time = 0;      // 100-ns units
    media::QWORD duration = 0;  // 100-ns units
    bool cleanPoint = false;
    media::BYTE* data = nullptr;
    media::DWORD length = 0;
};
// Calls `each` for every sample of every stream in delivery order.
media::HRESULT readSamples(const std::string& path,
                           const std::function<void(const SampleInfo&)>& each);

// Reports a failure of `path` on standard error ("splicor-cli: PATH: cause"); returns the exit
// status of a failed command, 1.
int fail(const std::string& path, media::HRESULT hr);

// Each command writes its listing to `out` and returns the exit status.
int infoCommand(const std::string& path, std::ostream& out);
// One line per key frame of the video stream a thumbnail document would pick (the last video
// stream in profile order): its media time in 100-ns units.
int keyframesCommand(const std::string& path, std::ostream& out);
// One line per compressed sample of every stream, in delivery order:
// "stream time duration cleanpoint size md5".
int packetsCommand(const std::string& path, std::ostream& out);
// Extracts the thumbnails as a document does, into a temporary thumbnail directory that is
// removed afterwards, and writes them to pngPath as a contact sheet: rows of ten 160 x 120
// cells in key-frame order, each pixel as the thumbnail record holds it. Lists
// "N thumbnails" on success.
// `progress`, when given, hears the share of the file read (0 to 100) as it changes.
int thumbsCommand(const std::string& path, const std::string& pngPath, std::ostream& out,
                  std::function<void(int)> progress = {});

// Cuts SRC into DST keeping the given ranges, each "START-END" in seconds (or h:mm:ss.fff) or
// "--frames I-J" (key frames I to J as the grid numbers them), snapped to key frames as the grid
// offers them; with deleteRanges, keeping everything but them. In a file without video every
// sample is a clean point: ranges snap to the samples of its first audio stream. Lists the kept
// stretches in seconds; with verbose, also the range starts the engine gives (in ms), labelled.
// args: SRC DST RANGE...; DST is never SRC, but any other existing DST is replaced: the command
// line checks first.
struct CutOptions {
    bool deleteRanges = false;
    bool verbose = false;
    // Whether the output may replace a file at the destination; the command line, which refuses
    // an existing destination without --force, also keeps one that appears during the cut.
    bool replace = true;
    // Told, on the cut's own threads, the share of the output written (0 to 1); may be empty.
    std::function<void(double)> progress;
};
int cutCommand(const std::vector<std::string>& args, std::ostream& out, CutOptions options = {});

}  // namespace cli
