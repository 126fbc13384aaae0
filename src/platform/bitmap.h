#pragma once

// Thumbnail bitmaps: 160 x 120 pictures at 24 bits, made from one thumbnail record.
//
// A record is 57600 bytes: 120 rows of 480 bytes, the first row being the bottom row of the
// picture, each pixel three bytes in blue, green, red order (the layout of a bottom-up
// device-independent bitmap; 480 is a multiple of 4, so rows carry no padding). A Bitmap keeps a
// copy of the record and shows it read-only; the window turns those pixels into whatever its
// toolkit paints.
//
// Bitmaps stand for a graphics system's picture handles, which are a limited resource: a
// process-wide quota caps how many exist at once, and creation fails while it is full. Callers
// are expected to give up old bitmaps then (the thumbnail view evicts its oldest) rather than to
// treat the failure as fatal.
//
// Threads: bitmaps may be created and destroyed on any thread; the quota is shared by all. One
// Bitmap's pixels never change, so any number of threads may read them once it is handed over.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

class Bitmap {
public:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 120;
    static constexpr std::size_t kRowBytes = 3 * kWidth;
    static constexpr std::size_t kRecordBytes = kRowBytes * kHeight;  // 57600

    // A bitmap holding a copy of the record's kRecordBytes bytes; null when the quota is full or
    // memory runs out.
    static std::unique_ptr<Bitmap> create(const std::uint8_t* record);

    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    // The record the bitmap was made from (kRecordBytes bytes, bottom row first, B G R).
    const std::uint8_t* pixels() const { return pixels_.get(); }

private:
    explicit Bitmap(std::unique_ptr<std::uint8_t[]> pixels);

    std::unique_ptr<std::uint8_t[]> pixels_;
};

// The quota is a count of bitmaps that may exist at once in the process. The default,
// kDefaultBitmapQuota, holds about 236 MB of pixels: many times what a window shows, so only
// documents with thousands of key frames reach it.
constexpr std::size_t kDefaultBitmapQuota = 4096;

// Sets the quota and returns the previous one. Lowering it below the number of live bitmaps
// destroys none; creation fails until enough of them are gone. Tests lower it to exercise the
// callers' eviction.
std::size_t setBitmapQuota(std::size_t count);

// The number of bitmaps alive now.
std::size_t liveBitmapCount();

}  // namespace platform
