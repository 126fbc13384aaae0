#include "asf/stream_properties.h"

#include <algorithm>

#include "asf/guids.h"

namespace asf {
namespace {

constexpr size_t kWaveFormatSize = 18;
// The smallest audio format block players accept: a WAVEFORMAT without cbSize.
constexpr size_t kShortWaveFormatSize = 16;
constexpr size_t kVideoHeaderSize = 11;
constexpr size_t kBitmapHeaderSize = 40;
constexpr size_t kAudioSpreadSize = 7;

std::optional<WaveFormat> parseWaveFormat(const std::vector<uint8_t>& block) {
    if (block.size() < kShortWaveFormatSize) {
        return std::nullopt;
    }
    ByteReader r(block.data(), block.size());
    WaveFormat f;
    f.formatTag = r.readU16();
    f.channels = r.readU16();
    f.samplesPerSec = r.readU32();
    f.avgBytesPerSec = r.readU32();
    f.blockAlign = r.readU16();
    f.bitsPerSample = r.readU16();
    if (block.size() >= kWaveFormatSize) {
        f.cbSize = r.readU16();
        f.extra = r.readBytes(std::min<size_t>(f.cbSize, r.remaining()));
    }
    return f;
}

std::optional<VideoFormat> parseVideoFormat(const std::vector<uint8_t>& block) {
    if (block.size() < kVideoHeaderSize + kBitmapHeaderSize) {
        return std::nullopt;
    }
    ByteReader r(block.data(), block.size());
    VideoFormat f;
    f.encodedWidth = r.readU32();
    f.encodedHeight = r.readU32();
    f.reservedFlags = r.readU8();
    f.formatDataSize = r.readU16();
    f.biSize = r.readU32();
    f.width = static_cast<int32_t>(r.readU32());
    f.height = static_cast<int32_t>(r.readU32());
    f.planes = r.readU16();
    f.bitCount = r.readU16();
    f.compression = r.readU32();
    f.sizeImage = r.readU32();
    f.xPelsPerMeter = static_cast<int32_t>(r.readU32());
    f.yPelsPerMeter = static_cast<int32_t>(r.readU32());
    f.clrUsed = r.readU32();
    f.clrImportant = r.readU32();
    // Writers disagree on which of the two sizes counts the extradata; the larger one, limited
    // to the bytes present, loses nothing.
    const size_t declared = std::max<size_t>(f.biSize, f.formatDataSize);
    if (declared > kBitmapHeaderSize) {
        f.extradata = r.readBytes(std::min(declared - kBitmapHeaderSize, r.remaining()));
    }
    return f;
}

std::optional<AudioSpread> parseAudioSpread(const std::vector<uint8_t>& block) {
    if (block.size() < kAudioSpreadSize) {
        return std::nullopt;
    }
    ByteReader r(block.data(), block.size());
    AudioSpread s;
    s.span = r.readU8();
    s.virtualPacketLength = r.readU16();
    s.virtualChunkLength = r.readU16();
    s.silenceDataLength = r.readU16();
    s.silenceData = r.readBytes(std::min<size_t>(s.silenceDataLength, r.remaining()));
    return s;
}

}  // namespace

std::string fourccText(uint32_t code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

bool AudioSpread::descrambles() const {
    return span > 1 && virtualChunkLength != 0 && virtualPacketLength / virtualChunkLength > 1 &&
           virtualPacketLength % virtualChunkLength == 0;
}

bool StreamProperties::isAudio() const {
    return streamType == kStreamTypeAudio;
}

bool StreamProperties::isVideo() const {
    return streamType == kStreamTypeVideo;
}

Status StreamProperties::parse(ByteReader& body) {
    streamType = body.readGuid();
    errorCorrectionType = body.readGuid();
    timeOffset = body.readU64();
    const uint32_t typeSpecificLength = body.readU32();
    const uint32_t errorCorrectionLength = body.readU32();
    flags = body.readU16();
    reserved = body.readU32();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (typeSpecificLength > body.remaining() ||
        errorCorrectionLength > body.remaining() - typeSpecificLength) {
        return Status::Truncated;
    }
    typeSpecificData = body.readBytes(typeSpecificLength);
    errorCorrectionData = body.readBytes(errorCorrectionLength);
    if (number() == 0) {
        return Status::Malformed;
    }
    audio.reset();
    video.reset();
    audioSpread.reset();
    if (isAudio()) {
        audio = parseWaveFormat(typeSpecificData);
    } else if (isVideo()) {
        video = parseVideoFormat(typeSpecificData);
    }
    if (errorCorrectionType == kAudioSpread) {
        audioSpread = parseAudioSpread(errorCorrectionData);
    }
    return Status::Ok;
}

}  // namespace asf
