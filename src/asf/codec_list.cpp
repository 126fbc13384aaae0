#include "asf/codec_list.h"

#include <algorithm>

#include "asf/guids.h"

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

void CodecList::write(ByteWriter& out) const {
    const size_t start = out.beginObject(kCodecListObject);
    out.guid(kReserved2);
    out.u32(static_cast<uint32_t>(entries.size()));
    for (const CodecEntry& e : entries) {
        const std::u16string name = fitUtf16Field(e.name);
        const std::u16string description = fitUtf16Field(e.description);
        const size_t infoSize = std::min<size_t>(e.information.size(), 0xFFFF);
        out.u16(e.type);
        out.u16(static_cast<uint16_t>(name.size() + 1));
        out.utf16(name);
        out.u16(static_cast<uint16_t>(description.size() + 1));
        out.utf16(description);
        out.u16(static_cast<uint16_t>(infoSize));
        out.bytes(e.information.data(), infoSize);
    }
    out.endObject(start);
}

}  // namespace asf
