#include "asf/content_description.h"

#include "asf/guids.h"

namespace asf {

Status ContentDescription::parse(ByteReader& body) {
    const uint16_t titleLength = body.readU16();
    const uint16_t authorLength = body.readU16();
    const uint16_t copyrightLength = body.readU16();
    const uint16_t descriptionLength = body.readU16();
    const uint16_t ratingLength = body.readU16();
    title = body.readUtf16Bytes(titleLength);
    author = body.readUtf16Bytes(authorLength);
    copyright = body.readUtf16Bytes(copyrightLength);
    description = body.readUtf16Bytes(descriptionLength);
    rating = body.readUtf16Bytes(ratingLength);
    return body.ok() ? Status::Ok : Status::Truncated;
}

void ContentDescription::write(ByteWriter& out) const {
    const size_t start = out.beginObject(kContentDescriptionObject);
    const std::u16string* fields[] = {&title, &author, &copyright, &description, &rating};
    for (const std::u16string* field : fields) {
        out.u16(field->empty() ? 0 : static_cast<uint16_t>(utf16FieldBytes(*field)));
    }
    for (const std::u16string* field : fields) {
        if (!field->empty()) {
            out.utf16(fitUtf16Field(*field));
        }
    }
    out.endObject(start);
}

}  // namespace asf
