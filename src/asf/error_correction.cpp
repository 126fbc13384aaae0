#include "asf/error_correction.h"

namespace asf {

Status ErrorCorrection::parse(ByteReader& body) {
    type = body.readGuid();
    data = body.readBytes(body.readU32());
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
