#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/stream_properties.h"

namespace asf {

// Where finished data packets go, in order.
class PacketSink {
public:
    virtual ~PacketSink() = default;
    // One whole packet; false when it could not be stored.
    virtual bool writePacket(const uint8_t* data, size_t size) = 0;
};

// One media object to store.
struct MediaObject {
    uint8_t stream = 0;  // 1..127
    bool keyFrame = false;
    uint32_t presentationTime = 0;  // ms, with the preroll
    // The latest send time (ms, without the preroll) a packet holding part of the object may
    // carry: its presentation time less the preroll.
    uint32_t sendLimit = 0;
    ByteSpan data;
    // The replicated bytes after the first eight: the payload extension data the stream's
    // Extended Stream Properties declare, in their order.
    ByteSpan extensionData;
};

// Where an object went: the packet holding its first fragment and how many packets it spans.
struct Placement {
    uint64_t firstPacket = 0;
    uint32_t packetCount = 0;
};

// Lays media objects out in data packets of one fixed size, in the order they come, fragmenting
// an object over as many packets as it needs. Every packet starts with the usual error
// correction bytes, has no packet length field, a padding length field of a fixed width (so
// that the send time always sits at sendTimeOffset()) and payloads with a one-byte object
// number, a four-byte offset and replicated data holding the object's size, its presentation
// time and its extension data. A packet whose first payload fills it alone is written with a
// single payload; the others with several.
//
// Each packet's send time is written as the earliest send limit of its payloads; a later packet
// may hold an earlier limit, so the caller lowers them afterwards (settleSendTimes) and patches
// the packets whose value changed. Not thread-safe.
class PacketWriter {
public:
    static constexpr size_t kMaxPayloads = 63;

    PacketWriter(uint32_t packetSize, PacketSink& sink);

    // Whether objects of a stream with this many extension bytes fit packets of this size: their
    // replicated data must fit its one-byte length, and a packet must hold a one-byte fragment.
    static bool fits(uint32_t packetSize, size_t extensionSize);
    // Stores one object; objects of a stream are numbered in the order they come. False when the
    // sink failed, or the object is empty or does not fit (see fits).
    bool add(const MediaObject& object, Placement& placement);
    // Writes the packet in progress, if any. False when the sink failed.
    bool finish();

    uint32_t packetSize() const { return packetSize_; }
    uint64_t packetCount() const { return sendTimes_.size(); }
    // The send time written into each packet so far.
    const std::vector<uint32_t>& sendTimes() const { return sendTimes_; }
    // Where the four-byte send time sits in every packet.
    size_t sendTimeOffset() const { return 5 + paddingFieldSize_; }

private:
    enum class Mode { Empty, Single, Multiple };

    static size_t paddingFieldSize(uint32_t packetSize);
    static size_t headerSize(size_t paddingFieldSize, Mode mode);
    size_t headerSize(Mode mode) const { return headerSize(paddingFieldSize_, mode); }
    void startPacket(Mode mode);
    void putPayload(const MediaObject& object, uint32_t offset, size_t length);
    bool flush();

    uint32_t packetSize_;
    PacketSink& sink_;
    size_t paddingFieldSize_;
    std::vector<uint8_t> packet_;
    Mode mode_ = Mode::Empty;
    size_t used_ = 0;
    size_t payloadCount_ = 0;
    uint32_t sendTime_ = 0;
    std::array<uint8_t, 128> objectNumbers_{};
    std::vector<uint32_t> sendTimes_;
};

// Lowers every send time to the smallest of its own and all later ones: the latest times that
// never decrease and never pass a packet's own limit.
void settleSendTimes(std::vector<uint32_t>& sendTimes);

// Interleaves an audio object's chunks as audio spread stores them: the inverse of what readers
// undo. Objects whose size is not span times the virtual packet length, and streams whose spread
// does not scramble (span 1), are left as they are.
void scrambleAudioSpread(const AudioSpread& spread, std::vector<uint8_t>& data);

}  // namespace asf
