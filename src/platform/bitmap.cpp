#include "platform/bitmap.h"

#include <cstring>
#include <mutex>
#include <new>

namespace platform {

namespace {

struct Quota {
    std::mutex lock;  // guards limit and live
    std::size_t limit = kDefaultBitmapQuota;
    std::size_t live = 0;
};

Quota& quota() {
    static Quota* q = new Quota;  // never destroyed: bitmaps may outlive static teardown
    return *q;
}

// Takes one place in the quota; false when it is full.
bool reservePlace() {
    Quota& q = quota();
    std::lock_guard<std::mutex> guard(q.lock);
    if (q.live >= q.limit) {
        return false;
    }
    ++q.live;
    return true;
}

void releasePlace() {
    Quota& q = quota();
    std::lock_guard<std::mutex> guard(q.lock);
    --q.live;
}

}  // namespace

std::unique_ptr<Bitmap> Bitmap::create(const std::uint8_t* record) {
    if (!record || !reservePlace()) {
        return nullptr;
    }
    try {
        std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[kRecordBytes]);
        std::memcpy(pixels.get(), record, kRecordBytes);
        // From here the bitmap gives its place back when it is destroyed.
        return std::unique_ptr<Bitmap>(new Bitmap(std::move(pixels)));
    } catch (const std::bad_alloc&) {
        releasePlace();
        return nullptr;
    }
}

Bitmap::Bitmap(std::unique_ptr<std::uint8_t[]> pixels) : pixels_(std::move(pixels)) {}

Bitmap::~Bitmap() {
    releasePlace();
}

std::size_t setBitmapQuota(std::size_t count) {
    Quota& q = quota();
    std::lock_guard<std::mutex> guard(q.lock);
    std::size_t previous = q.limit;
    q.limit = count;
    return previous;
}

std::size_t liveBitmapCount() {
    Quota& q = quota();
    std::lock_guard<std::mutex> guard(q.lock);
    return q.live;
}

}  // namespace platform
