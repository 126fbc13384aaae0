#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/byte_writer.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

struct SimpleIndexEntry {
    uint32_t packetNumber = 0;  // packet holding the start of the nearest earlier key frame
    uint16_t packetCount = 0;   // packets that key frame spans
};

// A Simple Index Object: one per visible video stream, in stream-number order. It carries no
// stream number; File assigns one from that order.
struct SimpleIndex {
    Guid fileId;
    uint64_t entryTimeInterval = 0;  // 100 ns
    uint32_t maxPacketCount = 0;
    uint32_t declaredEntryCount = 0;
    // Entry i covers presentation time i * entryTimeInterval (preroll included). Only the
    // entries that fit in the object are kept.
    std::vector<SimpleIndexEntry> entries;
    uint8_t streamNumber = 0;  // 0 when no video stream matches this object

    Status parse(ByteReader& body);
    // Writes the whole object with its entries (declaredEntryCount is not used).
    void write(ByteWriter& out) const;
};

}  // namespace asf
