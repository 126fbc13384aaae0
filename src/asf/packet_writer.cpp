#include "asf/packet_writer.h"

#include <algorithm>
#include <cstring>

namespace asf {
namespace {

// Error correction present, two bytes of error correction data (left zero).
constexpr uint8_t kErrorCorrectionFlags = 0x82;
constexpr size_t kErrorCorrectionSize = 3;
constexpr uint8_t kMultiplePayloads = 0x01;
// Padding length field widths as length type codes, in bits 3-4.
constexpr uint8_t kPaddingWord = 2 << 3;
constexpr uint8_t kPaddingDword = 3 << 3;
// Replicated data length a byte, offset a double word, object number a byte, stream a byte.
constexpr uint8_t kPropertyFlags = 0x5D;
// Payload length fields are words.
constexpr uint8_t kPayloadLengthWord = 0x80;
constexpr uint8_t kKeyFrameBit = 0x80;
constexpr size_t kReplicatedTimesSize = 8;
constexpr size_t kMaxReplicatedSize = 255;
// Stream, object number, offset and replicated data length.
constexpr size_t kPayloadFixedSize = 7;
constexpr size_t kPayloadLengthSize = 2;
constexpr size_t kMaxPayloadLength = 0xFFFF;

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

PacketWriter::PacketWriter(uint32_t packetSize, PacketSink& sink)
    : packetSize_(packetSize),
      sink_(sink),
      paddingFieldSize_(paddingFieldSize(packetSize)),
      packet_(packetSize, 0) {}

size_t PacketWriter::paddingFieldSize(uint32_t packetSize) {
    // A word holds any padding of a packet up to 64 KiB.
    return packetSize <= 0xFFFF ? 2 : 4;
}

size_t PacketWriter::headerSize(size_t paddingFieldSize, Mode mode) {
    // Error correction, length type and property flags, padding length, send time, duration,
    // and the payload flags of a packet with several payloads.
    return kErrorCorrectionSize + 2 + paddingFieldSize + 4 + 2 + (mode == Mode::Multiple ? 1 : 0);
}

bool PacketWriter::fits(uint32_t packetSize, size_t extensionSize) {
    const size_t replicated = kReplicatedTimesSize + extensionSize;
    return replicated <= kMaxReplicatedSize &&
           headerSize(paddingFieldSize(packetSize), Mode::Multiple) + kPayloadFixedSize +
                   replicated + kPayloadLengthSize <
               packetSize;
}

void PacketWriter::startPacket(Mode mode) {
    mode_ = mode;
    used_ = headerSize(mode);
    payloadCount_ = 0;
    sendTime_ = UINT32_MAX;
}

void PacketWriter::putPayload(const MediaObject& object, uint32_t offset, size_t length) {
    uint8_t* p = packet_.data() + used_;
    *p++ = static_cast<uint8_t>((object.stream & 0x7F) | (object.keyFrame ? kKeyFrameBit : 0));
    *p++ = objectNumbers_[object.stream & 0x7F];
    put32(p, offset);
    p += 4;
    *p++ = static_cast<uint8_t>(kReplicatedTimesSize + object.extensionData.size);
    put32(p, static_cast<uint32_t>(object.data.size));
    put32(p + 4, object.presentationTime);
    p += kReplicatedTimesSize;
    if (!object.extensionData.empty()) {
        std::memcpy(p, object.extensionData.data, object.extensionData.size);
        p += object.extensionData.size;
    }
    if (mode_ == Mode::Multiple) {
        put16(p, static_cast<uint16_t>(length));
        p += kPayloadLengthSize;
    }
    std::memcpy(p, object.data.data + offset, length);
    p += length;
    used_ = static_cast<size_t>(p - packet_.data());
    ++payloadCount_;
    sendTime_ = std::min(sendTime_, object.sendLimit);
}

bool PacketWriter::add(const MediaObject& object, Placement& placement) {
    if (object.data.empty() || !fits(packetSize_, object.extensionData.size)) {
        return false;
    }
    const size_t replicated = kReplicatedTimesSize + object.extensionData.size;
    size_t offset = 0;
    bool first = true;
    while (offset < object.data.size) {
        const size_t left = object.data.size - offset;
        if (mode_ == Mode::Empty) {
            const size_t alone =
                packetSize_ - headerSize(Mode::Single) - kPayloadFixedSize - replicated;
            startPacket(left >= alone ? Mode::Single : Mode::Multiple);
        }
        const size_t overhead =
            kPayloadFixedSize + replicated + (mode_ == Mode::Multiple ? kPayloadLengthSize : 0);
        if (mode_ == Mode::Single && payloadCount_ > 0) {
            if (!flush()) {
                return false;
            }
            continue;
        }
        if (mode_ == Mode::Multiple &&
            (payloadCount_ == kMaxPayloads || used_ + overhead >= packetSize_)) {
            if (!flush()) {
                return false;
            }
            continue;
        }
        size_t length = std::min(left, packetSize_ - used_ - overhead);
        if (mode_ == Mode::Multiple) {
            length = std::min<size_t>(length, kMaxPayloadLength);  // its length field is a word
        }
        if (first) {
            placement.firstPacket = packetCount();
            first = false;
        }
        putPayload(object, static_cast<uint32_t>(offset), length);
        offset += length;
        placement.packetCount = static_cast<uint32_t>(packetCount() - placement.firstPacket + 1);
    }
    ++objectNumbers_[object.stream & 0x7F];
    return true;
}

bool PacketWriter::flush() {
    if (mode_ == Mode::Empty) {
        return true;
    }
    const size_t padding = packetSize_ - used_;
    std::memset(packet_.data() + used_, 0, padding);
    uint8_t* p = packet_.data();
    p[0] = kErrorCorrectionFlags;
    p[1] = 0;
    p[2] = 0;
    p[3] = static_cast<uint8_t>((paddingFieldSize_ == 2 ? kPaddingWord : kPaddingDword) |
                                (mode_ == Mode::Multiple ? kMultiplePayloads : 0));
    p[4] = kPropertyFlags;
    p += 5;
    if (paddingFieldSize_ == 2) {
        put16(p, static_cast<uint16_t>(padding));
    } else {
        put32(p, static_cast<uint32_t>(padding));
    }
    p += paddingFieldSize_;
    put32(p, sendTime_);
    put16(p + 4, 0);  // duration: readers ignore it
    if (mode_ == Mode::Multiple) {
        p[6] = static_cast<uint8_t>(kPayloadLengthWord | payloadCount_);
    }
    sendTimes_.push_back(sendTime_);
    mode_ = Mode::Empty;
    return sink_.writePacket(packet_.data(), packet_.size());
}

bool PacketWriter::finish() {
    return flush();
}

void settleSendTimes(std::vector<uint32_t>& sendTimes) {
    uint32_t lowest = UINT32_MAX;
    for (size_t i = sendTimes.size(); i-- > 0;) {
        lowest = std::min(lowest, sendTimes[i]);
        sendTimes[i] = lowest;
    }
}

void scrambleAudioSpread(const AudioSpread& spread, std::vector<uint8_t>& data) {
    if (!spread.descrambles() || data.size() != size_t{spread.span} * spread.virtualPacketLength) {
        return;
    }
    // Descrambled chunk i is stored as chunk (i / span) + (i % span) * k, with k chunks per
    // virtual packet.
    const size_t chunk = spread.virtualChunkLength;
    const size_t perPacket = spread.virtualPacketLength / chunk;
    const size_t chunks = data.size() / chunk;
    std::vector<uint8_t> stored(data.size());
    for (size_t i = 0; i < chunks; ++i) {
        const size_t to = i / spread.span + (i % spread.span) * perPacket;
        std::memcpy(stored.data() + to * chunk, data.data() + i * chunk, chunk);
    }
    data.swap(stored);
}

}  // namespace asf
