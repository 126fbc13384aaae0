#include "asf/stream_prioritization.h"

namespace asf {

Status StreamPrioritization::parse(ByteReader& body) {
    constexpr size_t kRecordSize = 4;
    const uint16_t count = body.readU16();
    if (!body.ok() || count > body.remaining() / kRecordSize) {
        return Status::Truncated;
    }
    records.clear();
    for (uint16_t i = 0; i < count; ++i) {
        StreamPriority p;
        p.streamNumber = body.readU16();
        p.flags = body.readU16();
        records.push_back(p);
    }
    return Status::Ok;
}

}  // namespace asf
