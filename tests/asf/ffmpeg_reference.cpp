#include "asf/ffmpeg_reference.h"

#include <sstream>

#include "asf/test_support.h"

namespace asf_test {
namespace {

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ',')) {
        const size_t first = field.find_first_not_of(' ');
        fields.push_back(first == std::string::npos ? std::string() : field.substr(first));
    }
    return fields;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            out.push_back(line);
        }
    }
    return out;
}

}  // namespace

FfmpegReference runFramemd5(const std::string& path) {
    FfmpegReference ref;
    int rc = 0;
    const std::string types = runCommand(
        "ffprobe -v error -show_entries stream=codec_type -of "
        "csv=p=0 " +
            shellQuote(path) + " 2>/dev/null",
        rc);
    if (rc != 0) {
        return ref;
    }
    ref.inputTypes = lines(types);
    const std::string start = runCommand(
        "ffprobe -v error -show_entries format=start_time -of "
        "csv=p=0 " +
            shellQuote(path) + " 2>/dev/null",
        rc);
    double seconds = 0;
    if (std::sscanf(start.c_str(), "%lf", &seconds) == 1) {
        ref.startTimeMs = static_cast<int64_t>(seconds * 1000 + (seconds < 0 ? -0.5 : 0.5));
    }
    for (const char* kind : {"video", "audio"}) {
        for (size_t i = 0; i < ref.inputTypes.size(); ++i) {
            if (ref.inputTypes[i] == kind) {
                ref.outputInputs.push_back(static_cast<int>(i));
            }
        }
    }
    const std::string md5 = runCommand("ffmpeg -v error -i " + shellQuote(path) +
                                           " -map 0:v? -map 0:a? -c copy -f framemd5 - "
                                           "2>/dev/null",
                                       rc);
    if (rc != 0) {
        return ref;
    }
    ref.outputs.resize(ref.outputInputs.size());
    std::vector<std::pair<int64_t, int64_t>> timeBases(ref.outputs.size(), {1, 1000});
    for (const std::string& line : lines(md5)) {
        if (line.rfind("#tb ", 0) == 0) {
            // "#tb 0: 1/1000"
            unsigned index = 0;
            long long num = 0;
            long long den = 0;
            if (std::sscanf(line.c_str(), "#tb %u: %lld/%lld", &index, &num, &den) == 3 &&
                index < timeBases.size() && den != 0) {
                timeBases[index] = {num, den};
            }
            continue;
        }
        if (line[0] == '#') {
            continue;
        }
        const auto f = splitFields(line);
        if (f.size() < 6) {
            continue;
        }
        const size_t index = std::stoul(f[0]);
        if (index >= ref.outputs.size()) {
            continue;
        }
        ReferenceFrame frame;
        const auto tb = timeBases[index];
        frame.dtsMs = std::stoll(f[1]) * tb.first * 1000 / tb.second;
        frame.size = std::stoll(f[4]);
        frame.md5 = f[5];
        ref.outputs[index].push_back(frame);
    }
    ref.readable = true;
    return ref;
}

std::vector<DemuxedPacket> runFfprobePackets(const std::string& path) {
    int rc = 0;
    const std::string text = runCommand(
        "ffprobe -v error -show_entries packet=stream_index,size "
        "-of csv=p=0 " +
            shellQuote(path) + " 2>/dev/null",
        rc);
    std::vector<DemuxedPacket> packets;
    for (const std::string& line : lines(text)) {
        const auto f = splitFields(line);
        if (f.size() >= 2) {
            packets.push_back({std::stoi(f[0]), std::stoll(f[1])});
        }
    }
    return packets;
}

}  // namespace asf_test
