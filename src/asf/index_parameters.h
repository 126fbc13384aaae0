#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

struct IndexSpecifier {
    static constexpr uint16_t kNearestPastDataPacket = 1;
    static constexpr uint16_t kNearestPastMediaObject = 2;
    static constexpr uint16_t kNearestPastCleanpoint = 3;

    uint16_t streamNumber = 0;
    uint16_t indexType = 0;
};

// The Index Parameters Object: what the Index Object after the data indexes.
struct IndexParameters {
    uint32_t entryTimeInterval = 0;  // ms
    std::vector<IndexSpecifier> specifiers;

    Status parse(ByteReader& body);
};

}  // namespace asf
