#include "asf/guid.h"

#include <cstring>

namespace asf {

Guid Guid::fromBytes(const uint8_t* bytes) {
    Guid g;
    std::memcpy(g.bytes_.data(), bytes, 16);
    return g;
}

std::string Guid::toString() const {
    static const char kDigits[] = "0123456789ABCDEF";
    // Same byte order as in fromString.
    constexpr size_t kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        const uint8_t b = bytes_[kOrder[i]];
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

bool Guid::isNull() const {
    for (uint8_t b : bytes_) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace asf
