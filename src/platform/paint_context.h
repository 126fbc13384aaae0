#pragma once

// Painting the thumbnail grid: copying thumbnail bitmaps to the window and outlining cells.
//
// A PaintContext stands for the device context a window hands out while it paints. The window
// implements it over QPainter; RasterPaintContext paints into a picture in memory, so tests can
// check every pixel and benchmarks can time painting without a display.
//
// Outlines follow the rules of a solid pen around a rectangle with no fill: the rectangle's
// outline runs through the pixel columns left and right - 1 and the pixel rows top and
// bottom - 1, and a pen of width w covers, across each of those lines, the w pixels from
// line - w / 2 to line + (w - 1) / 2. A pen of width 2 around (x + 1, y + 1, x + 160, y + 120)
// therefore covers the two outermost pixel rings of the 160 x 120 cell at (x, y), and nothing
// outside it.

#include <cstdint>
#include <vector>

namespace platform {

class Bitmap;

// A solid pen.
struct Pen {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    int width = 1;
};

class PaintContext {
public:
    virtual ~PaintContext() = default;

    // Copies the bitmap's 160 x 120 pixels with its top-left corner at (x, y), clipped to the
    // painted area.
    virtual void drawBitmap(std::int32_t x, std::int32_t y, const Bitmap& bitmap) = 0;

    // Outlines the rectangle (left, top, right, bottom) with the pen, as described above.
    virtual void drawRectangle(std::int32_t left, std::int32_t top, std::int32_t right,
                               std::int32_t bottom, const Pen& pen) = 0;
};

// The filled strips (x, y, width, height) that outline a rectangle with a pen; both contexts
// paint exactly these.
struct Strip {
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
};
std::vector<Strip> outlineStrips(std::int32_t left, std::int32_t top, std::int32_t right,
                                 std::int32_t bottom, int penWidth);

// A picture in memory: width x height pixels at 24 bits, top row first, each pixel blue, green,
// red, rows packed without padding. It starts filled with the background colour.
class RasterPaintContext : public PaintContext {
public:
    RasterPaintContext(std::int32_t width, std::int32_t height, std::uint8_t red = 255,
                       std::uint8_t green = 255, std::uint8_t blue = 255);

    void drawBitmap(std::int32_t x, std::int32_t y, const Bitmap& bitmap) override;
    void drawRectangle(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       const Pen& pen) override;

    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    // The pixel at (x, y) as 0xRRGGBB.
    std::uint32_t pixel(std::int32_t x, std::int32_t y) const;
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

private:
    std::int32_t width_;
    std::int32_t height_;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace platform
