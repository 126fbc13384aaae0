// The thumbnail index file, and bitmaps made from the cache file: all at once (loadBitmaps,
// possibly on a preload thread) or one by one while painting (loadBitmap).

#include <climits>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/files.h"
#include "platform/own_files.h"
#include "thumbs/cache_file.h"
#include "thumbs/thumb_document.h"

namespace thumbs {

namespace {

// The largest index file believed: 20 digits and a line end for each of tens of millions of key
// frames. A file that is larger (or grows without end) is not read on.
constexpr std::size_t kMaxIndexFileBytes = 512u << 20;

// Room kept beside a cache name for the longest suffix ("-thum.txt") and a variant ("-99999").
constexpr std::size_t kCacheNameRoom = sizeof ThumbDocument::kIndexFileSuffix - 1 + 6;

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Cuts the next line off `rest`; it must end in CR LF, which is not kept.
bool takeLine(std::string_view& rest, std::string_view& line) {
    std::size_t end = rest.find("\r\n");
    if (end == std::string_view::npos) {
        return false;
    }
    line = rest.substr(0, end);
    rest.remove_prefix(end + 2);
    return true;
}

// The next line as a decimal number of digits only, at most `max`.
bool takeNumberLine(std::string_view& rest, std::uint64_t max, std::uint64_t& value) {
    std::string_view line;
    if (!takeLine(rest, line) || line.empty()) {
        return false;
    }
    value = 0;
    for (char c : line) {
        unsigned digit = static_cast<unsigned char>(c) - '0';
        if (digit > 9 || value > (max - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return true;
}

}  // namespace

std::string ThumbDocument::cacheNameFor(const std::string& sourceName, int variant) {
    std::string name = platform::fittedFileName(sourceName, kCacheNameRoom);
    return variant > 1 ? name + "-" + std::to_string(variant) : name;
}

bool ThumbDocument::isCacheNameOf(const std::string& name, const std::string& sourceName) {
    // The source's own name (as every earlier run named the first holder, however long), its
    // shortened form, either of them with a variant number of 2 or more.
    const std::string fitted = platform::fittedFileName(sourceName, kCacheNameRoom);
    if (name == sourceName || name == fitted) {
        return true;
    }
    std::size_t dash = name.rfind('-');
    if (dash == std::string::npos || dash + 1 == name.size() || name[dash + 1] == '0' ||
        name.find_first_not_of("0123456789", dash + 1) != std::string::npos ||
        name.size() - dash > 7) {
        return false;
    }
    const std::string stem = name.substr(0, dash);
    return (stem == sourceName || stem == fitted) && std::stoi(name.substr(dash + 1)) >= 2;
}

std::string ThumbDocument::indexFileText() const {
    const char* crlf = "\r\n";
    std::string text = sourcePath_ + crlf + std::to_string(videoStream) + crlf +
                       std::to_string(frameStarts.size()) + crlf;
    for (MediaTime start : frameStarts) {
        text += std::to_string(start) + crlf;
    }
    text += std::to_string(frameEnds.empty() ? 0 : frameEnds.back()) + crlf;
    return text;
}

bool ThumbDocument::writeIndexFile() const {
    // Written whole or not at all.
    return platform::replaceFileWith(indexFilePath(), indexFileText());
}

bool ThumbDocument::loadIndexFile(const std::string& indexPath) {
    if (readIndexFile(indexPath)) {
        ready = true;
        return true;
    }
    // readIndexFile changes nothing until the whole file has passed. The rejected pair is set
    // aside, not deleted: it may be all that is left of something.
    if (endsWith(indexPath, kIndexFileSuffix)) {
        const std::string base =
            indexPath.substr(0, indexPath.size() - (sizeof kIndexFileSuffix - 1));
        platform::setAside(indexPath, kRejectedTag);
        if (platform::isRegularFile(base + kCacheFileSuffix)) {
            platform::setAside(base + kCacheFileSuffix, kRejectedTag);
        }
    }
    return false;
}

bool ThumbDocument::readIndexFile(const std::string& indexPath) {
    // The file must lie in this document's thumbnail directory under one of the names
    // extraction gives this source's files, or this document would read (and in the end
    // delete) another document's cache files.
    if (indexPath.compare(0, thumbnailDirectory_.size(), thumbnailDirectory_) != 0 ||
        !endsWith(indexPath, kIndexFileSuffix)) {
        return false;
    }
    const std::string base =
        indexPath.substr(thumbnailDirectory_.size(), indexPath.size() - thumbnailDirectory_.size() -
                                                         (sizeof kIndexFileSuffix - 1));
    std::optional<std::string> content = platform::readRegularFile(indexPath, kMaxIndexFileBytes);
    if (!content) {
        return false;
    }
    std::string_view rest = *content;
    std::string_view pathLine;
    if (!takeLine(rest, pathLine)) {
        return false;
    }
    const std::string path(pathLine);
    const std::string name = platform::fileNamePart(path);
    if (name.empty() || base.find('/') != std::string::npos || !isCacheNameOf(base, name)) {
        return false;
    }
    std::uint64_t stream = 0, count = 0;
    if (!takeNumberLine(rest, 127, stream) || stream == 0 ||
        !takeNumberLine(rest, INT32_MAX, count) || count == 0 || count > rest.size() / 3) {
        return false;
    }
    // Every line ends in CR LF, the last one included; start times never go backwards and the
    // last frame does not end before it starts.
    std::vector<MediaTime> starts, ends;
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i <= count; ++i) {
        if (!takeNumberLine(rest, UINT64_MAX, value) ||
            (!starts.empty() && value < starts.back())) {
            return false;
        }
        if (i > 0) {
            ends.push_back(value);
        }
        if (i < count) {
            starts.push_back(value);
        }
    }
    if (!rest.empty()) {
        return false;  // more than the count says
    }
    sourcePath_ = path;
    videoStream = static_cast<media::WORD>(stream);
    cacheBase = thumbnailDirectory_ + base;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        appendFrame(starts[i], ends[i], nullptr, static_cast<std::uint32_t>(i));
    }
    return true;
}

bool ThumbDocument::loadBitmaps(bool resume) {
    preloadRunning = true;
    bool result = loadMissingBitmaps();
    if (resume) {
        platform::resumeThreadById(resumeThreadA);
        platform::resumeThreadById(resumeThreadB);
    }
    preloadRunning = false;  // the last touch of the document
    return result;
}

bool ThumbDocument::loadMissingBitmaps() {
    CacheFile cacheFile;
    std::vector<std::uint8_t> record(CacheFile::kRecordBytes);
    for (std::size_t i = 0; i < frameBitmaps.size(); ++i) {
        if (stopRequested) {
            return false;
        }
        if (frameBitmaps[i]) {
            continue;
        }
        if (!cacheFile.isOpen() && !cacheFile.openForReading(cacheFilePath())) {
            return false;
        }
        if (!cacheFile.read(frameRecords[i], record.data())) {
            return false;
        }
        std::unique_ptr<platform::Bitmap> bitmap = platform::Bitmap::create(record.data());
        if (!bitmap) {
            return false;
        }
        keepBitmap(i, std::move(bitmap));
    }
    return true;
}

void preloadThreadMain(ThumbDocument* document) {
    document->loadBitmaps(true);
}

void ThumbDocument::startPreload(platform::ThreadId threadA, platform::ThreadId threadB) {
    waitForPreload();
    resumeThreadA = threadA;
    resumeThreadB = threadB;
    // Set before the thread exists, so that a destructor running before the thread gets going
    // still waits for it.
    preloadRunning = true;
    try {
        preloadThread = platform::Thread([this] { preloadThreadMain(this); });
        preloadThreadId = preloadThread.id();
    } catch (const std::system_error&) {
        // No thread: do what a preload that failed at once would have done.
        preloadRunning = false;
        platform::resumeThreadById(resumeThreadA);
        platform::resumeThreadById(resumeThreadB);
    }
}

void ThumbDocument::waitForPreload() {
    preloadThread.join();
}

void ThumbDocument::loadBitmap(platform::Window*, std::int32_t index, const CacheFile& cacheFile) {
    if (!cacheFile.isOpen() || index < 0 ||
        static_cast<std::size_t>(index) >= frameBitmaps.size() || frameBitmaps[index]) {
        return;
    }
    std::vector<std::uint8_t> record(CacheFile::kRecordBytes);
    if (!cacheFile.read(frameRecords[index], record.data())) {
        return;
    }
    std::unique_ptr<platform::Bitmap> bitmap = platform::Bitmap::create(record.data());
    if (!bitmap && !createdBitmaps.empty()) {
        // The quota is full: this document's oldest bitmap makes room.
        evictOldestBitmap();
        bitmap = platform::Bitmap::create(record.data());
    }
    if (bitmap) {
        keepBitmap(static_cast<std::size_t>(index), std::move(bitmap));
    }
}

void ThumbDocument::keepBitmap(std::size_t slot, std::unique_ptr<platform::Bitmap> bitmap) {
    createdBitmaps.push_back(bitmap.get());
    frameBitmaps[slot] = std::move(bitmap);
}

void ThumbDocument::releaseBitmaps() {
    createdBitmaps.clear();
    for (std::unique_ptr<platform::Bitmap>& slot : frameBitmaps) {
        slot.reset();
    }
}

void ThumbDocument::evictOldestBitmap() {
    platform::Bitmap* oldest = createdBitmaps.front();
    createdBitmaps.pop_front();
    for (std::unique_ptr<platform::Bitmap>& slot : frameBitmaps) {
        if (slot.get() == oldest) {
            slot.reset();
            break;
        }
    }
}

}  // namespace thumbs
