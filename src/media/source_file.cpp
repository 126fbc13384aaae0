#include "media/source_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "asf/data_packet.h"
#include "asf/guids.h"
#include "asf/sample_reader.h"
#include "media/source_info.h"
#include "platform/text.h"

namespace media {

const asf::Stream* SourceFile::stream(WORD number) const {
    return file ? file->header().findStream(number) : nullptr;
}

QWORD SourceFile::sampleTime(const asf::Sample& sample) const {
    return mediaTime(sample.presentationTimeMs, file->header().preroll());
}

QWORD SourceFile::sampleDuration(const asf::Sample& sample) const {
    if (sample.durationMs > 0) {
        return static_cast<QWORD>(sample.durationMs) * 10000;
    }
    const asf::Stream* s = stream(sample.stream);
    if (!s) {
        return 0;
    }
    const asf::StreamProperties& sp = s->properties;
    if (sp.audio && sp.audio->avgBytesPerSec > 0) {
        return static_cast<QWORD>(sample.data.size()) * 10000000 / sp.audio->avgBytesPerSec;
    }
    if (sp.video && s->extended) {
        return s->extended->averageTimePerFrame;
    }
    return 0;
}

QWORD SourceFile::samplesEnd() const {
    constexpr std::uint64_t kSlackMs = 5000;
    const asf::File& f = *file;
    const std::uint64_t windowMs = f.header().preroll() + kSlackMs;
    // Back from the last whole packet while packets were sent within the window of the last.
    std::vector<std::uint8_t> buffer;
    std::vector<asf::Payload> payloads;
    std::uint64_t first = f.packetCount();
    std::uint64_t lastSend = 0;
    bool haveLast = false;
    while (first > 0) {
        asf::PacketInfo info;
        if (f.readPacket(first - 1, buffer) != asf::Status::Ok) {
            break;
        }
        asf::parsePacket(buffer.data(), buffer.size(), info, payloads);
        if (!haveLast) {
            lastSend = info.sendTime;
            haveLast = true;
        } else if (info.sendTime + windowMs < lastSend) {
            break;
        }
        --first;
    }
    asf::SampleReader reader(f);
    reader.seekToPacket(first);
    QWORD end = 0;
    for (asf::Sample sample; reader.next(sample);) {
        end = std::max(end, sampleTime(sample) + sampleDuration(sample));
    }
    return end;
}

HRESULT readSamplesEnd(const std::u16string& path, QWORD& end) {
    SourceFile source;
    HRESULT hr = openSourceFile(path, source);
    if (SUCCEEDED(hr)) {
        end = source.samplesEnd();
    }
    return hr;
}

HRESULT hresultFromStatus(asf::Status status) {
    switch (status) {
        case asf::Status::Ok:
            return S_OK;
        case asf::Status::NotAsf:
            return ASF_E_NOHEADEROBJECT;
        case asf::Status::Truncated:
            return ASF_E_NODATAOBJECT;
        case asf::Status::Malformed:
            return ASF_E_INVALIDHEADER;
        case asf::Status::Protected:
            return NS_E_DRM_NO_RIGHTS;
        case asf::Status::Unsupported:
            return ASF_E_UNKNOWNPACKETSIZE;
        case asf::Status::IoError:
            return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    }
    return E_FAIL;
}

namespace {

// Pictures wider or taller than this are damage, not video.
constexpr std::int64_t kMaxPictureSide = 16384;

// The 11 bytes before a video stream's bitmap header.
constexpr std::size_t kVideoHeaderSize = 11;

bool knownStreamType(const asf::Guid& type) {
    for (const asf::Guid& g :
         {asf::kStreamTypeAudio, asf::kStreamTypeVideo, asf::kStreamTypeCommand,
          asf::kStreamTypeJfif, asf::kStreamTypeDegradableJpeg, asf::kStreamTypeFileTransfer,
          asf::kStreamTypeBinary}) {
        if (type == g) {
            return true;
        }
    }
    return false;
}

// Whether every audio and video stream describes its format well enough for a decoder to start:
// a format block of its kind, and a picture of a sensible size. Other players refuse such
// files as well; a cut of one would only copy the damage.
bool formatsUsable(const asf::Header& header) {
    for (const asf::Stream& s : header.streams) {
        const asf::StreamProperties& p = s.properties;
        // A stream of no known type or error correction is damage; its properties would be copied
        // as they are.
        if (!knownStreamType(p.streamType) ||
            (p.errorCorrectionType != asf::kNoErrorCorrection &&
             p.errorCorrectionType != asf::kAudioSpread &&
             p.errorCorrectionType != asf::kLegacyErrorConcealment)) {
            return false;
        }
        if (p.isAudio() && !p.audio) {
            return false;
        }
        if (p.isVideo()) {
            if (!p.video) {
                return false;
            }
            const std::int64_t width = p.video->width;
            const std::int64_t height = p.video->height < 0 ? -std::int64_t{p.video->height}
                                                            : std::int64_t{p.video->height};
            if (width <= 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
                return false;
            }
            // A bitmap header claiming more bytes than its format block holds.
            if (p.video->biSize > p.typeSpecificData.size() - kVideoHeaderSize) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

HRESULT openSourceFile(const std::u16string& path, SourceFile& out) {
    std::string narrow = platform::utf16ToUtf8(path);
    struct stat st;
    if (::stat(narrow.c_str(), &st) != 0) {
        return hresultFromErrno(errno, ERROR_READ_FAULT);
    }
    if (S_ISDIR(st.st_mode)) {
        return E_ACCESSDENIED;
    }
    auto file = std::make_unique<asf::File>();
    HRESULT hr = hresultFromStatus(file->open(narrow));
    if (FAILED(hr)) {
        return hr;
    }
    if (file->header().isProtected) {
        return NS_E_DRM_NO_RIGHTS;
    }
    if (!formatsUsable(file->header())) {
        return ASF_E_BADMEDIATYPE;
    }
    out.profile = buildProfile(*file);
    out.header = buildHeaderData(*file);
    out.file = std::move(file);
    return S_OK;
}

}  // namespace media
