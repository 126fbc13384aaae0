#include "asf/content_branding.h"

namespace asf {

Status ContentBranding::parse(ByteReader& body) {
    bannerImageType = body.readU32();
    bannerImageData = body.readBytes(body.readU32());
    bannerImageUrl = body.readAscii(body.readU32());
    copyrightUrl = body.readAscii(body.readU32());
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
