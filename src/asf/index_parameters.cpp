#include "asf/index_parameters.h"

namespace asf {

Status IndexParameters::parse(ByteReader& body) {
    constexpr size_t kSpecifierSize = 4;
    entryTimeInterval = body.readU32();
    const uint16_t count = body.readU16();
    if (!body.ok() || count > body.remaining() / kSpecifierSize) {
        return Status::Truncated;
    }
    specifiers.clear();
    for (uint16_t i = 0; i < count; ++i) {
        IndexSpecifier s;
        s.streamNumber = body.readU16();
        s.indexType = body.readU16();
        specifiers.push_back(s);
    }
    return Status::Ok;
}

}  // namespace asf
