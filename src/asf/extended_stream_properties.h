#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/guid.h"
#include "asf/status.h"
#include "asf/stream_properties.h"

namespace asf {

struct StreamName {
    uint16_t languageIndex = 0;
    std::u16string name;
};

// A payload extension system: data every payload of the stream carries in its replicated data,
// after the first eight bytes, in declaration order.
struct PayloadExtensionSystem {
    static constexpr uint16_t kVariableSize = 0xFFFF;

    Guid id;
    // Bytes per payload; kVariableSize when each payload's data starts with its own word length.
    uint16_t dataSize = 0;
    std::vector<uint8_t> info;

    bool variableSize() const { return dataSize == kVariableSize; }
};

// The Extended Stream Properties Object of one stream.
struct ExtendedStreamProperties {
    static constexpr uint32_t kReliable = 0x1;
    static constexpr uint32_t kSeekable = 0x2;
    static constexpr uint32_t kNoCleanpoints = 0x4;
    static constexpr uint32_t kResendLiveCleanpoints = 0x8;

    uint64_t startTime = 0;  // ms
    uint64_t endTime = 0;    // ms
    uint32_t dataBitrate = 0;
    uint32_t bufferSize = 0;  // ms
    uint32_t initialBufferFullness = 0;
    uint32_t alternateDataBitrate = 0;
    uint32_t alternateBufferSize = 0;
    uint32_t alternateInitialBufferFullness = 0;
    uint32_t maxObjectSize = 0;
    uint32_t flags = 0;
    uint16_t streamNumber = 0;
    uint16_t languageIndex = 0;
    uint64_t averageTimePerFrame = 0;  // 100 ns
    std::vector<StreamName> names;
    std::vector<PayloadExtensionSystem> extensionSystems;
    // A Stream Properties Object inside this one: it declares a hidden stream, or repeats a
    // visible one.
    std::optional<StreamProperties> streamProperties;
    // Where that embedded object starts, from the start of the file (0 when there is none).
    uint64_t streamPropertiesOffset = 0;
    // Bytes after the declared parts that are not an embedded Stream Properties Object.
    std::vector<uint8_t> trailing;

    // Finds the data of one extension system in a payload's extension bytes (replicated data
    // after its first eight bytes). Fails when the stream does not declare the system or the
    // bytes end before it.
    bool findExtension(const Guid& system, ByteSpan extensionData, ByteSpan& out) const;

    // body: the object's bytes after its 24-byte object header; bodyOffset: where body starts
    // in the file.
    Status parse(ByteReader& body, uint64_t bodyOffset);
};

}  // namespace asf
