#include "asf/attribute.h"

#include <algorithm>

#include "asf/byte_reader.h"

namespace asf {

std::u16string utf16Text(const uint8_t* data, size_t size) {
    ByteReader r(data, size);
    return r.readUtf16Bytes(size);
}

uint64_t littleEndian(const uint8_t* data, size_t size) {
    uint64_t n = 0;
    const size_t count = std::min<size_t>(size, 8);
    for (size_t i = 0; i < count; ++i) {
        n |= static_cast<uint64_t>(data[i]) << (8 * i);
    }
    return n;
}

}  // namespace asf
