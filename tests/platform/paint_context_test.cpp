// QPainter paints the very pixels of the raster context, whose pictures the view tests check.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <memory>
#include <utility>
#include <vector>

#include "platform/bitmap.h"
#include "platform/paint_context.h"
#include "platform/qt_paint_context.h"

namespace {

// A picture whose every pixel differs from its neighbours, so that a flip, a shift or a swapped
// channel shows.
std::unique_ptr<platform::Bitmap> patternBitmap() {
    std::vector<std::uint8_t> record(platform::Bitmap::kRecordBytes);
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<std::uint8_t>(i * 7 + i / 480 * 13);
    }
    return platform::Bitmap::create(record.data());
}

// The same calls on any context: bitmaps inside and across every edge, outlines of several
// widths, one of them clipped.
void paintScene(platform::PaintContext& context, const platform::Bitmap& bitmap) {
    for (auto [x, y] : {std::pair{0, 0}, {170, 5}, {-40, 100}, {300, -30}, {330, 190}}) {
        context.drawBitmap(x, y, bitmap);
    }
    context.drawRectangle(1, 1, 160, 120, platform::Pen{255, 0, 0, 2});
    context.drawRectangle(171, 6, 330, 125, platform::Pen{0, 0, 255, 2});
    context.drawRectangle(20, 150, 60, 190, platform::Pen{0, 200, 0, 1});
    context.drawRectangle(80, 150, 120, 180, platform::Pen{10, 20, 30, 5});
    context.drawRectangle(440, 250, 500, 300, platform::Pen{255, 255, 0, 3});
}

}  // namespace

TEST(PaintContext, QPainterPaintsThePixelsOfTheRasterContext) {
    const auto bitmap = patternBitmap();
    ASSERT_TRUE(bitmap);
    const int width = 470, height = 280;
    platform::RasterPaintContext raster(width, height, 1, 2, 3);
    paintScene(raster, *bitmap);

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(1, 2, 3));
    {
        QPainter painter(&image);
        platform::QtPaintContext qt(painter);
        paintScene(qt, *bitmap);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t painted = image.pixel(x, y) & 0xFFFFFF;
            ASSERT_EQ(painted, raster.pixel(x, y)) << "at (" << x << ", " << y << ")";
        }
    }
}
