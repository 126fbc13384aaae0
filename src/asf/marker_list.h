#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

struct Marker {
    uint64_t offset = 0;            // byte position of the packet to seek to; a hint only
    uint64_t presentationTime = 0;  // 100 ns, includes the preroll
    uint16_t entryLength = 0;       // bytes of the rest of the entry
    uint32_t sendTime = 0;          // ms
    uint32_t flags = 0;
    std::u16string description;
};

// The Marker Object: named points in time.
struct MarkerList {
    Guid reserved;
    uint16_t reserved2 = 0;
    std::u16string name;
    std::vector<Marker> markers;

    Status parse(ByteReader& body);
};

}  // namespace asf
