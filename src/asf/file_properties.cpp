#include "asf/file_properties.h"

namespace asf {

uint64_t FileProperties::durationWithoutPreroll() const {
    const uint64_t prerollTicks = preroll * 10000;
    if (preroll > UINT64_MAX / 10000 || playDuration < prerollTicks) {
        return 0;
    }
    return playDuration - prerollTicks;
}

Status FileProperties::parse(ByteReader& body) {
    fileId = body.readGuid();
    fileSize = body.readU64();
    creationDate = body.readU64();
    dataPacketsCount = body.readU64();
    playDuration = body.readU64();
    sendDuration = body.readU64();
    preroll = body.readU64();
    flags = body.readU32();
    minPacketSize = body.readU32();
    maxPacketSize = body.readU32();
    maxBitrate = body.readU32();
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
