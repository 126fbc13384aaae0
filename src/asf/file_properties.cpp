#include "asf/file_properties.h"

#include "asf/guids.h"
#include "asf/media_time.h"

namespace asf {

uint64_t FileProperties::durationWithoutPreroll() const {
    if (preroll > kMaxMilliseconds || playDuration < fromMilliseconds(preroll)) {
        return 0;
    }
    return playDuration - fromMilliseconds(preroll);
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

void FileProperties::write(ByteWriter& out) const {
    const size_t start = out.beginObject(kFilePropertiesObject);
    out.guid(fileId);
    out.u64(fileSize);
    out.u64(creationDate);
    out.u64(dataPacketsCount);
    out.u64(playDuration);
    out.u64(sendDuration);
    out.u64(preroll);
    out.u32(flags);
    out.u32(minPacketSize);
    out.u32(maxPacketSize);
    out.u32(maxBitrate);
    out.endObject(start);
}

}  // namespace asf
