#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

struct StreamPriority {
    static constexpr uint16_t kMandatory = 0x1;

    uint16_t streamNumber = 0;
    uint16_t flags = 0;
};

// The Stream Prioritization Object: streams in decreasing priority.
struct StreamPrioritization {
    std::vector<StreamPriority> records;

    Status parse(ByteReader& body);
};

}  // namespace asf
