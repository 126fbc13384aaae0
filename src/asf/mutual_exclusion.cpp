#include "asf/mutual_exclusion.h"

namespace asf {
namespace {

// A word count followed by that many words.
bool readNumberList(ByteReader& body, std::vector<uint16_t>& out) {
    const uint16_t count = body.readU16();
    if (!body.ok() || count > body.remaining() / 2) {
        body.fail();
        return false;
    }
    out.clear();
    for (uint16_t i = 0; i < count; ++i) {
        out.push_back(body.readU16());
    }
    return true;
}

}  // namespace

Status MutualExclusion::parse(ByteReader& body) {
    type = body.readGuid();
    return readNumberList(body, streamNumbers) ? Status::Ok : Status::Truncated;
}

Status GroupMutualExclusion::parse(ByteReader& body) {
    type = body.readGuid();
    const uint16_t count = body.readU16();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (count > body.remaining() / 2) {
        return Status::Malformed;
    }
    records.clear();
    for (uint16_t i = 0; i < count; ++i) {
        std::vector<uint16_t> record;
        if (!readNumberList(body, record)) {
            return Status::Truncated;
        }
        records.push_back(std::move(record));
    }
    return Status::Ok;
}

}  // namespace asf
