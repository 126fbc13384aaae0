#include "asf/metadata_list.h"

#include <algorithm>

namespace asf {

Status MetadataList::parse(ByteReader& body) {
    constexpr size_t kRecordMinSize = 12;
    const uint16_t count = body.readU16();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (count > body.remaining() / kRecordMinSize) {
        return Status::Malformed;
    }
    records.clear();
    for (uint16_t i = 0; i < count; ++i) {
        Attribute a;
        a.languageIndex = body.readU16();
        a.streamNumber = body.readU16();
        const uint16_t nameLength = body.readU16();
        a.type = body.readU16();
        const uint32_t dataLength = body.readU32();
        a.name = body.readUtf16Bytes(nameLength);
        a.value = body.readBytes(dataLength);
        if (!body.ok()) {
            return Status::Truncated;
        }
        records.push_back(std::move(a));
    }
    return Status::Ok;
}

void MetadataList::write(ByteWriter& out, const Guid& objectGuid) const {
    const size_t start = out.beginObject(objectGuid);
    const size_t count = std::min<size_t>(records.size(), 0xFFFF);
    out.u16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const Attribute& a = records[i];
        out.u16(a.languageIndex);
        out.u16(a.streamNumber);
        out.u16(static_cast<uint16_t>(utf16FieldBytes(a.name)));
        out.u16(a.type);
        out.u32(static_cast<uint32_t>(a.value.size()));
        out.utf16(fitUtf16Field(a.name));
        out.bytes(a.value);
    }
    out.endObject(start);
}

}  // namespace asf
