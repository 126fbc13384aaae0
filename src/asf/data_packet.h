#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

// The fields that precede the payloads of a data packet.
struct PacketInfo {
    bool errorCorrectionPresent = false;
    uint8_t errorCorrectionFlags = 0;
    ByteSpan errorCorrectionData;
    uint8_t lengthTypeFlags = 0;
    uint8_t propertyFlags = 0;
    // The Packet Length field, or the packet size when the field is absent.
    uint32_t packetLength = 0;
    uint32_t sequence = 0;
    // The Padding Length field as stored; a short packet length adds more (see payloadEnd).
    uint32_t paddingLength = 0;
    uint32_t sendTime = 0;  // ms, without the preroll
    uint16_t duration = 0;  // ms
    bool multiplePayloads = false;
    uint8_t payloadFlags = 0;  // multiple-payload packets only
    // Bytes before the first payload header, payload-flags byte included.
    size_t headerSize = 0;
    // Where payload data ends: the packet length less the padding.
    size_t payloadEnd = 0;
};

// One payload of a packet: a fragment of a media object, or a whole object. Compressed payloads
// come out as one complete Payload per sub-payload.
struct Payload {
    uint8_t streamNumber = 0;
    bool keyFrame = false;
    uint32_t objectNumber = 0;
    uint32_t offset = 0;            // of this fragment in the object
    uint32_t objectSize = 0;        // of the whole object
    uint32_t presentationTime = 0;  // ms, includes the preroll
    // False when the payload had no replicated data, so objectSize is the payload's own size
    // and no presentation time is known.
    bool hasTime = true;
    ByteSpan replicatedData;  // all replicated bytes (empty for sub-payloads)
    ByteSpan extensionData;   // replicated bytes after the first eight
    ByteSpan data;
    // Sub-payload fields: set when the payload came from a compressed payload.
    bool compressed = false;
    uint8_t timeDelta = 0;
    uint16_t subPayloadIndex = 0;
};

// Parses one packet of packetSize bytes. The payloads' spans point into data, which must stay
// alive while they are used. payloads is cleared first; when the packet turns out to be broken
// part-way, the payloads before the damage stay in it and the status says what went wrong.
Status parsePacket(const uint8_t* data, size_t packetSize, PacketInfo& info,
                   std::vector<Payload>& payloads);

}  // namespace asf
