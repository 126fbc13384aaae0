#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace asf {

// A GUID as it is stored on disk: Data1 (u32), Data2 and Data3 (u16) little-endian, then the
// eight bytes of Data4 as they are. Comparisons work on these 16 bytes.
class Guid {
public:
    constexpr Guid() = default;

    // Parses the registry text form "75B22630-668E-11CF-A6D9-00AA0062CE6C" (braces allowed,
    // hex digits in either case). Text that is not a GUID gives the all-zero GUID.
    static constexpr Guid fromString(std::string_view text);
    // Takes 16 on-disk bytes.
    static Guid fromBytes(const uint8_t* bytes);

    // The registry text form in upper case, without braces.
    std::string toString() const;
    bool isNull() const;

    const std::array<uint8_t, 16>& bytes() const { return bytes_; }

    friend constexpr bool operator==(const Guid& a, const Guid& b) {
        for (size_t i = 0; i < 16; ++i) {
            if (a.bytes_[i] != b.bytes_[i]) {
                return false;
            }
        }
        return true;
    }
    friend constexpr bool operator!=(const Guid& a, const Guid& b) { return !(a == b); }
    friend constexpr bool operator<(const Guid& a, const Guid& b) {
        for (size_t i = 0; i < 16; ++i) {
            if (a.bytes_[i] != b.bytes_[i]) {
                return a.bytes_[i] < b.bytes_[i];
            }
        }
        return false;
    }

private:
    static constexpr int hexValue(char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    }

    std::array<uint8_t, 16> bytes_{};
};

constexpr Guid Guid::fromString(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    // Text positions of the 16 bytes in on-disk order: the first three groups are reversed.
    constexpr size_t kTextPos[16] = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};
    Guid g;
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
        text[23] != '-') {
        return g;
    }
    for (size_t i = 0; i < 16; ++i) {
        const int hi = hexValue(text[kTextPos[i]]);
        const int lo = hexValue(text[kTextPos[i] + 1]);
        if (hi < 0 || lo < 0) {
            return Guid();
        }
        g.bytes_[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return g;
}

}  // namespace asf
