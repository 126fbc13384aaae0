// Lists and decodes every key frame of a file's last video stream through the synchronous
// reader, as thumbnail extraction does, and prints the count and the time it took.
//
//   keyframe_decode_bench FILE

#include <chrono>
#include <cstdio>
#include <vector>

#include "media/wmsdk.h"
#include "platform/text.h"

using namespace media;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: keyframe_decode_bench FILE\n");
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    ComPtr<IWMSyncReader> reader;
    HRESULT hr = WMCreateSyncReader(nullptr, 0, reader.put());
    if (SUCCEEDED(hr)) {
        hr = reader->Open(platform::utf8ToUtf16(argv[1]).c_str());
    }
    ComPtr<IWMProfile> profile;
    if (SUCCEEDED(hr)) {
        hr = reader.as(IID_IWMProfile, profile);
    }
    DWORD count = 0;
    if (SUCCEEDED(hr)) {
        hr = profile->GetStreamCount(&count);
    }
    WORD video = 0;
    for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        ComPtr<IWMStreamConfig> config;
        GUID type{};
        WORD number = 0;
        hr = profile->GetStream(i, config.put());
        if (SUCCEEDED(hr)) {
            hr = config->GetStreamType(&type);
        }
        if (SUCCEEDED(hr)) {
            hr = config->GetStreamNumber(&number);
        }
        if (SUCCEEDED(hr) && type == WMMEDIATYPE_Video) {
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
