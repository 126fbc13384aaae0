#include "asf/bandwidth_sharing.h"

namespace asf {

Status BandwidthSharing::parse(ByteReader& body) {
    type = body.readGuid();
    dataBitrate = body.readU32();
    bufferSize = body.readU32();
    const uint16_t count = body.readU16();
    if (!body.ok() || count > body.remaining() / 2) {
        return Status::Truncated;
    }
    streamNumbers.clear();
    for (uint16_t i = 0; i < count; ++i) {
        streamNumbers.push_back(body.readU16());
    }
    return Status::Ok;
}

}  // namespace asf
