#include "platform/paint_context.h"

#include <algorithm>
#include <cstring>

#include "platform/bitmap.h"

namespace platform {

std::vector<Strip> outlineStrips(std::int32_t left, std::int32_t top, std::int32_t right,
                                 std::int32_t bottom, int penWidth) {
    if (right <= left || bottom <= top) {
        return {};
    }
    const std::int32_t width = std::max(penWidth, 1);
    const std::int32_t before = width / 2;       // pixels before each line
    const std::int32_t after = (width - 1) / 2;  // pixels after it
    // The lines run through columns left and right - 1 and rows top and bottom - 1; each band
    // starts `before` pixels ahead of its line.
    const std::int32_t outerLeft = left - before;
    const std::int32_t outerTop = top - before;
    const std::int32_t outerWidth = (right - 1 + after) - outerLeft + 1;
    std::vector<Strip> strips;
    strips.reserve(4);
    // Top and bottom bands run the full width; the side bands fill the rows between them.
    strips.push_back({outerLeft, outerTop, outerWidth, width});
    const std::int32_t bottomBand = bottom - 1 - before;
    if (bottomBand > outerTop) {
        strips.push_back({outerLeft, bottomBand, outerWidth, width});
    }
    const std::int32_t sideTop = outerTop + width;
    const std::int32_t sideHeight = bottomBand - sideTop;
    if (sideHeight > 0) {
        strips.push_back({outerLeft, sideTop, width, sideHeight});
        const std::int32_t rightBand = right - 1 - before;
        if (rightBand > outerLeft) {
            strips.push_back({rightBand, sideTop, width, sideHeight});
        }
    }
    return strips;
}

RasterPaintContext::RasterPaintContext(std::int32_t width, std::int32_t height, std::uint8_t red,
                                       std::uint8_t green, std::uint8_t blue)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
    pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3);
    for (std::size_t at = 0; at < pixels_.size(); at += 3) {
        pixels_[at] = blue;
        pixels_[at + 1] = green;
        pixels_[at + 2] = red;
    }
}

void RasterPaintContext::drawBitmap(std::int32_t x, std::int32_t y, const Bitmap& bitmap) {
    const std::int32_t left = std::max(x, 0);
    const std::int32_t right = std::min(x + Bitmap::kWidth, width_);
    const std::int32_t top = std::max(y, 0);
    const std::int32_t bottom = std::min(y + Bitmap::kHeight, height_);
    if (left >= right || top >= bottom) {
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(right - left) * 3;
    const std::size_t stride = static_cast<std::size_t>(width_) * 3;
    for (std::int32_t row = top; row < bottom; ++row) {
        // The record holds the picture's bottom row first.
        const std::int32_t pictureRow = row - y;
        const std::uint8_t* from = bitmap.pixels() +
                                   (Bitmap::kHeight - 1 - pictureRow) * Bitmap::kRowBytes +
                                   static_cast<std::size_t>(left - x) * 3;
        std::memcpy(&pixels_[row * stride + static_cast<std::size_t>(left) * 3], from, bytes);
    }
}

void RasterPaintContext::drawRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                                       std::int32_t bottom, const Pen& pen) {
    const std::size_t stride = static_cast<std::size_t>(width_) * 3;
    for (const Strip& strip : outlineStrips(left, top, right, bottom, pen.width)) {
        const std::int32_t x0 = std::max(strip.x, 0);
        const std::int32_t x1 = std::min(strip.x + strip.width, width_);
        const std::int32_t y0 = std::max(strip.y, 0);
        const std::int32_t y1 = std::min(strip.y + strip.height, height_);
        for (std::int32_t row = y0; row < y1; ++row) {
            std::uint8_t* at = &pixels_[row * stride + static_cast<std::size_t>(x0) * 3];
            for (std::int32_t column = x0; column < x1; ++column, at += 3) {
                at[0] = pen.blue;
                at[1] = pen.green;
                at[2] = pen.red;
            }
        }
    }
}

std::uint32_t RasterPaintContext::pixel(std::int32_t x, std::int32_t y) const {
    const std::uint8_t* at =
        &pixels_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                  static_cast<std::size_t>(x)) *
                 3];
    return static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[1]) << 8 | at[0];
}

}  // namespace platform
