#pragma once

#include <cstdint>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

// The Compatibility Object: two reserved bytes (profile 2, mode 1).
struct Compatibility {
    uint8_t profile = 0;
    uint8_t mode = 0;

    Status parse(ByteReader& body);
};

}  // namespace asf
