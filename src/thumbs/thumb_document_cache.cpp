// The thumbnail index file, and bitmaps made from the cache file: all at once (loadBitmaps,
// possibly on a preload thread) or one by one while painting (loadBitmap).

#include <climits>
#include <fstream>
#include <iomanip>
#include <system_error>

#include "thumbs/cache_file.h"
#include "thumbs/thumb_document.h"

namespace thumbs {

namespace {

// The next whitespace-separated token as a decimal number of digits only, at most `max`. A sign,
// any other character, an overflow or the end of the file gives false.
bool readNumber(std::istream& in, std::uint64_t max, std::uint64_t& value) {
    constexpr int kLongest = 24;  // longer than any 64-bit value, even with leading zeros
    std::string token;
    if (!(in >> std::setw(kLongest) >> token) || token.size() >= kLongest) {
        return false;
    }
    value = 0;
    for (char c : token) {
        if (c < '0' || c > '9') {
            return false;
        }
        unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (max - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    return true;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

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

void ThumbDocument::writeIndexFile() const {
    // A file that cannot be written only costs the restore at the next start.
    std::ofstream out(indexFilePath(), std::ios::binary | std::ios::trunc);
    out << indexFileText();
}

bool ThumbDocument::loadIndexFile(const std::string& indexPath) {
    if (readIndexFile(indexPath)) {
        ready = true;
        return true;
    }
    // readIndexFile changes nothing until the whole file has passed. Point at the rejected pair,
    // so that destroying this document clears it away.
    if (endsWith(indexPath, kIndexFileSuffix)) {
        cacheBase = indexPath.substr(0, indexPath.size() - (sizeof kIndexFileSuffix - 1));
    }
    return false;
}

bool ThumbDocument::readIndexFile(const std::string& indexPath) {
    std::ifstream in(indexPath, std::ios::binary);
    std::string path;
    if (!in || !std::getline(in, path)) {
        return false;
    }
    if (!path.empty() && path.back() == '\r') {
        path.pop_back();
    }
    // The file must be the one extraction of this source writes, or this document would read
    // (and in the end delete) another document's cache files.
    const std::string name = fileNamePart(path);
    if (name.empty() || indexPath != cacheBase + name + kIndexFileSuffix) {
        return false;
    }
    std::uint64_t stream = 0, count = 0;
    if (!readNumber(in, 127, stream) || stream == 0 || !readNumber(in, INT32_MAX, count) ||
        count == 0) {
        return false;
    }
    // The tables grow only as values arrive: a count far beyond the file's values costs
    // nothing before it is found out.
    std::vector<MediaTime> starts, ends;
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i <= count; ++i) {
        if (!readNumber(in, UINT64_MAX, value)) {
            return false;
        }
        if (i > 0) {
            ends.push_back(value);
        }
        if (i < count) {
            starts.push_back(value);
        }
    }
    if (!(in >> std::ws).eof()) {
        return false;  // more than the count says
    }
    sourcePath_ = path;
    videoStream = static_cast<media::WORD>(stream);
    cacheBase += name;
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
