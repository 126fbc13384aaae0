#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "asf/guid.h"
#include "asf/header.h"
#include "asf/index_object.h"
#include "asf/raw_object.h"
#include "asf/simple_index.h"
#include "asf/source.h"
#include "asf/status.h"

namespace asf {

// The Data Object's own fields and where its packets are.
struct DataObjectInfo {
    uint64_t offset = 0;        // where the Data Object starts in the file
    uint64_t declaredSize = 0;  // its Object Size field (0 or short in live captures)
    Guid fileId;
    uint64_t declaredPacketCount = 0;
    uint16_t reserved = 0;
    uint64_t firstPacketOffset = 0;
    // False when the size field could not be used (broadcast, or too small) and the packets
    // were taken to run until the end of the file or the first object after them.
    bool sizeKnown = false;
};

// An open ASF file: its header, the layout of its Data Object and the objects after it. The
// packets stay on disk; readPacket fetches one at a time with a positioned read.
//
// A File is not copyable. Its const methods may be called from several threads at once.
class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&&) = default;
    File& operator=(File&&) = default;

    // Opens and parses a file. NotAsf for other files and the pre-release format; Truncated
    // when the file ends inside the header or before the Data Object's fields; Unsupported for
    // variable-size packets. Protected content opens normally: header().isProtected says so.
    Status open(const std::string& path);
    // The same over any source (for example bytes in memory).
    Status open(std::unique_ptr<Source> source);
    bool isOpen() const { return source_ != nullptr; }

    const Header& header() const { return header_; }
    const DataObjectInfo& dataObject() const { return data_; }
    uint64_t fileSize() const { return fileSize_; }
    uint32_t packetSize() const { return packetSize_; }
    // The whole packets the file really holds.
    uint64_t packetCount() const { return packetCount_; }
    uint64_t packetOffset(uint64_t n) const { return data_.firstPacketOffset + n * packetSize_; }
    // True when the data ends before what the Data Object or the File Properties declare, or
    // in the middle of a packet.
    bool truncated() const { return truncated_; }

    // Reads packet n (n < packetCount()) into buf, resized to the packet size.
    Status readPacket(uint64_t n, std::vector<uint8_t>& buf) const;
    // Reads packets first to first + count - 1 (all below packetCount()) in one read, into buf.
    // Truncated when fewer bytes than that many whole packets arrived.
    Status readPackets(uint64_t first, uint64_t count, std::vector<uint8_t>& buf) const;
    // A file cut in the middle of a packet ends with this many bytes of packet number
    // packetCount() (0 when it ends on a packet boundary).
    uint32_t partialPacketBytes() const { return partialPacketBytes_; }
    // Reads those bytes into buf, zero-filled to the packet size; Truncated when there are none.
    Status readPartialPacket(std::vector<uint8_t>& buf) const;

    // Simple Index Objects in file order, each with the stream number it belongs to.
    const std::vector<SimpleIndex>& simpleIndexes() const { return simpleIndexes_; }
    const std::optional<IndexObject>& index() const { return index_; }
    // Every top-level object after the Data Object, in file order, raw (indexes included).
    const std::vector<RawObject>& trailingObjects() const { return trailing_; }
    // Damage found outside the header: unusable index objects, an object cut by the end of
    // the file, disagreeing file ids.
    const std::vector<ObjectProblem>& problems() const { return problems_; }

private:
    Status readHeader();
    Status readDataObject();
    void findPacketEnd(uint64_t& dataEnd);
    void readTrailingObjects(uint64_t offset);
    void keepTrailingObject(RawObject raw);
    void matchSimpleIndexesToStreams();
    Status readAt(uint64_t offset, size_t n, std::vector<uint8_t>& buf) const;

    std::unique_ptr<Source> source_;
    uint64_t fileSize_ = 0;
    Header header_;
    DataObjectInfo data_;
    uint32_t packetSize_ = 0;
    uint64_t packetCount_ = 0;
    uint32_t partialPacketBytes_ = 0;
    bool truncated_ = false;
    std::vector<SimpleIndex> simpleIndexes_;
    std::optional<IndexObject> index_;
    std::vector<RawObject> trailing_;
    std::vector<ObjectProblem> problems_;
};

}  // namespace asf
