#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

struct StreamBitrate {
    uint16_t flags = 0;  // bits 0-6: stream number
    uint32_t averageBitrate = 0;

    uint8_t streamNumber() const { return static_cast<uint8_t>(flags & 0x7F); }
};

// The Stream Bitrate Properties Object: average bit rate per stream.
struct StreamBitrateProperties {
    std::vector<StreamBitrate> records;

    Status parse(ByteReader& body);
};

}  // namespace asf
