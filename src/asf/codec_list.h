#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/byte_writer.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

struct CodecEntry {
    static constexpr uint16_t kVideo = 1;
    static constexpr uint16_t kAudio = 2;
    static constexpr uint16_t kUnknown = 0xFFFF;

    uint16_t type = kUnknown;
    std::u16string name;
    std::u16string description;
    std::vector<uint8_t> information;
};

// The Codec List Object: what players show as the codecs used. Entries carry no stream number.
struct CodecList {
    Guid reserved;
    std::vector<CodecEntry> entries;

    Status parse(ByteReader& body);
    // Writes the whole object, with the fixed reserved GUID.
    void write(ByteWriter& out) const;
};

}  // namespace asf
