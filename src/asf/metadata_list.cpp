#include "asf/metadata_list.h"

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

}  // namespace asf
