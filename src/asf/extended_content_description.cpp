#include "asf/extended_content_description.h"

#include "asf/guids.h"

namespace asf {

const Attribute* ExtendedContentDescription::find(const std::u16string& name) const {
    for (const Attribute& a : attributes) {
        if (a.name == name) {
            return &a;
        }
    }
    return nullptr;
}

Status ExtendedContentDescription::parse(ByteReader& body) {
    constexpr size_t kDescriptorMinSize = 6;
    const uint16_t count = body.readU16();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (count > body.remaining() / kDescriptorMinSize) {
        return Status::Malformed;
    }
    attributes.clear();
    for (uint16_t i = 0; i < count; ++i) {
        Attribute a;
        size_t nameLength = body.readU16();
        // An odd name length comes from a writer that left the terminator's second byte out of
        // the count but wrote it.
        if (nameLength % 2 != 0) {
            ++nameLength;
        }
        a.name = body.readUtf16Bytes(nameLength);
        a.type = body.readU16();
        a.value = body.readBytes(body.readU16());
        if (!body.ok()) {
            return Status::Truncated;
        }
        attributes.push_back(std::move(a));
    }
    return Status::Ok;
}

void ExtendedContentDescription::write(ByteWriter& out) const {
    const size_t start = out.beginObject(kExtendedContentDescriptionObject);
    const size_t countAt = out.size();
    out.u16(0);
    uint16_t count = 0;
    for (const Attribute& a : attributes) {
        if (a.value.size() > 0xFFFF || count == 0xFFFF) {
            continue;
        }
        out.u16(static_cast<uint16_t>(utf16FieldBytes(a.name)));
        out.utf16(fitUtf16Field(a.name));
        out.u16(a.type);
        out.u16(static_cast<uint16_t>(a.value.size()));
        out.bytes(a.value);
        ++count;
    }
    out.patchU16(countAt, count);
    out.endObject(start);
}

}  // namespace asf
