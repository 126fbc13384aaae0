#include "asf/data_packet.h"

namespace asf {
namespace {

// Bits of the first byte when an error correction part is present.
constexpr uint8_t kErrorCorrectionPresent = 0x80;
constexpr uint8_t kErrorCorrectionLengthTypeMask = 0x60;
constexpr uint8_t kErrorCorrectionDataLengthMask = 0x0F;
// Length type flags.
constexpr uint8_t kMultiplePayloads = 0x01;
// Payload flags of multiple-payload packets.
constexpr uint8_t kPayloadCountMask = 0x3F;
// Stream number byte of a payload.
constexpr uint32_t kKeyFrameBit = 0x80;
constexpr uint32_t kStreamNumberMask = 0x7F;
constexpr size_t kReplicatedTimesSize = 8;

// Object numbers of sub-payloads count on within the width of the field they came from.
uint32_t objectNumberMask(unsigned sizeCode) {
    switch (sizeCode & 3) {
        case 1:
            return 0xFF;
        case 2:
            return 0xFFFF;
        default:
            return 0xFFFFFFFF;
    }
}

class PacketParser {
public:
    PacketParser(const uint8_t* data, size_t size, PacketInfo& info, std::vector<Payload>& payloads)
        : r_(data, size), size_(size), info_(info), payloads_(payloads) {}

    Status parse();

private:
    Status parseParsingInformation();
    Status parsePayload();
    Status expandCompressed(const Payload& header, ByteSpan data);

    ByteReader r_;
    size_t size_;
    PacketInfo& info_;
    std::vector<Payload>& payloads_;
};

Status PacketParser::parse() {
    const Status s = parseParsingInformation();
    if (s != Status::Ok) {
        return s;
    }
    if (!info_.multiplePayloads) {
        return parsePayload();
    }
    info_.payloadFlags = r_.readU8();
    info_.headerSize = r_.position();
    const unsigned count = info_.payloadFlags & kPayloadCountMask;
    if (!r_.ok() || info_.headerSize > info_.payloadEnd) {
        return Status::Malformed;
    }
    if (count == 0) {
        return Status::Malformed;
    }
    for (unsigned i = 0; i < count; ++i) {
        const Status ps = parsePayload();
        if (ps != Status::Ok) {
            return ps;
        }
    }
    return Status::Ok;
}

Status PacketParser::parseParsingInformation() {
    uint8_t first = r_.readU8();
    if (first & kErrorCorrectionPresent) {
        info_.errorCorrectionPresent = true;
        info_.errorCorrectionFlags = first;
        // Only the plain form (data length in the low nibble) is defined.
        if (first & kErrorCorrectionLengthTypeMask) {
            return Status::Malformed;
        }
        info_.errorCorrectionData = r_.readSpan(first & kErrorCorrectionDataLengthMask);
        first = r_.readU8();
    }
    info_.lengthTypeFlags = first;
    info_.propertyFlags = r_.readU8();
    info_.multiplePayloads = (first & kMultiplePayloads) != 0;
    const unsigned packetLengthType = (first >> 5) & 3;
    info_.packetLength = r_.readSized(packetLengthType);
    info_.sequence = r_.readSized((first >> 1) & 3);
    info_.paddingLength = r_.readSized((first >> 3) & 3);
    info_.sendTime = r_.readU32();
    info_.duration = r_.readU16();
    if (!r_.ok()) {
        return Status::Truncated;
    }
    if (packetLengthType == 0) {
        info_.packetLength = static_cast<uint32_t>(size_);
    }
    // A packet length below the packet size leaves the rest as padding.
    if (info_.packetLength > size_ || info_.paddingLength >= info_.packetLength) {
        return Status::Malformed;
    }
    info_.headerSize = r_.position();
    info_.payloadEnd = info_.packetLength - info_.paddingLength;
    if (info_.headerSize > info_.payloadEnd) {
        return Status::Malformed;
    }
    return Status::Ok;
}

Status PacketParser::parsePayload() {
    const uint8_t flags = info_.propertyFlags;
    Payload p;
    const uint32_t streamField = r_.readSized(flags >> 6);
    p.streamNumber = static_cast<uint8_t>(streamField & kStreamNumberMask);
    p.keyFrame = (streamField & kKeyFrameBit) != 0;
    p.objectNumber = r_.readSized(flags >> 4);
    p.offset = r_.readSized(flags >> 2);
    const uint32_t replicatedLength = r_.readSized(flags);
    p.replicatedData = r_.readSpan(replicatedLength);

    size_t length = 0;
    if (info_.multiplePayloads) {
        const unsigned lengthType = info_.payloadFlags >> 6;
        length = r_.readSized(lengthType);
        // Without a length field the payload runs to the end of the payload data.
        if (lengthType == 0 && r_.position() <= info_.payloadEnd) {
            length = info_.payloadEnd - r_.position();
        }
    } else if (r_.position() <= info_.payloadEnd) {
        length = info_.payloadEnd - r_.position();
    }
    if (!r_.ok() || r_.position() > info_.payloadEnd || length > info_.payloadEnd - r_.position()) {
        return Status::Malformed;
    }
    const ByteSpan data = r_.readSpan(length);

    if (replicatedLength == 1) {
        return expandCompressed(p, data);
    }
    if (replicatedLength == 0) {
        p.hasTime = false;
        p.objectSize = static_cast<uint32_t>(length);
    } else if (replicatedLength >= kReplicatedTimesSize) {
        ByteReader rep(p.replicatedData);
        p.objectSize = rep.readU32();
        p.presentationTime = rep.readU32();
        p.extensionData = rep.readSpan(rep.remaining());
    } else {
        // Two to seven replicated bytes mean nothing; the payload is skipped.
        return Status::Ok;
    }
    p.data = data;
    payloads_.push_back(p);
    return Status::Ok;
}

Status PacketParser::expandCompressed(const Payload& header, ByteSpan data) {
    // The offset field holds the first sub-payload's presentation time.
    const uint32_t baseTime = header.offset;
    const uint8_t delta = header.replicatedData.data[0];
    const uint32_t mask = objectNumberMask(info_.propertyFlags >> 4);
    ByteReader sub(data);
    for (unsigned k = 0; !sub.atEnd(); ++k) {
        const uint8_t length = sub.readU8();
        const ByteSpan bytes = sub.readSpan(length);
        if (!sub.ok()) {
            return Status::Malformed;
        }
        if (length == 0) {
            continue;  // carries nothing, but still takes its place in time
        }
        Payload p;
        p.streamNumber = header.streamNumber;
        p.keyFrame = header.keyFrame;
        p.objectNumber = (header.objectNumber + k) & mask;
        p.offset = 0;
        p.objectSize = length;
        p.presentationTime = baseTime + k * delta;
        p.data = bytes;
        p.compressed = true;
        p.timeDelta = delta;
        p.subPayloadIndex = static_cast<uint16_t>(k);
        payloads_.push_back(p);
    }
    return Status::Ok;
}

}  // namespace

Status parsePacket(const uint8_t* data, size_t packetSize, PacketInfo& info,
                   std::vector<Payload>& payloads) {
    info = PacketInfo();
    payloads.clear();
    if (data == nullptr || packetSize == 0) {
        return Status::Truncated;
    }
    PacketParser parser(data, packetSize, info, payloads);
    return parser.parse();
}

}  // namespace asf
