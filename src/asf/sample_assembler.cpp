#include "asf/sample_assembler.h"

#include <algorithm>
#include <cstring>

#include "asf/guids.h"

namespace asf {
namespace {

// Puts the chunks of a scrambled audio object back in order: descrambled chunk i is stored as
// chunk (i / span) + (i % span) * k, with k chunks per virtual packet.
void descramble(const AudioSpread& spread, std::vector<uint8_t>& data) {
    const size_t chunk = spread.virtualChunkLength;
    const size_t perPacket = spread.virtualPacketLength / chunk;
    const size_t chunks = data.size() / chunk;
    std::vector<uint8_t> ordered(data.size());
    for (size_t i = 0; i < chunks; ++i) {
        const size_t from = i / spread.span + (i % spread.span) * perPacket;
        std::memcpy(ordered.data() + i * chunk, data.data() + from * chunk, chunk);
    }
    data.swap(ordered);
}

}  // namespace

SampleAssembler::SampleAssembler(const Header& header)
    : preroll_(static_cast<uint32_t>(header.preroll())) {
    for (const Stream& stream : header.streams) {
        StreamState& s = streams_[stream.number & 0x7F];
        s.known = true;
        const auto& spread = stream.properties.audioSpread;
        if (spread && spread->descrambles()) {
            s.spread = spread;
        }
        s.extended = stream.extended;
    }
    filter_.set();
}

void SampleAssembler::setStreamFilter(const std::set<uint8_t>& streams) {
    filter_.reset();
    for (uint8_t n : streams) {
        if (n < filter_.size()) {
            filter_.set(n);
        }
    }
    for (size_t n = 0; n < streams_.size(); ++n) {
        if (!filter_.test(n)) {
            drop(streams_[n]);
        }
    }
}

void SampleAssembler::clearStreamFilter() {
    filter_.set();
}

bool SampleAssembler::wants(unsigned stream) const {
    return stream < filter_.size() && filter_.test(stream);
}

void SampleAssembler::addPacket(uint64_t packetNumber, const PacketInfo& info,
                                const std::vector<Payload>& payloads, std::vector<Sample>& out) {
    for (const Payload& p : payloads) {
        addPayload(packetNumber, info, p, out);
    }
}

void SampleAssembler::reset() {
    for (StreamState& s : streams_) {
        drop(s);
    }
}

void SampleAssembler::addPayload(uint64_t packetNumber, const PacketInfo& info,
                                 const Payload& payload, std::vector<Sample>& out) {
    if (!wants(payload.streamNumber)) {
        return;
    }
    StreamState& s = streams_[payload.streamNumber];
    if (!s.known) {
        return;
    }
    Payload p = payload;
    if (!p.hasTime) {
        // Without replicated data a payload is a whole object, timed by its packet.
        p.offset = 0;
        p.objectSize = static_cast<uint32_t>(p.data.size);
        p.presentationTime = info.sendTime + preroll_;
    }
    const bool sameObject = s.active && p.hasTime && !p.compressed &&
                            p.objectNumber == s.sample.objectNumber &&
                            p.presentationTime == s.sample.presentationTimeMs &&
                            (p.objectSize == s.objectSize || p.objectSize == 0);
    if (s.active && !sameObject) {
        drop(s);
    }
    if (!s.active) {
        if (p.objectSize == 0 || p.objectSize > kMaxObjectSize) {
            ++rejectedFragments_;
            return;
        }
        start(s, packetNumber, info, p);
    }
    const uint64_t end = uint64_t{p.offset} + p.data.size;
    if (end > s.objectSize) {
        ++rejectedFragments_;
        return;
    }
    if (p.offset == 0 && !s.haveFirstFragment) {
        takeFirstFragment(s, p);
    }
    if (p.data.empty()) {
        return;
    }
    store(s, p);
    s.received += cover(s, p.offset, static_cast<uint32_t>(end));
    s.lastPacket = packetNumber;
    if (s.received == s.objectSize) {
        finish(s, out);
    }
}

void SampleAssembler::start(StreamState& s, uint64_t packetNumber, const PacketInfo& info,
                            const Payload& p) {
    s.active = true;
    s.objectSize = p.objectSize;
    s.received = 0;
    s.haveFirstFragment = false;
    s.lastPacket = packetNumber;
    s.ranges.clear();
    s.pieces.clear();
    s.sample = Sample();
    s.sample.stream = p.streamNumber;
    s.sample.objectNumber = p.objectNumber;
    s.sample.presentationTimeMs = p.presentationTime;
    s.sample.sendTimeMs = info.sendTime;
    s.sample.startPacket = packetNumber;
}

void SampleAssembler::takeFirstFragment(StreamState& s, const Payload& p) {
    s.haveFirstFragment = true;
    s.sample.cleanPoint = p.keyFrame;
    s.sample.extensionData = p.extensionData.toVector();
    ByteSpan duration;
    if (s.extended && s.extended->findExtension(kExtSampleDuration, p.extensionData, duration) &&
        duration.size >= 2) {
        s.sample.durationMs = static_cast<uint16_t>(duration.data[0] | (duration.data[1] << 8));
    }
}

void SampleAssembler::store(StreamState& s, const Payload& p) {
    // Fragments usually arrive in order: extend the last run.
    if (!s.pieces.empty()) {
        auto& [offset, bytes] = s.pieces.back();
        if (uint64_t{offset} + bytes.size() == p.offset) {
            bytes.insert(bytes.end(), p.data.begin(), p.data.end());
            return;
        }
    }
    s.pieces.emplace_back(p.offset, p.data.toVector());
}

uint32_t SampleAssembler::cover(StreamState& s, uint32_t begin, uint32_t end) {
    auto& ranges = s.ranges;
    uint32_t added = end - begin;
    for (const auto& r : ranges) {
        const uint32_t lo = std::max(begin, r.first);
        const uint32_t hi = std::min(end, r.second);
        if (lo < hi) {
            added -= hi - lo;
        }
    }
    ranges.emplace_back(begin, end);
    std::sort(ranges.begin(), ranges.end());
    size_t kept = 0;
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first <= ranges[kept].second) {
            ranges[kept].second = std::max(ranges[kept].second, ranges[i].second);
        } else {
            ranges[++kept] = ranges[i];
        }
    }
    ranges.resize(kept + 1);
    return added;
}

void SampleAssembler::finish(StreamState& s, std::vector<Sample>& out) {
    Sample& sample = s.sample;
    if (s.pieces.size() == 1 && s.pieces[0].first == 0) {
        sample.data = std::move(s.pieces[0].second);
    } else {
        sample.data.assign(s.objectSize, 0);
        for (const auto& [offset, bytes] : s.pieces) {
            std::memcpy(sample.data.data() + offset, bytes.data(), bytes.size());
        }
    }
    s.pieces.clear();
    sample.packetCount = static_cast<uint32_t>(s.lastPacket - sample.startPacket + 1);
    if (s.spread && sample.data.size() == size_t{s.spread->span} * s.spread->virtualPacketLength) {
        descramble(*s.spread, sample.data);
    }
    out.push_back(std::move(sample));
    s.active = false;
    s.ranges.clear();
}

void SampleAssembler::drop(StreamState& s) {
    if (s.active) {
        ++droppedObjects_;
    }
    s.active = false;
    s.ranges.clear();
    s.pieces.clear();
    s.sample = Sample();
}

}  // namespace asf
