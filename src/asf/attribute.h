#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace asf {

// Value type codes as stored in Extended Content Description, Metadata and Metadata Library
// records. (The runtime's attribute API numbers its types differently; convert explicitly.)
enum AttributeType : uint16_t {
    kAttributeString = 0,
    kAttributeBinary = 1,
    kAttributeBool = 2,  // four bytes in Extended Content Description, two in metadata objects
    kAttributeDword = 3,
    kAttributeQword = 4,
    kAttributeWord = 5,
    kAttributeGuid = 6,  // Metadata Library only
};

// Bytes read as UTF-16LE text up to the first NUL; an odd last byte is left out.
std::u16string utf16Text(const uint8_t* data, size_t size);
inline std::u16string utf16Text(const std::vector<uint8_t>& value) {
    return utf16Text(value.data(), value.size());
}

// The first eight bytes (or fewer) read as a little-endian unsigned number.
uint64_t littleEndian(const uint8_t* data, size_t size);
inline uint64_t littleEndian(const std::vector<uint8_t>& value) {
    return littleEndian(value.data(), value.size());
}

// One name/value record, kept raw: the value's bytes as stored.
struct Attribute {
    uint16_t languageIndex = 0;  // Metadata Library only
    uint16_t streamNumber = 0;   // 0 for file-level records
    std::u16string name;
    uint16_t type = kAttributeString;
    std::vector<uint8_t> value;

    // The value as text (for string records) and as a number.
    std::u16string text() const { return utf16Text(value); }
    uint64_t number() const { return littleEndian(value); }
};

}  // namespace asf
