#pragma once

// The window's paint context: PaintContext over a QPainter, painting exactly the pixels
// RasterPaintContext paints for the same calls. The painter belongs to the caller (the window's
// paint event) and must outlive the context; use it on the painter's thread only.

#include <QImage>

#include "platform/paint_context.h"

class QPainter;

namespace platform {

class QtPaintContext : public PaintContext {
public:
    explicit QtPaintContext(QPainter& painter);

    void drawBitmap(std::int32_t x, std::int32_t y, const Bitmap& bitmap) override;
    void drawRectangle(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                       const Pen& pen) override;

private:
    QPainter& painter_;
    // One bitmap turned upright in a 32-bit format, which the raster engine copies row by row
    // onto the usual window and image formats. Reused for every bitmap of a paint.
    QImage upright_;
};

}  // namespace platform
