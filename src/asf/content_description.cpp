#include "asf/content_description.h"

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

}  // namespace asf
