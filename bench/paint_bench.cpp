// Times one paint of the thumbnail grid over a 1920 x 1080 client area (12 x 9 cells), with
// every visible bitmap present and with none (each loaded from the cache file during the paint),
// into the raster context and through QPainter into a 1920 x 1080 QImage. Beside each figure, a
// peer of the same run: a memcpy of the raster picture's bytes, and QPainter::drawImage of one
// whole 1920 x 1080 picture.
//
//   paint_bench FILE      (FILE needs at least 108 key frames)

#include <stdlib.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/paint_context.h"
#include "platform/qt_paint_context.h"
#include "thumbs/thumb_document.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Figures {
    double median;
    double best;
};

// Runs `before` untimed and `timed` timed, `runs` times; milliseconds.
Figures measure(int runs, const std::function<void()>& before, const std::function<void()>& timed) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        before();
        const auto start = std::chrono::steady_clock::now();
        timed();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

void row(const char* what, Figures ours, const char* peerName, Figures peer) {
    std::printf("%-36s %7.3f ms %7.3f ms   %-34s %7.3f ms %7.3f ms\n", what, ours.median, ours.best,
                peerName, peer.median, peer.best);
}

void dropBitmaps(thumbs::ThumbDocument& document) {
    document.createdBitmaps.clear();
    for (auto& bitmap : document.frameBitmaps) {
        bitmap.reset();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: paint_bench FILE\n");
        return 2;
    }
    std::string directory = std::filesystem::temp_directory_path() / "splicor-bench-XXXXXX";
    if (!::mkdtemp(directory.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    int status = 0;
    {
        thumbs::ThumbDocument document(argv[1], directory + "/", 0, 0, nullptr);
        document.backgroundOnly = true;  // the cache file only; bitmaps come below
        document.extract();
        document.layout(nullptr, kWidth, kHeight);
        const std::size_t cells = static_cast<std::size_t>(document.columns) * (kHeight / 120);
        if (!document.ready || document.frameStarts.size() < cells) {
            std::fprintf(stderr, "paint_bench: %s: needs %zu key frames\n", argv[1], cells);
            status = 1;
        } else {
            std::printf("paint of %d x %d: %zu cells of %zu frames; median and best\n", kWidth,
                        kHeight, cells, document.frameStarts.size());
            const auto nothing = [] {};
            const auto drop = [&] { dropBitmaps(document); };
            const auto load = [&] { document.loadBitmaps(false); };

            platform::RasterPaintContext raster(kWidth, kHeight);
            std::vector<std::uint8_t> copy(raster.pixels().size());
            const auto rasterPaint = [&] { document.paint(nullptr, raster); };
            const Figures memcpyPeer = measure(200, nothing, [&] {
                std::memcpy(copy.data(), raster.pixels().data(), copy.size());
            });
            row("raster, every bitmap present", measure(200, load, rasterPaint),
                "memcpy of the raster picture", memcpyPeer);
            row("raster, every bitmap from the file", measure(50, drop, rasterPaint),
                "memcpy of the raster picture", memcpyPeer);

            QImage target(kWidth, kHeight, QImage::Format_RGB32);
            target.fill(Qt::white);
            QImage whole(kWidth, kHeight, QImage::Format_RGB32);
            whole.fill(Qt::gray);
            const auto qtPaint = [&] {
                QPainter painter(&target);
                platform::QtPaintContext context(painter);
                document.paint(nullptr, context);
            };
            const Figures drawImagePeer = measure(200, nothing, [&] {
                QPainter painter(&target);
                painter.drawImage(0, 0, whole);
            });
            row("QPainter, every bitmap present", measure(200, load, qtPaint),
                "QPainter::drawImage of 1920 x 1080", drawImagePeer);
            row("QPainter, every bitmap from the file", measure(50, drop, qtPaint),
                "QPainter::drawImage of 1920 x 1080", drawImagePeer);
        }
    }
    std::filesystem::remove_all(directory);
    return status;
}
