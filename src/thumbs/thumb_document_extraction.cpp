// Thumbnail extraction: key frames of the source's video stream through the synchronous reader,
// scaled into the cache file's records.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "asf/attribute.h"
#include "media/hresult.h"
#include "media/source_file.h"
#include "platform/files.h"
#include "platform/text.h"
#include "thumbs/cache_file.h"
#include "thumbs/thumb_document.h"

namespace thumbs {

using media::ComPtr;
using media::FAILED;
using media::HRESULT;
using media::SUCCEEDED;

namespace {

// Bytes per row of a bottom-up 24-bit picture: 3 per pixel, rounded up to a multiple of 4.
std::uint64_t strideOf(std::int32_t width) {
    return (3 * static_cast<std::uint64_t>(width) + 3) & ~std::uint64_t{3};
}

// The file's "Duration" attribute: its length in media time, preroll excluded.
HRESULT readDuration(media::IWMHeaderInfo* header, MediaTime& duration) {
    media::WORD stream = 0;
    media::WMT_ATTR_DATATYPE type = media::WMT_TYPE_QWORD;
    media::BYTE value[8] = {};
    media::WORD length = sizeof value;
    HRESULT hr = header->GetAttributeByName(&stream, u"Duration", &type, value, &length);
    if (SUCCEEDED(hr)) {
        duration = asf::littleEndian(value, std::min<std::size_t>(length, sizeof value));
    }
    return hr;
}

}  // namespace

void ThumbDocument::extract() {
    extractFrames(sourcePath_, window, backgroundOnly);
}

bool ThumbDocument::createCacheFile(CacheFile& cacheFile) {
    const std::string name = platform::fileNamePart(sourcePath_);
    for (int variant = 1; variant < 100000; ++variant) {
        const std::string base = thumbnailDirectory_ + cacheNameFor(name, variant);
        // A name is free when neither file exists: a document restored without its cache file
        // still holds its index file's name. The cache file is made exclusively, so it is this
        // document's alone and never a link planted under the name.
        struct stat info;
        if (::lstat((base + kIndexFileSuffix).c_str(), &info) == 0) {
            continue;
        }
        if (cacheFile.createNew(base + kCacheFileSuffix)) {
            cacheBase = base;
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

namespace {

// Why the last write failed: the disk full, a write error.
media::HRESULT writeFailure() {
    const media::HRESULT hr = media::hresultFromErrno(errno);
    return media::SUCCEEDED(hr) ? media::HRESULT_FROM_WIN32(media::ERROR_WRITE_FAULT) : hr;
}

}  // namespace

void ThumbDocument::extractFrames(std::string path, platform::Window* mainWindow, bool noBitmaps) {
    if (path.empty()) {
        return;
    }
    reset();
    sourcePath_ = path;
    loadResult = media::S_OK;
    sourceStamp = platform::fileStamp(path);

    ComPtr<media::IWMSyncReader> reader;
    ComPtr<media::IWMProfile> profile;
    ComPtr<media::IWMHeaderInfo> header;
    MediaTime duration = 0;
    HRESULT hr = media::WMCreateSyncReader(nullptr, 0, reader.put());
    if (SUCCEEDED(hr)) {
        hr = reader->Open(platform::utf8ToUtf16(path).c_str());
    }
    if (SUCCEEDED(hr)) {
        hr = reader.as(media::IID_IWMProfile, profile);
    }
    if (SUCCEEDED(hr)) {
        hr = reader.as(media::IID_IWMHeaderInfo, header);
    }
    if (SUCCEEDED(hr)) {
        hr = readDuration(header.get(), duration);
    }
    if (SUCCEEDED(hr) && !selectVideoStream(reader.get(), profile.get())) {
        hr = kNoVideo;
    }
    if (FAILED(hr)) {
        loadResult = hr;
        return;
    }

    CacheFile cacheFile;
    cacheBase = thumbnailDirectory_;
    if (!createCacheFile(cacheFile)) {
        loadResult = media::hresultFromErrno(errno);
        return;  // nowhere to keep the thumbnails
    }
    MediaTime start = 0;
    std::unique_ptr<platform::Bitmap> bitmap;
    hr = readFirstFrame(reader.get(), &start, mainWindow, bitmap, noBitmaps, cacheFile);
    if (FAILED(hr)) {
        // A video stream without a single key frame.
        loadResult = hr == media::NS_E_NO_MORE_SAMPLES ? kNoVideo : hr;
        return;
    }
    int reportedPercent = -1;
    // Frame k is record k: each stored sample becomes the next record and, once the next sample
    // (or the end) says where it ends, the next frame.
    for (std::uint32_t record = 0;; ++record) {
        // Between two frames the loader thread may be stopped (a document switch, a pause).
        platform::safePoint();
        if (abandonExtraction) {
            loadResult = media::E_ABORT;
            return;  // the files made so far go with the document
        }
        if (extractionProgress && duration > 0) {
            const int percent =
                static_cast<int>(std::min<MediaTime>(start, duration) * 100 / duration);
            if (percent != reportedPercent) {
                reportedPercent = percent;
                extractionProgress(percent);
            }
        }
        ComPtr<media::INSSBuffer> sample;
        MediaTime time = 0, sampleDuration = 0;
        media::DWORD flags = 0, output = 0;
        media::WORD stream = 0;
        if (FAILED(reader->GetNextSample(videoStream, sample.put(), &time, &sampleDuration, &flags,
                                         &output, &stream))) {
            // The last key frame's stretch runs to the end of the file, so that keeping its
            // thumbnail keeps the end of the video (see lastStretchEnd). A broadcast capture
            // that does not know its length still ends where its samples do.
            MediaTime samplesEnd = 0;
            bool cutShort = false;
            if (FAILED(media::readSamplesEnd(platform::utf8ToUtf16(path), samplesEnd, &cutShort))) {
                samplesEnd = 0;
            }
            appendFrame(start,
                        std::max(start, media::lastStretchEnd(duration, samplesEnd, cutShort)),
                        std::move(bitmap), record);
            break;
        }
        std::unique_ptr<platform::Bitmap> next;
        HRESULT stored = storeFrame(std::move(sample), mainWindow, next, noBitmaps, cacheFile);
        if (stored == kCacheNotWritten) {
            // A full or failing disk under thum/: a document whose thumbnails are not kept would
            // show blank cells and be gone at the next start.
            loadResult = writeFailure();
            return;
        }
        appendFrame(start, time, std::move(bitmap), record);
        if (FAILED(stored)) {
            break;
        }
        start = time;
        bitmap = std::move(next);
    }
    cacheFile.close();
    // Replaced or rewritten while it was read: the thumbnails are of two files, and an index
    // written after the change would pass for the new content's at the next start.
    if (!sourceStamp || !(platform::fileStamp(path) == sourceStamp)) {
        loadResult = kSourceChanged;
        return;
    }
    if (!writeIndexFile()) {
        loadResult = writeFailure();
        return;
    }
    ready = true;
}

bool ThumbDocument::selectVideoStream(media::IWMSyncReader* reader, media::IWMProfile* profile) {
    media::DWORD count = 0;
    if (FAILED(profile->GetStreamCount(&count))) {
        return false;
    }
    bool found = false;
    for (media::DWORD i = 0; i < count; ++i) {
        ComPtr<media::IWMStreamConfig> config;
        ComPtr<media::IWMMediaProps> props;
        media::WORD number = 0;
        media::GUID type{};
        media::DWORD size = 0;
        if (FAILED(profile->GetStream(i, config.put())) ||
            FAILED(config->GetStreamNumber(&number)) ||
            FAILED(config.as(media::IID_IWMMediaProps, props)) || FAILED(props->GetType(&type)) ||
            FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(media::WM_MEDIA_TYPE)) {
            return false;
        }
        // Held in 8-byte units: the structure holds pointers.
        std::vector<std::uint64_t> buffer((size + 7) / 8);
        auto* mediaType = reinterpret_cast<media::WM_MEDIA_TYPE*>(buffer.data());
        if (FAILED(props->GetMediaType(mediaType, &size))) {
            return false;
        }
        if (mediaType->majortype != media::WMMEDIATYPE_Video) {
            continue;
        }
        // The format block lies inside the buffer; its bitmap header follows two rectangles,
        // two rates and the average frame time.
        const auto* block = reinterpret_cast<const media::BYTE*>(mediaType->pbFormat);
        const auto* begin = reinterpret_cast<const media::BYTE*>(buffer.data());
        if (!block || mediaType->cbFormat < sizeof(media::WMVIDEOINFOHEADER) || block < begin ||
            static_cast<std::size_t>(block - begin) + sizeof(media::WMVIDEOINFOHEADER) > size) {
            return false;
        }
        media::BITMAPINFOHEADER bitmapHeader;
        std::memcpy(&bitmapHeader, block + offsetof(media::WMVIDEOINFOHEADER, bmiHeader),
                    sizeof bitmapHeader);
        videoHeader.biWidth = bitmapHeader.biWidth;
        videoHeader.biHeight = bitmapHeader.biHeight;
        videoStream = number;
        media::WMT_STREAM_SELECTION keyFramesOnly = media::WMT_CLEANPOINT_ONLY;
        if (FAILED(reader->SetStreamsSelected(1, &number, &keyFramesOnly))) {
            return false;
        }
        // Pictures at the thumbnail's size are decoded and scaled far faster than whole ones
        // and show the same pixels; a reader that cannot make them hands out whole pictures.
        const media::DWORD thumbSize =
            media::DWORD{platform::Bitmap::kWidth} << 16 | media::DWORD{platform::Bitmap::kHeight};
        const media::BYTE value[4] = {
            static_cast<media::BYTE>(thumbSize), static_cast<media::BYTE>(thumbSize >> 8),
            static_cast<media::BYTE>(thumbSize >> 16), static_cast<media::BYTE>(thumbSize >> 24)};
        const bool scaled = SUCCEEDED(reader->SetOutputSetting(
            i, media::g_wszPictureSize, media::WMT_TYPE_DWORD, value, sizeof value));
        pictureWidth = scaled ? platform::Bitmap::kWidth : 0;
        pictureHeight = scaled ? platform::Bitmap::kHeight : 0;
        found = true;  // a later video stream wins
    }
    return found;
}

HRESULT ThumbDocument::readFirstFrame(media::IWMSyncReader* reader, MediaTime* time,
                                      platform::Window* mainWindow,
                                      std::unique_ptr<platform::Bitmap>& bitmap, bool noBitmaps,
                                      CacheFile& cacheFile) {
    ComPtr<media::INSSBuffer> sample;
    MediaTime sampleDuration = 0;
    media::DWORD flags = 0, output = 0;
    media::WORD stream = 0;
    HRESULT hr = reader->GetNextSample(videoStream, sample.put(), time, &sampleDuration, &flags,
                                       &output, &stream);
    if (FAILED(hr)) {
        return hr;
    }
    return storeFrame(std::move(sample), mainWindow, bitmap, noBitmaps, cacheFile);
}

HRESULT ThumbDocument::storeFrame(ComPtr<media::INSSBuffer> sample, platform::Window*,
                                  std::unique_ptr<platform::Bitmap>& bitmap, bool noBitmaps,
                                  CacheFile& cacheFile) {
    media::BYTE* data = nullptr;
    media::DWORD length = 0;
    HRESULT hr = sample->GetBufferAndLength(&data, &length);
    if (FAILED(hr)) {
        return hr;
    }
    // The runtime's uncompressed video is bottom-up whatever the sign of the stream's height.
    const std::int32_t width = pictureWidth > 0 ? pictureWidth : videoHeader.biWidth;
    const std::int64_t height = pictureHeight > 0
                                    ? pictureHeight
                                    : std::abs(static_cast<std::int64_t>(videoHeader.biHeight));
    if (width <= 0 || height == 0 || height > INT32_MAX ||
        length < strideOf(width) * static_cast<std::uint64_t>(height)) {
        return media::ASF_E_BUFFERTOOSMALL;
    }
    std::vector<std::uint8_t> record(CacheFile::kRecordBytes);
    scaleFrame(data, record.data(), width, static_cast<std::int32_t>(height),
               platform::Bitmap::kWidth, platform::Bitmap::kHeight);
    sample.reset();
    // Bitmaps do not depend on a device context here, so the window is not needed to make one.
    if (!noBitmaps) {
        bitmap = platform::Bitmap::create(record.data());
        if (bitmap) {
            createdBitmaps.push_back(bitmap.get());
        }
    }
    return cacheFile.writeNext(record.data()) ? media::S_OK : kCacheNotWritten;
}

void ThumbDocument::scaleFrame(const std::uint8_t* source, std::uint8_t* destination,
                               std::int32_t sourceWidth, std::int32_t sourceHeight,
                               std::int32_t destinationWidth, std::int32_t destinationHeight) {
    const std::uint64_t stride = strideOf(sourceWidth);
    const double xStep = static_cast<double>(sourceWidth) / destinationWidth;
    const double yStep = static_cast<double>(sourceHeight) / destinationHeight;
    // The source column of each destination column is the same on every row.
    std::vector<std::uint64_t> columnOffset(static_cast<std::size_t>(destinationWidth));
    for (std::int32_t x = 0; x < destinationWidth; ++x) {
        columnOffset[x] = 3 * static_cast<std::uint64_t>(xStep * x);
    }
    std::uint8_t* out = destination;
    for (std::int32_t y = 0; y < destinationHeight; ++y) {
        const std::uint8_t* row = source + stride * static_cast<std::uint64_t>(yStep * y);
        for (std::int32_t x = 0; x < destinationWidth; ++x) {
            std::memcpy(out, row + columnOffset[x], 3);
            out += 3;
        }
    }
}

}  // namespace thumbs
