#include "asf/sample_reader.h"

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
    if (packet_ >= file_.packetCount()) {
        // Whatever is still unfinished never will be.
        assembler_.reset();
        return false;
    }
    const Status s = file_.readPacket(packet_, buffer_);
    if (s != Status::Ok) {
        status_ = s;
        return false;
    }
    PacketInfo info;
    if (parsePacket(buffer_.data(), buffer_.size(), info, payloads_) != Status::Ok) {
        ++damagedPackets_;
    }
    assembler_.addPacket(packet_, info, payloads_, ready_);
    ++packet_;
    return true;
}

}  // namespace asf
