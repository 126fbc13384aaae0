#include "asf/packet_builder.h"

#include "asf/test_support.h"

namespace asf_test {
namespace {

void putSized(Bytes& b, unsigned sizeCode, uint32_t value) {
    switch (sizeCode & 3) {
        case 1:
            b.u8(static_cast<uint8_t>(value));
            break;
        case 2:
            b.u16(static_cast<uint16_t>(value));
            break;
        case 3:
            b.u32(value);
            break;
        default:
            break;
    }
}

void putPayload(Bytes& b, const PacketShape& shape, const PayloadSpec& p, bool lengthField) {
    putSized(b, shape.streamNumberType, p.stream | (p.key ? 0x80u : 0u));
    putSized(b, shape.objectNumberType, p.objectNumber);
    Bytes body;
    if (p.compressed) {
        putSized(b, shape.offsetType, p.time);
        putSized(b, shape.replicatedLengthType, 1);
        b.u8(p.delta);
        for (const auto& sub : p.subPayloads) {
            body.u8(static_cast<uint8_t>(sub.size())).raw(sub);
        }
    } else {
        putSized(b, shape.offsetType, p.offset);
        if (p.noReplicatedData) {
            putSized(b, shape.replicatedLengthType, 0);
        } else {
            putSized(b, shape.replicatedLengthType, static_cast<uint32_t>(8 + p.extension.size()));
            b.u32(p.objectSize).u32(p.time).raw(p.extension);
        }
        body.raw(p.data);
    }
    if (lengthField) {
        putSized(b, shape.payloadLengthType, static_cast<uint32_t>(body.size()));
    }
    b.raw(body);
}

}  // namespace

std::vector<uint8_t> encodePacket(const PacketShape& shape) {
    Bytes payloads;
    if (shape.multiple) {
        payloads.u8(static_cast<uint8_t>((shape.payloadLengthType << 6) | shape.payloads.size()));
        for (const PayloadSpec& p : shape.payloads) {
            putPayload(payloads, shape, p, true);
        }
    } else {
        putPayload(payloads, shape, shape.payloads.at(0), false);
    }
    const uint8_t lengthTypeFlags =
        static_cast<uint8_t>((shape.multiple ? 1 : 0) | (shape.sequenceType << 1) |
                             (shape.paddingType << 3) | (shape.packetLengthType << 5));
    const uint8_t propertyFlags =
        static_cast<uint8_t>(shape.replicatedLengthType | (shape.offsetType << 2) |
                             (shape.objectNumberType << 4) | (shape.streamNumberType << 6));
    auto fieldSize = [](unsigned code) { return code == 3 ? 4u : code; };
    const uint32_t headerSize = (shape.errorCorrection ? 3 : 0) + 2 +
                                fieldSize(shape.packetLengthType) + fieldSize(shape.sequenceType) +
                                fieldSize(shape.paddingType) + 6;
    const uint32_t packetLength =
        headerSize + static_cast<uint32_t>(payloads.size()) + shape.padding;
    Bytes b;
    if (shape.errorCorrection) {
        b.u8(0x82).u8(0).u8(0);
    }
    b.u8(lengthTypeFlags).u8(propertyFlags);
    putSized(b, shape.packetLengthType, packetLength);
    putSized(b, shape.sequenceType, shape.sequence);
    putSized(b, shape.paddingType, shape.padding);
    b.u32(shape.sendTime).u16(shape.duration);
    b.raw(payloads);
    b.zeros(shape.padding + shape.implicitPadding);
    return b.data;
}

}  // namespace asf_test
