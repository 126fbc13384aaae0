#pragma once

#include <cstdint>
#include <vector>

#include "asf/guid.h"
#include "asf/simple_index.h"

namespace asf {

// A key frame as written: its presentation time (ms, with the preroll) and the packets that hold
// it.
struct KeyFrameSpot {
    uint32_t presentationTime = 0;
    uint64_t firstPacket = 0;
    uint32_t packetCount = 0;
};

// The Simple Index of one video stream. Entry i covers presentation time i * interval and names
// the last key frame at or before it (the first key frame for the entries before that one);
// entries run up to endTime (ms, with the preroll), the end of the presentation. A stream
// without key frames gets no entries.
SimpleIndex buildSimpleIndex(std::vector<KeyFrameSpot> keyFrames, uint64_t endTime,
                             uint64_t intervalMs, const Guid& fileId);

}  // namespace asf
