#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "asf/data_packet.h"
#include "asf/file.h"
#include "asf/sample.h"
#include "asf/sample_assembler.h"
#include "asf/status.h"

namespace asf {

// Reads the samples of an open File packet by packet, in the order they complete in the file.
// The File must outlive the reader. One reader belongs to one thread; several readers may share
// a File.
class SampleReader {
public:
    explicit SampleReader(const File& file);

    // Only these streams are read; the others' payloads are skipped without copying.
    void setStreamFilter(const std::set<uint8_t>& streams);
    void clearStreamFilter();

    // Continues from packet n; objects in progress are forgotten.
    void seekToPacket(uint64_t n);
    // The next complete sample. False at the end of the data, or when a read failed (status()
    // then says why).
    bool next(Sample& out);

    Status status() const { return status_; }
    // The packet the reader will read next.
    uint64_t nextPacket() const { return packet_; }
    const SampleAssembler& assembler() const { return assembler_; }

private:
    // Reads and assembles one packet (the partial one a cut file ends with included); false at
    // the end or on a read error.
    bool readOnePacket();
    // Packet packet_ from the read-ahead block, read anew when it does not hold it; null when
    // the block cannot be read whole (the caller then reads the packet alone).
    const uint8_t* packetFromBlock();
    // Drops the payloads of a partial packet that reach past its first `present` bytes.
    void keepPresentPayloads(size_t present);

    const File& file_;
    SampleAssembler assembler_;
    uint64_t packet_ = 0;
    std::vector<uint8_t> buffer_;
    // Packets read ahead in one system call: blockCount_ packets from blockFirst_ on.
    std::vector<uint8_t> block_;
    uint64_t blockFirst_ = 0;
    uint64_t blockCount_ = 0;
    std::vector<Payload> payloads_;
    std::vector<Sample> ready_;
    size_t readyPos_ = 0;
    Status status_ = Status::Ok;
};

}  // namespace asf
