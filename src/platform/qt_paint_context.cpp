#include "platform/qt_paint_context.h"

#include <QColor>
#include <QPainter>
#include <QRect>
#include <cstring>

#include "platform/bitmap.h"

namespace platform {

namespace {

// One row of B, G, R byte triples as 0xFFRRGGBB words, four pixels per step from three
// little-endian words of source.
void toRgb32(const std::uint8_t* from, std::uint32_t* to, int pixels) {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are read little-endian");
    static_assert(Bitmap::kWidth % 4 == 0, "rows convert four pixels at a time");
    constexpr std::uint32_t kOpaque = 0xFF000000u;
    constexpr std::uint32_t kLow24 = 0x00FFFFFFu;
    for (int i = 0; i < pixels; i += 4, from += 12, to += 4) {
        std::uint32_t w0, w1, w2;
        std::memcpy(&w0, from, 4);
        std::memcpy(&w1, from + 4, 4);
        std::memcpy(&w2, from + 8, 4);
        to[0] = kOpaque | (w0 & kLow24);
        to[1] = kOpaque | (((w0 >> 24) | (w1 << 8)) & kLow24);
        to[2] = kOpaque | (((w1 >> 16) | (w2 << 16)) & kLow24);
        to[3] = kOpaque | (w2 >> 8);
    }
}

}  // namespace

QtPaintContext::QtPaintContext(QPainter& painter)
    : painter_(painter), upright_(Bitmap::kWidth, Bitmap::kHeight, QImage::Format_RGB32) {}

void QtPaintContext::drawBitmap(std::int32_t x, std::int32_t y, const Bitmap& bitmap) {
    for (int row = 0; row < Bitmap::kHeight; ++row) {
        // The record holds the picture's bottom row first.
        const std::uint8_t* from =
            bitmap.pixels() + (Bitmap::kHeight - 1 - row) * Bitmap::kRowBytes;
        toRgb32(from, reinterpret_cast<std::uint32_t*>(upright_.scanLine(row)), Bitmap::kWidth);
    }
    painter_.drawImage(QPoint(x, y), upright_);
}

void QtPaintContext::drawRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                                   std::int32_t bottom, const Pen& pen) {
    const QColor colour(pen.red, pen.green, pen.blue);
    for (const Strip& strip : outlineStrips(left, top, right, bottom, pen.width)) {
        painter_.fillRect(QRect(strip.x, strip.y, strip.width, strip.height), colour);
    }
}

}  // namespace platform
