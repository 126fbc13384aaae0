// Lists and decodes every key frame of a file's last video stream through the synchronous
// reader, as thumbnail extraction does, and prints the count and the time it took.
//
//   keyframe_decode_bench FILE

#include <chrono>
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "media/wmsdk.h"

using namespace media;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: keyframe_decode_bench FILE\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    ComPtr<IWMSyncReader> reader;
    std::vector<std::pair<WORD, bool>> streams;
    HRESULT hr = cli::openReader(argv[1], reader, streams);
    WORD video = 0;
    for (const auto& [number, isVideo] : streams) {
        if (isVideo) {
            video = number;
        }
    }
    WMT_STREAM_SELECTION keysOnly = WMT_CLEANPOINT_ONLY;
    if (SUCCEEDED(hr)) {
        hr = video ? reader->SetStreamsSelected(1, &video, &keysOnly) : E_INVALIDARG;
    }
    unsigned frames = 0;
    while (SUCCEEDED(hr)) {
        ComPtr<INSSBuffer> sample;
        QWORD time, duration;
        DWORD flags, output;
        WORD stream;
        hr = reader->GetNextSample(video, sample.put(), &time, &duration, &flags, &output, &stream);
        frames += SUCCEEDED(hr) ? 1 : 0;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (hr != NS_E_NO_MORE_SAMPLES) {
        std::fprintf(stderr, "keyframe_decode_bench: %s\n", hresultText(hr).c_str());
        return 1;
    }
    std::printf("%u key frames decoded in %.3f s\n", frames, seconds);
    return 0;
}
