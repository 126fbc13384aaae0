#include "asf/sample_reader.h"

#include <algorithm>

namespace asf {

SampleReader::SampleReader(const File& file) : file_(file), assembler_(file.header()) {}

void SampleReader::setStreamFilter(const std::set<uint8_t>& streams) {
    assembler_.setStreamFilter(streams);
}

void SampleReader::clearStreamFilter() {
    assembler_.clearStreamFilter();
}

void SampleReader::seekToPacket(uint64_t n) {
    assembler_.reset();
    ready_.clear();
    readyPos_ = 0;
    packet_ = n;
    status_ = Status::Ok;
}

bool SampleReader::next(Sample& out) {
    while (readyPos_ == ready_.size()) {
        ready_.clear();
        readyPos_ = 0;
        if (!readOnePacket()) {
            return false;
        }
    }
    out = std::move(ready_[readyPos_++]);
    return true;
}

bool SampleReader::readOnePacket() {
    if (status_ != Status::Ok) {
        return false;
    }
    const bool partial = packet_ == file_.packetCount() && file_.partialPacketBytes() > 0;
    if (packet_ > file_.packetCount() || (packet_ == file_.packetCount() && !partial)) {
        // Whatever is still unfinished never will be.
        assembler_.reset();
        return false;
    }
    const uint8_t* packet = partial ? nullptr : packetFromBlock();
    if (!packet) {
        const Status s =
            partial ? file_.readPartialPacket(buffer_) : file_.readPacket(packet_, buffer_);
        if (s != Status::Ok) {
            status_ = s;
            return false;
        }
        packet = buffer_.data();
    }
    PacketInfo info;
    // A packet that does not parse whole still gives the payloads before the damage.
    static_cast<void>(parsePacket(packet, file_.packetSize(), info, payloads_));
    if (partial) {
        keepPresentPayloads(file_.partialPacketBytes());
    }
    assembler_.addPacket(packet_, info, payloads_, ready_);
    ++packet_;
    return true;
}

const uint8_t* SampleReader::packetFromBlock() {
    // About 64 KiB per read: a few hundred reads for a whole file rather than one per packet.
    constexpr uint64_t kBlockBytes = 64 * 1024;
    const uint64_t size = file_.packetSize();
    if (size == 0) {
        return nullptr;
    }
    if (packet_ < blockFirst_ || packet_ - blockFirst_ >= blockCount_) {
        blockCount_ = 0;
        const uint64_t count = std::min<uint64_t>(std::max<uint64_t>(kBlockBytes / size, 1),
                                                  file_.packetCount() - packet_);
        if (file_.readPackets(packet_, count, block_) != Status::Ok) {
            return nullptr;
        }
        blockFirst_ = packet_;
        blockCount_ = count;
    }
    return block_.data() + (packet_ - blockFirst_) * size;
}

void SampleReader::keepPresentPayloads(size_t present) {
    // The packet was cut by the end of the file: a payload that reaches into the missing part
    // would complete its object with bytes that are not there.
    const uint8_t* end = buffer_.data() + present;
    payloads_.erase(std::remove_if(payloads_.begin(), payloads_.end(),
                                   [end](const Payload& p) {
                                       return p.data.end() > end || p.replicatedData.end() > end;
                                   }),
                    payloads_.end());
}

}  // namespace asf
