#pragma once

#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

// A set of mutually exclusive streams. Both the top-level Bitrate Mutual Exclusion Object and
// the Advanced Mutual Exclusion Object of the header extension have this form.
struct MutualExclusion {
    Guid type;  // kMutexLanguage, kMutexBitrate or kMutexUnknown
    std::vector<uint16_t> streamNumbers;

    Status parse(ByteReader& body);
};

// The Group Mutual Exclusion Object: streams in different records exclude each other, streams
// in one record go together.
struct GroupMutualExclusion {
    Guid type;
    std::vector<std::vector<uint16_t>> records;

    Status parse(ByteReader& body);
};

}  // namespace asf
