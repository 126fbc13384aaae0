#pragma once

#include <cstdint>
#include <vector>

#include "asf/guid.h"

namespace asf {

// One object exactly as it was read: its GUID, where it starts (from the start of the file) and
// all its bytes including the 24-byte object header. Unknown objects survive a rewrite through
// this form byte for byte.
struct RawObject {
    Guid guid;
    uint64_t offset = 0;
    // The size the object declares. bytes.size() is smaller only for objects after the Data
    // Object that were too large to keep in memory, or ran past the end of the file.
    uint64_t size = 0;
    std::vector<uint8_t> bytes;
};

// Every object starts with its GUID and its whole size.
inline constexpr uint64_t kObjectHeaderSize = 24;

}  // namespace asf
