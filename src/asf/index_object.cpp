#include "asf/index_object.h"

namespace asf {

Status IndexObject::parse(ByteReader& body) {
    constexpr size_t kSpecifierSize = 4;
    entryTimeInterval = body.readU32();
    const uint16_t specifierCount = body.readU16();
    const uint32_t blockCount = body.readU32();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (specifierCount == 0 || specifierCount > body.remaining() / kSpecifierSize) {
        return Status::Malformed;
    }
    specifiers.clear();
    for (uint16_t i = 0; i < specifierCount; ++i) {
        IndexSpecifier s;
        s.streamNumber = body.readU16();
        s.indexType = body.readU16();
        specifiers.push_back(s);
    }
    // A block is at least its entry count and its positions.
    const size_t blockMinSize = 4 + 8 * size_t{specifierCount};
    if (blockCount > body.remaining() / blockMinSize) {
        return Status::Malformed;
    }
    blocks.clear();
    for (uint32_t b = 0; b < blockCount; ++b) {
        IndexBlock block;
        block.entryCount = body.readU32();
        for (uint16_t i = 0; i < specifierCount; ++i) {
            block.positions.push_back(body.readU64());
        }
        if (!body.ok() || block.entryCount > body.remaining() / (4 * size_t{specifierCount})) {
            return Status::Truncated;
        }
        const size_t total = size_t{block.entryCount} * specifierCount;
        block.offsets.reserve(total);
        for (size_t i = 0; i < total; ++i) {
            block.offsets.push_back(body.readU32());
        }
        blocks.push_back(std::move(block));
    }
    return Status::Ok;
}

}  // namespace asf
