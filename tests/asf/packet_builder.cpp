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

void putPayload(Bytes& b, const PacketSpec& spec, const PayloadSpec& p, bool lengthField) {
    putSized(b, spec.streamNumberType, p.stream | (p.key ? 0x80u : 0u));
    putSized(b, spec.objectNumberType, p.objectNumber);
    Bytes body;
    if (p.compressed) {
        putSized(b, spec.offsetType, p.time);
        putSized(b, spec.replicatedLengthType, 1);
        b.u8(p.delta);
        for (const auto& sub : p.subPayloads) {
            body.u8(static_cast<uint8_t>(sub.size())).raw(sub);
        }
    } else {
        putSized(b, spec.offsetType, p.offset);
        if (p.noReplicatedData) {
            putSized(b, spec.replicatedLengthType, 0);
        } else {
            putSized(b, spec.replicatedLengthType, static_cast<uint32_t>(8 + p.extension.size()));
            b.u32(p.objectSize).u32(p.time).raw(p.extension);
        }
        body.raw(p.data);
    }
    if (lengthField) {
        putSized(b, spec.payloadLengthType, static_cast<uint32_t>(body.size()));
    }
    b.raw(body);
}

}  // namespace

std::vector<uint8_t> encodePacket(const PacketSpec& spec) {
    Bytes payloads;
    if (spec.multiple) {
        payloads.u8(static_cast<uint8_t>((spec.payloadLengthType << 6) | spec.payloads.size()));
        for (const PayloadSpec& p : spec.payloads) {
            putPayload(payloads, spec, p, true);
        }
    } else {
        putPayload(payloads, spec, spec.payloads.at(0), false);
    }
    const uint8_t lengthTypeFlags =
        static_cast<uint8_t>((spec.multiple ? 1 : 0) | (spec.sequenceType << 1) |
                             (spec.paddingType << 3) | (spec.packetLengthType << 5));
    const uint8_t propertyFlags =
        static_cast<uint8_t>(spec.replicatedLengthType | (spec.offsetType << 2) |
                             (spec.objectNumberType << 4) | (spec.streamNumberType << 6));
    auto fieldSize = [](unsigned code) { return code == 3 ? 4u : code; };
    const uint32_t headerSize = (spec.errorCorrection ? 3 : 0) + 2 +
                                fieldSize(spec.packetLengthType) + fieldSize(spec.sequenceType) +
                                fieldSize(spec.paddingType) + 6;
    const uint32_t packetLength =
        headerSize + static_cast<uint32_t>(payloads.size()) + spec.padding;
    Bytes b;
    if (spec.errorCorrection) {
        b.u8(0x82).u8(0).u8(0);
    }
    b.u8(lengthTypeFlags).u8(propertyFlags);
    putSized(b, spec.packetLengthType, packetLength);
    putSized(b, spec.sequenceType, spec.sequence);
    putSized(b, spec.paddingType, spec.padding);
    b.u32(spec.sendTime).u16(spec.duration);
    b.raw(payloads);
    b.zeros(spec.padding + spec.implicitPadding);
    return b.data;
}

}  // namespace asf_test
