#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace asf_test {

// One packet as FFmpeg's framemd5 muxer lists it.
struct ReferenceFrame {
    int64_t dtsMs = 0;
    int64_t size = 0;
    std::string md5;
};

// What FFmpeg makes of a file: its streams in its own order, and for the command
//   ffmpeg -i FILE -map 0:v? -map 0:a? -c copy -f framemd5 -
// the frames of each output stream (all video streams, then all audio streams).
struct FfmpegReference {
    bool readable = false;
    std::vector<std::string> inputTypes;  // "video", "audio", "data", ... per input stream
    std::vector<int> outputInputs;        // input stream index of each output stream
    std::vector<std::vector<ReferenceFrame>> outputs;
    // Without -copyts the ffmpeg tool subtracts the input's start time from every timestamp;
    // adding this back gives the demuxer's own times.
    int64_t startTimeMs = 0;
};

FfmpegReference runFramemd5(const std::string& path);

// FFmpeg's demuxing order: the input stream index and size of every packet, as ffprobe lists
// them.
struct DemuxedPacket {
    int stream = 0;
    int64_t size = 0;
};
std::vector<DemuxedPacket> runFfprobePackets(const std::string& path);

}  // namespace asf_test
