#include "asf/attribute.h"

#include <algorithm>

#include "asf/byte_reader.h"

namespace asf {

std::u16string Attribute::text() const {
    ByteReader r(value.data(), value.size());
    return r.readUtf16Bytes(value.size());
}

uint64_t Attribute::number() const {
    uint64_t n = 0;
    const size_t count = std::min<size_t>(value.size(), 8);
    for (size_t i = 0; i < count; ++i) {
        n |= static_cast<uint64_t>(value[i]) << (8 * i);
    }
    return n;
}

}  // namespace asf
