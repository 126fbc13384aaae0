#include "thumbs/thumb_document.h"

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace thumbs {

ThumbDocument::ThumbDocument(std::string path, std::string thumbnailDirectory, std::int32_t width,
                             std::int32_t height, platform::Window* mainWindow)
    : thumbnailDirectory_(thumbnailDirectory),
      sourcePath_(std::move(path)),
      cacheBase(std::move(thumbnailDirectory)),
      clientWidth(width),
      clientHeight(height),
      window(mainWindow) {
    cursorPen = Pen{255, 0, 0, 2};
    selectionPen = Pen{0, 0, 255, 2};
    videoHeader.biSize = sizeof(media::BITMAPINFOHEADER);
    thumbHeader.biSize = sizeof(media::BITMAPINFOHEADER);
    thumbHeader.biWidth = platform::Bitmap::kWidth;
    thumbHeader.biHeight = platform::Bitmap::kHeight;  // positive: bottom-up
    thumbHeader.biPlanes = 1;
    thumbHeader.biBitCount = 24;
    thumbHeader.biCompression = 0;  // BI_RGB
    thumbInfo.bmiHeader = thumbHeader;
}

ThumbDocument::~ThumbDocument() {
    stopRequested = true;
    // A running preload checks stopRequested before each frame, so the wait is short.
    waitForPreload();
    if (keepFiles_) {
        return;
    }
    reset();
}

void ThumbDocument::reset() {
    nextSaveNumber = 1;
    ready = false;
    sourcePath_.clear();
    columns = 0;
    topRow = 0;
    cursor = 0;
    selectionAnchor = -1;
    selectionEnd = -1;
    std::vector<Deletion>().swap(deletions);
    std::vector<MediaTime>().swap(frameStarts);
    std::vector<MediaTime>().swap(frameEnds);
    std::vector<std::uint32_t>().swap(frameRecords);
    createdBitmaps.clear();
    while (!frameBitmaps.empty()) {
        frameBitmaps.pop_back();
    }
    deleteCacheFiles();
}

void ThumbDocument::deleteCacheFiles() const {
    if (cacheBase == thumbnailDirectory_) {
        return;  // no files chosen yet
    }
    ::unlink(cacheFilePath().c_str());
    ::unlink(indexFilePath().c_str());
}

void ThumbDocument::appendFrame(MediaTime start, MediaTime end,
                                std::unique_ptr<platform::Bitmap> bitmap, std::uint32_t record) {
    frameStarts.push_back(start);
    frameEnds.push_back(end);
    frameBitmaps.push_back(std::move(bitmap));
    frameRecords.push_back(record);
}

void ThumbDocument::insertFrame(std::int32_t index, MediaTime start, MediaTime end,
                                std::uint32_t record) {
    const auto at = static_cast<std::ptrdiff_t>(
        std::min(static_cast<std::size_t>(std::max(index, 0)), frameStarts.size()));
    frameStarts.insert(frameStarts.begin() + at, start);
    frameEnds.insert(frameEnds.begin() + at, end);
    frameBitmaps.insert(frameBitmaps.begin() + at, nullptr);
    frameRecords.insert(frameRecords.begin() + at, record);
}

void ThumbDocument::removeFrame(std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= frameStarts.size()) {
        return;
    }
    if (platform::Bitmap* bitmap = frameBitmaps[index].get()) {
        createdBitmaps.remove(bitmap);
    }
    frameStarts.erase(frameStarts.begin() + index);
    frameEnds.erase(frameEnds.begin() + index);
    frameBitmaps.erase(frameBitmaps.begin() + index);
    frameRecords.erase(frameRecords.begin() + index);
}

void ThumbDocument::getRanges(MediaTime** ranges, std::int32_t* count) const {
    const std::size_t frames = frameStarts.size();
    if (frames == 0) {
        return;
    }
    std::vector<MediaTime> pairs;
    auto inRange = [frames](std::int32_t i) {
        return i >= 0 && static_cast<std::size_t>(i) < frames;
    };
    if (inRange(selectionAnchor) && inRange(selectionEnd)) {
        auto [lo, hi] = std::minmax(selectionAnchor, selectionEnd);
        pairs = {frameStarts[lo], frameEnds[hi]};
    } else {
        // Runs of frames that follow one another without a gap: removals make the gaps.
        MediaTime runStart = frameStarts[0];
        MediaTime runEnd = frameEnds[0];
        for (std::size_t i = 1; i < frames; ++i) {
            if (frameStarts[i] != runEnd) {
                pairs.push_back(runStart);
                pairs.push_back(runEnd);
                runStart = frameStarts[i];
            }
            runEnd = frameEnds[i];
        }
        pairs.push_back(runStart);
        pairs.push_back(runEnd);
    }
    // The array travels with the cut job, whose worker frees it with free().
    auto* array = static_cast<MediaTime*>(std::malloc(pairs.size() * sizeof(MediaTime)));
    if (!array) {
        return;
    }
    std::copy(pairs.begin(), pairs.end(), array);
    *ranges = array;
    *count = static_cast<std::int32_t>(pairs.size());
}

}  // namespace thumbs
