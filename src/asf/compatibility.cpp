#include "asf/compatibility.h"

namespace asf {

Status Compatibility::parse(ByteReader& body) {
    profile = body.readU8();
    mode = body.readU8();
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
