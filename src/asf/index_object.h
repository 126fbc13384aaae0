#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/index_parameters.h"
#include "asf/status.h"

namespace asf {

struct IndexBlock {
    static constexpr uint32_t kInvalidOffset = 0xFFFFFFFF;

    // One base position per specifier, relative to the first data packet.
    std::vector<uint64_t> positions;
    uint32_t entryCount = 0;
    // entryCount rows of one offset per specifier, row by row.
    std::vector<uint32_t> offsets;
};

// The Index Object: a time index for the streams named by its specifiers (which match the
// Index Parameters Object in the header).
struct IndexObject {
    uint32_t entryTimeInterval = 0;  // ms
    std::vector<IndexSpecifier> specifiers;
    std::vector<IndexBlock> blocks;

    Status parse(ByteReader& body);
};

}  // namespace asf
