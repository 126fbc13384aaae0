#include "media/source_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "asf/data_packet.h"
#include "asf/guids.h"
#include "asf/media_time.h"
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
        return asf::fromMilliseconds(sample.durationMs);
    }
    const asf::Stream* s = stream(sample.stream);
    if (!s) {
        return 0;
    }
    const asf::StreamProperties& sp = s->properties;
    if (sp.audio && sp.audio->avgBytesPerSec > 0) {
        return static_cast<QWORD>(sample.data.size()) * asf::kTicksPerSecond /
               sp.audio->avgBytesPerSec;
    }
    // A frame shown for longer than this is not a frame rate but damage: taken as given, it
    // would stretch the file's end (and its index, one entry a second) without end.
    constexpr QWORD kLongestFrame = 60 * asf::kTicksPerSecond;
    if (sp.video && s->extended && s->extended->averageTimePerFrame <= kLongestFrame) {
        return s->extended->averageTimePerFrame;
    }
    return 0;
}

namespace {

// Encoders send most packets at most the preroll before their samples play; a few seconds more
// allow for those that stretch it.
constexpr std::uint64_t kSlackMs = 5000;
// More than any codec reorders its frames by.
constexpr std::uint64_t kReorderMs = 1000;

}  // namespace

QWORD SourceFile::samplesEnd() const {
    // How much further back a stream that ended before the others is looked for.
    constexpr std::uint64_t kEarlierEndMs = 120000;
    const asf::File& f = *file;
    const std::uint64_t windowMs = f.header().preroll() + kSlackMs;
    // Back from the last whole packet while packets were sent within the window of the last,
    // and further, up to kEarlierEndMs, while an audio or video stream has not been met: a
    // stream sent well ahead of the others, or shorter than them, ends in earlier packets.
    std::set<std::uint8_t> unmet;
    for (const asf::Stream& s : f.header().streams) {
        if (s.isAudio() || s.isVideo()) {
            unmet.insert(static_cast<std::uint8_t>(s.number));
        }
    }
    std::vector<std::uint8_t> buffer;
    std::vector<asf::Payload> payloads;
    std::uint64_t first = f.packetCount();
    std::uint64_t lastSend = 0, reference = 0;
    bool haveLast = false;
    while (first > 0) {
        asf::PacketInfo info;
        if (f.readPacket(first - 1, buffer) != asf::Status::Ok) {
            break;
        }
        // A damaged packet's send time says nothing: it is passed over (and its samples read
        // as far as they go), the window decided by the packets around it.
        if (asf::parsePacket(buffer.data(), buffer.size(), info, payloads) != asf::Status::Ok) {
            --first;
            continue;
        }
        if (!haveLast) {
            lastSend = reference = info.sendTime;
            haveLast = true;
        } else if (info.sendTime + windowMs < reference &&
                   (unmet.empty() || info.sendTime + windowMs + kEarlierEndMs < lastSend)) {
            break;
        }
        for (const asf::Payload& p : payloads) {
            // A stream met late ends here: the window before it holds the rest of its last
            // samples.
            if (unmet.erase(p.streamNumber) && info.sendTime + windowMs < reference) {
                reference = info.sendTime;
            }
        }
        --first;
    }
    asf::SampleReader reader(f);
    reader.seekToPacket(first);
    QWORD end = 0;
    // A sample without a duration still takes the container's 1 ms, so that a stretch ending
    // here holds it.
    for (asf::Sample sample; reader.next(sample);) {
        end = std::max(end, sampleTime(sample) +
                                std::max<QWORD>(sampleDuration(sample), asf::kTicksPerMillisecond));
    }
    return end;
}

std::uint64_t SourceFile::firstPacketFor(QWORD time, const std::set<std::uint8_t>& streams) const {
    constexpr std::uint64_t kBlockBytes = 64 * 1024;
    const asf::File& f = *file;
    const std::uint64_t preroll = f.header().preroll();
    const std::uint64_t playMs = asf::toMilliseconds(time) + preroll;
    const std::uint64_t windowMs = preroll + kSlackMs;
    if (playMs <= windowMs || f.packetSize() == 0) {
        return 0;
    }
    const std::uint64_t sentFrom = playMs - windowMs;
    std::vector<std::uint8_t> buffer;
    std::vector<asf::Payload> payloads;
    std::uint64_t low = 0, high = f.packetCount();
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        asf::PacketInfo info;
        if (f.readPacket(middle, buffer) != asf::Status::Ok ||
            asf::parsePacket(buffer.data(), buffer.size(), info, payloads) != asf::Status::Ok) {
            return 0;
        }
        if (info.sendTime < sentFrom) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }

    std::set<std::uint8_t> unsettled;
    for (std::uint8_t s : streams) {
        if (stream(s)) {
            unsettled.insert(s);
        }
    }
    const std::uint64_t settledBelow = playMs - kReorderMs;
    const std::uint64_t size = f.packetSize();
    const std::uint64_t perBlock = std::max<std::uint64_t>(kBlockBytes / size, 1);
    std::uint64_t first = low;
    for (std::uint64_t end = low; end > 0 && !unsettled.empty();) {
        const std::uint64_t count = std::min(perBlock, end);
        const std::uint64_t from = end - count;
        if (f.readPackets(from, count, buffer) != asf::Status::Ok) {
            return 0;
        }
        for (std::uint64_t n = end; n-- > from && !unsettled.empty();) {
            asf::PacketInfo info;
            if (asf::parsePacket(buffer.data() + (n - from) * size, size, info, payloads) !=
                asf::Status::Ok) {
                return 0;
            }
            for (auto p = payloads.rbegin(); p != payloads.rend(); ++p) {
                if (!unsettled.count(p->streamNumber)) {
                    continue;
                }
                // Timed as the sample assembler times it.
                const std::uint64_t plays =
                    p->hasTime ? p->presentationTime : info.sendTime + preroll;
                if (plays < settledBelow) {
                    unsettled.erase(p->streamNumber);
                } else {
                    first = n;
                }
            }
        }
        end = from;
    }
    return first;
}

HRESULT readCleanPoints(const std::u16string& path, WORD stream, QWORD from, QWORD until,
                        std::vector<QWORD>& times, QWORD past) {
    constexpr QWORD kReorder = asf::fromMilliseconds(kReorderMs);
    SourceFile source;
    HRESULT hr = openSourceFile(path, source);
    if (FAILED(hr)) {
        return hr;
    }
    const std::set<std::uint8_t> only = {static_cast<std::uint8_t>(stream)};
    asf::SampleReader reader(*source.file);
    reader.setStreamFilter(only);
    reader.seekToPacket(source.firstPacketFor(from, only));
    for (asf::Sample sample; reader.next(sample);) {
        if (sample.stream != stream) {
            continue;
        }
        const QWORD time = source.sampleTime(sample);
        if (past != UINT64_MAX && time > past && time - past > kReorder) {
            return S_FALSE;
        }
        if (!sample.cleanPoint) {
            continue;
        }
        times.push_back(time);
        if (time >= until) {
            return S_FALSE;
        }
    }
    return hresultFromStatus(reader.status());
}

HRESULT readSamplesEnd(const std::u16string& path, QWORD& end, bool* cutShort) {
    SourceFile source;
    HRESULT hr = openSourceFile(path, source);
    if (SUCCEEDED(hr)) {
        end = source.samplesEnd();
        if (cutShort) {
            *cutShort = source.file->truncated() && source.file->dataObject().sizeKnown;
        }
    }
    return hr;
}

QWORD lastStretchEnd(QWORD duration, QWORD samplesEnd, bool cutShort) {
    return cutShort && samplesEnd > 0 ? samplesEnd : std::max(duration, samplesEnd);
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

// No audio format carries more channels than this or samples faster; larger values are damage.
constexpr std::uint32_t kMaxAudioChannels = 64;
constexpr std::uint32_t kMaxSamplesPerSec = 1000000;
// The widest sample any audio format stores, in bytes: no stream, coded or not, averages more
// bytes a second than its samples would take at this width.
constexpr std::uint64_t kMaxBytesPerSample = 8;
constexpr std::size_t kWaveFormatSize = 18;

// The Windows Media audio formats FFmpeg's decoders start only with a format of their own limits.
constexpr std::uint16_t kWmaVoice = 0x000A;
constexpr std::uint16_t kWmaV1 = 0x0160;
constexpr std::uint16_t kWmaV2 = 0x0161;
constexpr std::uint16_t kWmaPro = 0x0162;
constexpr std::uint16_t kWmaLossless = 0x0163;

// Whether an audio format block describes a stream a decoder can start: every count and rate in
// range, the extra data it declares present, and what the Windows Media decoders read from it.
bool audioFormatUsable(const asf::WaveFormat& f, std::size_t blockSize) {
    if (f.channels == 0 || f.channels > kMaxAudioChannels || f.samplesPerSec == 0 ||
        f.samplesPerSec > kMaxSamplesPerSec || f.blockAlign == 0 ||
        f.bitsPerSample > kMaxBytesPerSample * 8 ||
        f.avgBytesPerSec > std::uint64_t{f.channels} * f.samplesPerSec * kMaxBytesPerSample) {
        return false;
    }
    if (blockSize >= kWaveFormatSize && f.cbSize > blockSize - kWaveFormatSize) {
        return false;
    }
    // Version 1 and 2 are stereo at most, up to 50 kHz, with a bit rate and the flags their
    // decoder reads from the extra data (4 and 6 bytes); the later ones need their 18 bytes of
    // set-up, the voice codec its 46.
    switch (f.formatTag) {
        case kWmaV1:
        case kWmaV2:
            return f.channels <= 2 && f.samplesPerSec <= 50000 && f.avgBytesPerSec > 0 &&
                   f.extra.size() >= (f.formatTag == kWmaV1 ? 4u : 6u);
        case kWmaPro:
        case kWmaLossless:
            return f.channels <= 8 && f.extra.size() >= 18;
        case kWmaVoice:
            return f.extra.size() >= 46;
        default:
            return true;
    }
}

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
// a format block of its kind, a usable audio format, and a picture of a sensible size. Other
// players refuse such files as well; a cut of one would only copy the damage.
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
        if (p.isAudio() && (!p.audio || !audioFormatUsable(*p.audio, p.typeSpecificData.size()))) {
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
