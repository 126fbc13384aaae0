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

// One name/value record, kept raw: the value's bytes as stored.
struct Attribute {
    uint16_t languageIndex = 0;  // Metadata Library only
    uint16_t streamNumber = 0;   // 0 for file-level records
    std::u16string name;
    uint16_t type = kAttributeString;
    std::vector<uint8_t> value;

    // The value read as UTF-16LE text up to the first NUL (for string records).
    std::u16string text() const;
    // The value read as a little-endian unsigned number of up to eight bytes.
    uint64_t number() const;
};

}  // namespace asf
