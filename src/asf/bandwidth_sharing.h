#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

// The Bandwidth Sharing Object: streams that share one leaky bucket.
struct BandwidthSharing {
    Guid type;  // kBandwidthSharingExclusive or kBandwidthSharingPartial
    uint32_t dataBitrate = 0;
    uint32_t bufferSize = 0;  // ms
    std::vector<uint16_t> streamNumbers;

    Status parse(ByteReader& body);
};

}  // namespace asf
