#pragma once

#include <cstdint>

#include "asf/byte_reader.h"
#include "asf/byte_writer.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

// The File Properties Object: file-wide sizes, times and the fixed packet size.
struct FileProperties {
    static constexpr uint32_t kBroadcast = 0x1;
    static constexpr uint32_t kSeekable = 0x2;

    Guid fileId;
    uint64_t fileSize = 0;
    uint64_t creationDate = 0;      // 100 ns since 1601-01-01 UTC
    uint64_t dataPacketsCount = 0;  // not trustworthy when broadcast
    uint64_t playDuration = 0;      // 100 ns, includes the preroll
    uint64_t sendDuration = 0;      // 100 ns
    uint64_t preroll = 0;           // ms; every presentation time is offset by it
    uint32_t flags = 0;
    uint32_t minPacketSize = 0;
    uint32_t maxPacketSize = 0;
    uint32_t maxBitrate = 0;

    bool broadcast() const { return (flags & kBroadcast) != 0; }
    bool seekable() const { return (flags & kSeekable) != 0; }
    // Play duration less the preroll, in 100 ns, never below zero.
    uint64_t durationWithoutPreroll() const;

    // body: the object's bytes after its 24-byte object header.
    Status parse(ByteReader& body);
    // Writes the whole object, its 24-byte object header included.
    void write(ByteWriter& out) const;
};

}  // namespace asf
