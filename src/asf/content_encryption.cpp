#include "asf/content_encryption.h"

namespace asf {

Status ContentEncryption::parse(ByteReader& body) {
    secretData = body.readBytes(body.readU32());
    protectionType = body.readAscii(body.readU32());
    keyId = body.readAscii(body.readU32());
    licenseUrl = body.readAscii(body.readU32());
    return body.ok() ? Status::Ok : Status::Truncated;
}

Status ExtendedContentEncryption::parse(ByteReader& body) {
    data = body.readBytes(body.readU32());
    return body.ok() ? Status::Ok : Status::Truncated;
}

Status DigitalSignature::parse(ByteReader& body) {
    type = body.readU32();
    data = body.readBytes(body.readU32());
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
