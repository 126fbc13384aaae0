#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

// The file-level Error Correction Object (rare): a scheme type and its opaque data.
struct ErrorCorrection {
    Guid type;
    std::vector<uint8_t> data;

    Status parse(ByteReader& body);
};

}  // namespace asf
