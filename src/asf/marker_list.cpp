#include "asf/marker_list.h"

#include <algorithm>

namespace asf {

Status MarkerList::parse(ByteReader& body) {
    constexpr size_t kMarkerMinSize = 18;
    reserved = body.readGuid();
    const uint32_t count = body.readU32();
    reserved2 = body.readU16();
    name = body.readUtf16Bytes(body.readU16());
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (count > body.remaining() / kMarkerMinSize) {
        return Status::Malformed;
    }
    markers.clear();
    for (uint32_t i = 0; i < count; ++i) {
        Marker m;
        m.offset = body.readU64();
        m.presentationTime = body.readU64();
        m.entryLength = body.readU16();
        // Writers disagree on whether the description length counts characters or bytes; the
        // entry length says where the next marker starts either way.
        ByteReader entry = body.readSub(m.entryLength);
        m.sendTime = entry.readU32();
        m.flags = entry.readU32();
        const uint32_t descriptionLength = entry.readU32();
        m.description =
            entry.readUtf16Chars(std::min<size_t>(descriptionLength, entry.remaining() / 2));
        if (!body.ok()) {
            return Status::Truncated;
        }
        markers.push_back(std::move(m));
    }
    return Status::Ok;
}

}  // namespace asf
