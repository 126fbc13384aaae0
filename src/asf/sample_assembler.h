#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "asf/data_packet.h"
#include "asf/extended_stream_properties.h"
#include "asf/header.h"
#include "asf/sample.h"
#include "asf/stream_properties.h"

namespace asf {

// Turns the payloads of consecutive packets into complete samples. Fragments of an object are
// put together by their offsets; an object still incomplete when its stream moves on to another
// object (or at a reset) is dropped. Samples come out in the order they complete.
class SampleAssembler {
public:
    // Objects larger than this are refused: no stream of a real file comes near it, and it
    // bounds what a damaged size field can make us allocate.
    static constexpr uint32_t kMaxObjectSize = uint32_t{32} << 20;

    explicit SampleAssembler(const Header& header);

    // Only these streams are assembled; payloads of others are skipped without copying.
    void setStreamFilter(const std::set<uint8_t>& streams);
    void clearStreamFilter();
    bool wants(unsigned stream) const;

    // Adds the payloads of packet packetNumber, appending the samples they complete to out.
    void addPacket(uint64_t packetNumber, const PacketInfo& info,
                   const std::vector<Payload>& payloads, std::vector<Sample>& out);
    // Forgets every object in progress (after a seek, or at the end of the data).
    void reset();

    // Objects dropped unfinished, and fragments refused (bad offset or size).
    uint64_t droppedObjects() const { return droppedObjects_; }
    uint64_t rejectedFragments() const { return rejectedFragments_; }

private:
    struct StreamState {
        bool known = false;
        std::optional<AudioSpread> spread;
        std::optional<ExtendedStreamProperties> extended;

        bool active = false;
        uint32_t objectSize = 0;
        uint32_t received = 0;
        bool haveFirstFragment = false;
        uint64_t lastPacket = 0;
        // Byte ranges [begin, end) received so far, sorted and disjoint.
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        // The bytes received, as runs of consecutive fragments; joined when the object is
        // complete, so memory follows what arrived rather than what the object claims.
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pieces;
        Sample sample;
    };

    void addPayload(uint64_t packetNumber, const PacketInfo& info, const Payload& p,
                    std::vector<Sample>& out);
    void start(StreamState& s, uint64_t packetNumber, const PacketInfo& info, const Payload& p);
    void takeFirstFragment(StreamState& s, const Payload& p);
    static void store(StreamState& s, const Payload& p);
    // Records [begin, end) as received; returns how many of its bytes were new.
    static uint32_t cover(StreamState& s, uint32_t begin, uint32_t end);
    void finish(StreamState& s, std::vector<Sample>& out);
    void drop(StreamState& s);

    uint32_t preroll_ = 0;
    std::array<StreamState, 128> streams_;
    std::bitset<128> filter_;
    uint64_t droppedObjects_ = 0;
    uint64_t rejectedFragments_ = 0;
};

}  // namespace asf
