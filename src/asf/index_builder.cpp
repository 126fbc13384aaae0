#include "asf/index_builder.h"

#include <algorithm>

#include "asf/media_time.h"

namespace asf {

SimpleIndex buildSimpleIndex(std::vector<KeyFrameSpot> keyFrames, uint64_t endTime,
                             uint64_t intervalMs, const Guid& fileId) {
    SimpleIndex index;
    index.fileId = fileId;
    index.entryTimeInterval = fromMilliseconds(intervalMs);
    if (keyFrames.empty() || intervalMs == 0) {
        return index;
    }
    // Times of a stream may step back (frames stored in decoding order); the index wants them in
    // presentation order.
    std::stable_sort(keyFrames.begin(), keyFrames.end(),
                     [](const KeyFrameSpot& a, const KeyFrameSpot& b) {
                         return a.presentationTime < b.presentationTime;
                     });
    const uint64_t last = std::max<uint64_t>(endTime, keyFrames.back().presentationTime);
    const uint64_t count = last / intervalMs + 1;
    size_t k = 0;
    for (uint64_t i = 0; i < count && i < UINT32_MAX; ++i) {
        const uint64_t time = i * intervalMs;
        while (k + 1 < keyFrames.size() && keyFrames[k + 1].presentationTime <= time) {
            ++k;
        }
        SimpleIndexEntry e;
        e.packetNumber =
            static_cast<uint32_t>(std::min<uint64_t>(keyFrames[k].firstPacket, UINT32_MAX));
        e.packetCount = static_cast<uint16_t>(std::min<uint32_t>(keyFrames[k].packetCount, 0xFFFF));
        index.maxPacketCount = std::max<uint32_t>(index.maxPacketCount, e.packetCount);
        index.entries.push_back(e);
    }
    index.declaredEntryCount = static_cast<uint32_t>(index.entries.size());
    return index;
}

}  // namespace asf
