#include "asf/stream_bitrate_properties.h"

namespace asf {

Status StreamBitrateProperties::parse(ByteReader& body) {
    constexpr size_t kRecordSize = 6;
    const uint16_t count = body.readU16();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (count > body.remaining() / kRecordSize) {
        return Status::Truncated;
    }
    records.clear();
    for (uint16_t i = 0; i < count; ++i) {
        StreamBitrate b;
        b.flags = body.readU16();
        b.averageBitrate = body.readU32();
        records.push_back(b);
    }
    return Status::Ok;
}

}  // namespace asf
