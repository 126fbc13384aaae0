// splicor-cli cut: the cut the grid would make, from a terminal.

#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>

#include <sys/stat.h>
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/cut_ranges.h"
#include "cut/trimlet.h"
#include "media/wmsdk.h"
#include "platform/text.h"

namespace cli {

namespace {

using namespace media;

std::string seconds(MediaTime t) {
    char s[32];
    std::snprintf(s, sizeof s, "%" PRIu64 ".%03" PRIu64, t / 10000000, t / 10000 % 1000);
    return s;
}

boost::shared_array<WCHAR> wide(const std::string& text) {
    std::u16string w = platform::utf8ToUtf16(text);
    boost::shared_array<WCHAR> out(new WCHAR[w.size() + 1]);
    std::copy(w.begin(), w.end(), out.get());
    out[w.size()] = 0;
    return out;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace

int cutCommand(const std::vector<std::string>& args, std::ostream& out) {
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
    KeyFrames keys;
    HRESULT hr = readKeyFrames(source, keys);
    const std::vector<MediaTime>& keyFrames = keys.times;
    const QWORD duration = keys.duration;
    const WORD keyStream = keys.stream;
    if (FAILED(hr)) {
        std::cerr << "splicor-cli: " << source << ": " << hresultText(hr) << "\n";
        return 1;
    }
    std::vector<TimeRange> ranges;
    for (std::size_t i = 2; i < args.size(); ++i) {
        std::optional<TimeRange> range;
        if (args[i] == "--frames" && i + 1 < args.size()) {
            auto frames = parseFrameRange(args[++i]);
            if (frames) {
                range = frameRange(frames->first, frames->second, keyFrames, duration);
            }
        } else if (auto typed = parseTimeRange(args[i])) {
            range = snapRange(*typed, keyFrames, duration);
        }
        if (!range) {
            std::cerr << "splicor-cli: " << args[i]
                      << ": not a range of this file (START-END in seconds or h:mm:ss.fff, or "
                         "--frames I-J with key-frame numbers from 0 to "
                      << (keyFrames.empty() ? 0 : keyFrames.size() - 1) << ")\n";
            return 2;
        }
        ranges.push_back(*range);
    }
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].second) {
            std::cerr << "splicor-cli: the ranges overlap or are out of order once snapped to "
                         "key frames\n";
            return 2;
        }
    }
    if (ranges.size() > static_cast<std::size_t>(cut::kMaxRanges)) {
        std::cerr << "splicor-cli: " << ranges.size() << " ranges; a cut takes at most "
                  << cut::kMaxRanges << "\n";
        return 2;
    }
    boost::shared_array<QWORD> starts(new QWORD[cut::kMaxRanges]());
    boost::shared_array<QWORD> ends(new QWORD[cut::kMaxRanges]());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        starts[i] = ranges[i].first;
        ends[i] = ranges[i].second;
        out << "keeping " << seconds(ranges[i].first) << " s to " << seconds(ranges[i].second)
            << " s\n";
    }
    out.flush();
    boost::shared_ptr<cut::Trimlet> engine(new cut::Trimlet());
    hr = engine->run("temp.wmv", destination, wide(source), wide("temp.wmv"), starts, ends,
                     static_cast<std::int32_t>(ranges.size()), keyStream);
    if (FAILED(hr)) {
        std::cerr << "splicor-cli: " << destination << ": " << hresultText(hr) << "\n";
        return 1;
    }
    out << "wrote " << destination << "\n";
    return 0;
}

}  // namespace cli
