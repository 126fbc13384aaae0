#include "asf/simple_index.h"

#include <algorithm>

#include "asf/guids.h"

namespace asf {

Status SimpleIndex::parse(ByteReader& body) {
    constexpr size_t kEntrySize = 6;
    fileId = body.readGuid();
    entryTimeInterval = body.readU64();
    maxPacketCount = body.readU32();
    declaredEntryCount = body.readU32();
    if (!body.ok()) {
        return Status::Truncated;
    }
    const size_t count = std::min<size_t>(declaredEntryCount, body.remaining() / kEntrySize);
    entries.clear();
    entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        SimpleIndexEntry e;
        e.packetNumber = body.readU32();
        e.packetCount = body.readU16();
        entries.push_back(e);
    }
    return count == declaredEntryCount ? Status::Ok : Status::Truncated;
}

void SimpleIndex::write(ByteWriter& out) const {
    const size_t start = out.beginObject(kSimpleIndexObject);
    out.guid(fileId);
    out.u64(entryTimeInterval);
    out.u32(maxPacketCount);
    out.u32(static_cast<uint32_t>(entries.size()));
    for (const SimpleIndexEntry& e : entries) {
        out.u32(e.packetNumber);
        out.u16(e.packetCount);
    }
    out.endObject(start);
}

}  // namespace asf
