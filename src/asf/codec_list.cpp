#include "asf/codec_list.h"

namespace asf {

Status CodecList::parse(ByteReader& body) {
    constexpr size_t kEntryMinSize = 8;
    reserved = body.readGuid();
    const uint32_t count = body.readU32();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (count > body.remaining() / kEntryMinSize) {
        return Status::Malformed;
    }
    entries.clear();
    for (uint32_t i = 0; i < count && body.ok(); ++i) {
        CodecEntry e;
        e.type = body.readU16();
        e.name = body.readUtf16Chars(body.readU16());
        e.description = body.readUtf16Chars(body.readU16());
        e.information = body.readBytes(body.readU16());
        entries.push_back(std::move(e));
    }
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
