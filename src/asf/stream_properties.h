#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

// A FourCC code (first character in the lowest byte) from its first four characters.
constexpr uint32_t fourccCode(const char* text) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

// A FourCC code as four characters ("WMV3"); unprintable bytes become '?'.
std::string fourccText(uint32_t code);

// The audio format an audio stream declares (a WAVEFORMATEX).
struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t cbSize = 0;
    // The codec-specific bytes after the 18-byte structure (at most cbSize of them).
    std::vector<uint8_t> extra;
};

// The picture format a video stream declares: the encoded size, then a BITMAPINFOHEADER.
struct VideoFormat {
    uint32_t encodedWidth = 0;
    uint32_t encodedHeight = 0;
    uint8_t reservedFlags = 0;
    uint16_t formatDataSize = 0;
    uint32_t biSize = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;  // FourCC, first character in the lowest byte
    uint32_t sizeImage = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
    // The codec's extradata: the bytes after the 40-byte bitmap header.
    std::vector<uint8_t> extradata;

    std::string fourcc() const { return fourccText(compression); }
};

// Audio spread error correction: how an audio stream's objects are interleaved.
struct AudioSpread {
    uint8_t span = 0;
    uint16_t virtualPacketLength = 0;
    uint16_t virtualChunkLength = 0;
    uint16_t silenceDataLength = 0;
    std::vector<uint8_t> silenceData;

    // Whether objects of this stream are scrambled and the parameters allow undoing it: a span
    // above one, a chunk length that divides the virtual packet length at least twice.
    bool descrambles() const;
};

// A Stream Properties Object, top level or embedded in an Extended Stream Properties Object.
struct StreamProperties {
    static constexpr uint16_t kNumberMask = 0x7F;
    static constexpr uint16_t kEncrypted = 0x8000;

    Guid streamType;
    Guid errorCorrectionType;
    uint64_t timeOffset = 0;  // 100 ns
    uint16_t flags = 0;
    uint32_t reserved = 0;
    std::vector<uint8_t> typeSpecificData;
    std::vector<uint8_t> errorCorrectionData;

    // Parsed forms of the two blocks above, when the types call for them and they are long
    // enough. The raw blocks stay authoritative.
    std::optional<WaveFormat> audio;
    std::optional<VideoFormat> video;
    std::optional<AudioSpread> audioSpread;

    uint8_t number() const { return static_cast<uint8_t>(flags & kNumberMask); }
    bool encrypted() const { return (flags & kEncrypted) != 0; }
    bool isAudio() const;
    bool isVideo() const;

    // body: the object's bytes after its 24-byte object header. A stream number of zero is
    // Malformed; blocks running past the object are Truncated.
    Status parse(ByteReader& body);
};

}  // namespace asf
