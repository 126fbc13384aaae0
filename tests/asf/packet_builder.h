#pragma once

#include <cstdint>
#include <vector>

namespace asf_test {

// One payload to encode. With compressed set, subPayloads are written as a compressed payload
// (objectNumber and time belong to the first of them, delta spaces the times).
struct PayloadSpec {
    uint8_t stream = 1;
    bool key = false;
    uint32_t objectNumber = 0;
    uint32_t offset = 0;
    uint32_t objectSize = 0;
    uint32_t time = 0;
    std::vector<uint8_t> extension;  // replicated bytes after the first eight
    std::vector<uint8_t> data;
    bool noReplicatedData = false;
    bool compressed = false;
    uint8_t delta = 0;
    std::vector<std::vector<uint8_t>> subPayloads;
};

// A packet to encode, with every field width selectable by its two-bit size code.
struct PacketShape {
    bool errorCorrection = true;
    unsigned packetLengthType = 0;
    unsigned sequenceType = 0;
    unsigned paddingType = 2;
    unsigned replicatedLengthType = 1;
    unsigned offsetType = 3;
    unsigned objectNumberType = 1;
    unsigned streamNumberType = 1;
    bool multiple = false;
    unsigned payloadLengthType = 2;
    uint32_t sequence = 0;
    uint32_t sendTime = 0;
    uint16_t duration = 0;
    // Zero bytes counted by the Padding Length field.
    uint32_t padding = 0;
    // Zero bytes after a Packet Length that stops short of the packet size.
    uint32_t implicitPadding = 0;
    std::vector<PayloadSpec> payloads;
};

// Encodes a packet; its size is whatever the shape adds up to.
std::vector<uint8_t> encodePacket(const PacketShape& shape);

}  // namespace asf_test
