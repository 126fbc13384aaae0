#pragma once

#include <cstdint>
#include <vector>

namespace asf {

// One complete media object of a stream.
struct Sample {
    uint8_t stream = 0;
    bool cleanPoint = false;  // key-frame bit of the first fragment
    uint32_t objectNumber = 0;
    uint32_t presentationTimeMs = 0;  // includes the preroll
    uint32_t sendTimeMs = 0;          // send time of the packet where the object started
    uint64_t startPacket = 0;
    uint32_t packetCount = 0;  // packets its fragments spanned
    std::vector<uint8_t> data;
    // Replicated bytes after the first eight, of the first fragment: the payload extension
    // data, laid out as the stream's Extended Stream Properties declare.
    std::vector<uint8_t> extensionData;
    uint16_t durationMs = 0;  // from the Sample Duration extension, else 0
};

}  // namespace asf
