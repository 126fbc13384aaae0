#include "asf/ffmpeg_reference.h"

#include <algorithm>
#include <cstdio>

#include "support/test_files.h"

namespace asf_test {

using testsupport::lines;
using testsupport::runCommand;
using testsupport::shellQuote;

FfmpegReference runFramemd5(const std::string& path) {
    FfmpegReference ref;
    int rc = 0;
    const std::string types =
        runCommand("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " +
                       shellQuote(path) + " 2>/dev/null",
                   &rc);
    if (rc != 0) {
        return ref;
    }
    for (const std::string& type : lines(types)) {
        if (!type.empty()) {
            ref.inputTypes.push_back(type);
        }
    }
    const std::string start =
        runCommand("ffprobe -v error -show_entries format=start_time -of csv=p=0 " +
                       shellQuote(path) + " 2>/dev/null",
                   &rc);
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
    testsupport::FrameMd5 md5 = testsupport::ffmpegFrameMd5(path, "-map 0:v? -map 0:a?");
    if (md5.status != 0) {
        return ref;
    }
    ref.outputs.resize(ref.outputInputs.size());
    md5.timeBases.resize(std::max(md5.timeBases.size(), ref.outputs.size()), {1, 1000});
    for (const testsupport::FramePacket& packet : md5.packets) {
        const size_t index = static_cast<size_t>(packet.stream);
        if (index >= ref.outputs.size()) {
            continue;
        }
        const auto tb = md5.timeBases[index];
        ReferenceFrame frame;
        frame.dtsMs = packet.dts * tb.first * 1000 / tb.second;
        frame.size = packet.size;
        frame.md5 = packet.md5;
        ref.outputs[index].push_back(frame);
    }
    ref.readable = true;
    return ref;
}

std::vector<DemuxedPacket> runFfprobePackets(const std::string& path) {
    const std::string text =
        runCommand("ffprobe -v error -show_entries packet=stream_index,size -of csv=p=0 " +
                   shellQuote(path) + " 2>/dev/null");
    std::vector<DemuxedPacket> packets;
    for (const std::string& line : lines(text)) {
        int stream = 0;
        long long size = 0;
        if (std::sscanf(line.c_str(), "%d,%lld", &stream, &size) == 2) {
            packets.push_back({stream, size});
        }
    }
    return packets;
}

}  // namespace asf_test
