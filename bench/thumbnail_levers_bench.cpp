// What each way of making thumbnails faster gives, on the key frames of one file's last video
// stream (read into memory first, so only decoding and scaling are timed). Each line adds one
// lever to the line above it, decoding on one thread; the last lines spread the work over the
// cores as the reader does. Each line also gives how far its thumbnails are from the first
// line's (whole pictures, scaled by nearest neighbour): mean difference per byte and PSNR.
// The one-thread lines give processor time, the pipeline lines wall time.
//
//   thumbnail_levers_bench FILE [RUNS]      (best of RUNS, default 3)

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "asf/file.h"
#include "asf/sample_reader.h"
#include "media/decode_pipeline.h"
#include "media/keyframe_decoder.h"
#include "thumbs/thumb_document.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
using Thumbs = std::vector<std::vector<std::uint8_t>>;

struct Lever {
    const char* name;
    bool small;  // thumbnail-sized output
    media::ReducedDecoding reduced;
};

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The processor time this thread has used: on a shared machine it tells the levers apart where
// wall time mostly shows the others' load.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Decodes every key frame on this thread; the thumbnails go to `out`.
bool decodeAll(const asf::VideoFormat& format, const std::vector<std::vector<std::uint8_t>>& keys,
               const Lever& lever, Thumbs& out) {
    media::KeyFrameDecoder decoder;
    if (decoder.open(format.compression, format.width, format.height, format.extradata.data(),
                     format.extradata.size(), lever.small ? kWidth : 0, lever.small ? kHeight : 0,
                     lever.reduced) != media::DecodeError::Ok) {
        return false;
    }
    out.assign(keys.size(), std::vector<std::uint8_t>(kWidth * kHeight * 3));
    std::vector<std::uint8_t> picture;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (decoder.decode(keys[i].data(), keys[i].size(), picture) != media::DecodeError::Ok) {
            continue;  // stays black in every line alike
        }
        thumbs::ThumbDocument::scaleFrame(picture.data(), out[i].data(), decoder.width(),
                                          decoder.height(), kWidth, kHeight);
    }
    return true;
}

void compare(const Thumbs& base, const Thumbs& thumbs, double& meanDifference, double& psnr) {
    double absolute = 0, squared = 0, bytes = 0;
    for (std::size_t i = 0; i < base.size(); ++i) {
        for (std::size_t b = 0; b < base[i].size(); ++b) {
            const double d = double(base[i][b]) - thumbs[i][b];
            absolute += std::abs(d);
            squared += d * d;
        }
        bytes += double(base[i].size());
    }
    meanDifference = absolute / bytes;
    psnr = squared == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (squared / bytes));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: thumbnail_levers_bench FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 3;
    asf::File file;
    if (file.open(argv[1]) != asf::Status::Ok) {
        std::fprintf(stderr, "thumbnail_levers_bench: %s: cannot read it\n", argv[1]);
        return 1;
    }
    const asf::Stream* video = nullptr;
    for (const asf::Stream& stream : file.header().streams) {
        if (stream.properties.video) {
            video = &stream;
        }
    }
    if (!video) {
        std::fprintf(stderr, "thumbnail_levers_bench: %s: no video stream\n", argv[1]);
        return 1;
    }
    const asf::VideoFormat& format = *video->properties.video;
    std::vector<std::vector<std::uint8_t>> keys;
    asf::SampleReader reader(file);
    reader.setStreamFilter({video->number});
    for (asf::Sample sample; reader.next(sample);) {
        if (sample.cleanPoint) {
            keys.push_back(std::move(sample.data));
        }
    }
    std::printf("%s: %zu key frames of %d x %d\n", argv[1], keys.size(), format.width,
                format.height);

    const Lever levers[] = {
        {"whole picture, then nearest pixels", false, {false, false, false}},
        {"+ picked from the decoder's planes", true, {false, false, true}},
        {"+ loop filter skipped", true, {false, true, true}},
        {"+ reduced-resolution decoding", true, {true, true, true}},
    };
    Thumbs base;
    double baseTime = 0;
    for (const Lever& lever : levers) {
        Thumbs thumbs;
        double best = 1e9;
        for (int run = 0; run < runs; ++run) {
            const double start = threadSeconds();
            if (!decodeAll(format, keys, lever, thumbs)) {
                std::fprintf(stderr, "thumbnail_levers_bench: the codec cannot be opened\n");
                return 1;
            }
            best = std::min(best, threadSeconds() - start);
        }
        if (base.empty()) {
            base = thumbs;
            baseTime = best;
        }
        double mean = 0, psnr = 0;
        compare(base, thumbs, mean, psnr);
        std::printf("  %-38s cpu %7.3f s  %5.2f ms/frame  x%.2f   diff %.2f  PSNR %.1f dB\n",
                    lever.name, best, 1000 * best / std::max<std::size_t>(1, keys.size()),
                    baseTime / best, mean, psnr);
    }
    // The levers the reader uses, through its pipeline with one worker and with one per core.
    const unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    for (unsigned workers : std::set<unsigned>{1u, cores}) {
        double best = 1e9;
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            media::DecodePipeline pipeline(format, kWidth, kHeight, workers, 2 * workers);
            std::size_t next = 0;
            while (next < keys.size() || !pipeline.empty()) {
                while (next < keys.size() && !pipeline.full()) {
                    pipeline.submit(keys[next++], media::DecodePipeline::Frame());
                }
                pipeline.takeOldest();
            }
            best = std::min(best, seconds(start));
        }
        std::printf("  as the reader does, %u worker%s       wall %7.3f s  %5.2f ms/frame  x%.2f\n",
                    workers, workers == 1 ? ": " : "s:", best,
                    1000 * best / std::max<std::size_t>(1, keys.size()), baseTime / best);
    }
    return 0;
}
