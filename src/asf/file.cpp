#include "asf/file.h"

#include <algorithm>
#include <cstring>

#include "asf/byte_reader.h"
#include "asf/data_packet.h"
#include "asf/guids.h"

namespace asf {
namespace {

constexpr size_t kHeaderPrefixSize = 30;
// Headers hold metadata and pictures, never media; anything larger is refused rather than read
// into memory.
constexpr uint64_t kMaxHeaderSize = uint64_t{256} << 20;
constexpr size_t kDataObjectHeaderSize = 50;
// Other readers refuse packet sizes from 2^29 on; no real file comes near.
constexpr uint32_t kMaxPacketSize = uint32_t{1} << 29;
// Objects after the data larger than this are listed but not kept in memory.
constexpr uint64_t kMaxKeptObjectSize = uint64_t{64} << 20;

// Whether 16 bytes at the start of a would-be packet are the GUID of an object that may follow
// the packets (an index) or start a new file appended to this one.
bool startsTopLevelObject(const uint8_t* bytes) {
    const Guid guid = Guid::fromBytes(bytes);
    return guid == kSimpleIndexObject || guid == kIndexObject || guid == kMediaObjectIndexObject ||
           guid == kTimecodeIndexObject || guid == kHeaderObject || guid == kDataObject;
}

}  // namespace

Status File::open(const std::string& path) {
    std::unique_ptr<FileSource> source;
    const Status s = FileSource::open(path, source);
    if (s != Status::Ok) {
        *this = File();
        return s;
    }
    return open(std::move(source));
}

Status File::open(std::unique_ptr<Source> source) {
    *this = File();
    if (!source) {
        return Status::IoError;
    }
    fileSize_ = source->size();
    source_ = std::move(source);
    Status s = readHeader();
    if (s == Status::Ok) {
        s = readDataObject();
    }
    if (s != Status::Ok) {
        // What was parsed stays readable for diagnostics; packets do not.
        source_.reset();
    }
    return s;
}

Status File::readAt(uint64_t offset, size_t n, std::vector<uint8_t>& buf) const {
    buf.resize(n);
    size_t got = 0;
    const Status s = source_->readAt(offset, buf.data(), n, got);
    buf.resize(got);
    return s;
}

Status File::readHeader() {
    std::vector<uint8_t> buf;
    Status s = readAt(0, kHeaderPrefixSize, buf);
    if (s != Status::Ok) {
        return s;
    }
    if (buf.size() < kHeaderPrefixSize) {
        // Lets the header parser tell a foreign file from a short one.
        return parseHeader(buf.data(), buf.size(), header_);
    }
    ByteReader prefix(buf.data(), buf.size());
    if (prefix.readGuid() != kHeaderObject) {
        return Status::NotAsf;
    }
    const uint64_t headerSize = prefix.readU64();
    if (headerSize < kHeaderPrefixSize) {
        return Status::Malformed;
    }
    if (headerSize > fileSize_) {
        return Status::Truncated;
    }
    if (headerSize > kMaxHeaderSize) {
        return Status::Unsupported;
    }
    s = readAt(0, static_cast<size_t>(headerSize), buf);
    if (s != Status::Ok) {
        return s;
    }
    if (buf.size() < headerSize) {
        return Status::Truncated;
    }
    s = parseHeader(buf.data(), buf.size(), header_);
    if (s != Status::Ok) {
        return s;
    }
    const FileProperties& fp = header_.fileProperties;
    if (fp.minPacketSize != fp.maxPacketSize) {
        return Status::Unsupported;
    }
    if (fp.maxPacketSize == 0 || fp.maxPacketSize >= kMaxPacketSize) {
        return Status::Malformed;
    }
    packetSize_ = fp.maxPacketSize;
    return Status::Ok;
}

Status File::readDataObject() {
    data_.offset = header_.size;
    std::vector<uint8_t> buf;
    const Status s = readAt(data_.offset, kDataObjectHeaderSize, buf);
    if (s != Status::Ok) {
        return s;
    }
    if (buf.size() < kObjectHeaderSize) {
        return Status::Truncated;
    }
    ByteReader r(buf.data(), buf.size());
    if (r.readGuid() != kDataObject) {
        return Status::Malformed;
    }
    data_.declaredSize = r.readU64();
    data_.fileId = r.readGuid();
    data_.declaredPacketCount = r.readU64();
    data_.reserved = r.readU16();
    if (!r.ok()) {
        return Status::Truncated;
    }
    data_.firstPacketOffset = data_.offset + kDataObjectHeaderSize;
    if (data_.fileId != header_.fileProperties.fileId) {
        problems_.push_back({kDataObject, data_.offset, Status::Malformed});
    }

    // Live captures leave the size at zero (or at the bare 50 bytes) and may set the broadcast
    // flag while the size is still stale; then the packets run as far as the file goes.
    data_.sizeKnown =
        !header_.fileProperties.broadcast() && data_.declaredSize > kDataObjectHeaderSize;
    uint64_t dataEnd = fileSize_;
    if (data_.sizeKnown) {
        const uint64_t available = fileSize_ - data_.offset;
        if (data_.declaredSize > available) {
            truncated_ = true;
        } else {
            dataEnd = data_.offset + data_.declaredSize;
        }
    } else {
        findPacketEnd(dataEnd);
    }
    const uint64_t bytes = dataEnd - data_.firstPacketOffset;
    packetCount_ = bytes / packetSize_;
    if (bytes % packetSize_ != 0 && dataEnd == fileSize_) {
        truncated_ = true;
        partialPacketBytes_ = static_cast<uint32_t>(bytes % packetSize_);
    }
    if (dataEnd < fileSize_) {
        readTrailingObjects(dataEnd);
    }
    matchSimpleIndexesToStreams();
    return Status::Ok;
}

void File::matchSimpleIndexesToStreams() {
    // Simple indexes name no stream; one per visible video stream, in stream order, is the
    // rule. A file with fewer (a multi-bitrate file whose other streams have no key frame to
    // index) says by its first entry which stream an index serves: the one whose key frame
    // starts in the packet it points at.
    std::vector<uint8_t> videos;
    for (const Stream& stream : header_.streams) {
        if (stream.isVideo() && !stream.hidden) {
            videos.push_back(stream.number);
        }
    }
    if (simpleIndexes_.empty() || simpleIndexes_.size() >= videos.size()) {
        return;
    }
    std::vector<uint8_t> buffer;
    std::vector<Payload> payloads;
    for (SimpleIndex& index : simpleIndexes_) {
        if (index.entries.empty() ||
            readPacket(index.entries.front().packetNumber, buffer) != Status::Ok) {
            continue;
        }
        // A packet that does not parse names no stream: the index keeps the one by rule.
        PacketInfo info;
        if (parsePacket(buffer.data(), buffer.size(), info, payloads) != Status::Ok) {
            continue;
        }
        for (const Payload& p : payloads) {
            if (p.keyFrame && p.offset == 0 &&
                std::find(videos.begin(), videos.end(), p.streamNumber) != videos.end()) {
                index.streamNumber = p.streamNumber;
                break;
            }
        }
    }
}

void File::findPacketEnd(uint64_t& dataEnd) {
    constexpr size_t kGuidSize = 16;
    std::vector<uint8_t> buf;
    // An index may be smaller than a packet, so every packet position with a GUID's worth of
    // bytes is looked at.
    for (uint64_t pos = data_.firstPacketOffset; fileSize_ - pos >= kGuidSize; pos += packetSize_) {
        if (readAt(pos, kGuidSize, buf) != Status::Ok || buf.size() < kGuidSize) {
            return;
        }
        if (startsTopLevelObject(buf.data())) {
            dataEnd = pos;
            return;
        }
        if (fileSize_ - pos < packetSize_) {
            return;
        }
    }
}

void File::readTrailingObjects(uint64_t offset) {
    std::vector<uint8_t> buf;
    while (offset < fileSize_) {
        const uint64_t available = fileSize_ - offset;
        if (available < kObjectHeaderSize || readAt(offset, kObjectHeaderSize, buf) != Status::Ok ||
            buf.size() < kObjectHeaderSize) {
            problems_.push_back({Guid(), offset, Status::Truncated});
            return;
        }
        ByteReader r(buf.data(), buf.size());
        RawObject raw;
        raw.guid = r.readGuid();
        raw.size = r.readU64();
        raw.offset = offset;
        if (raw.size < kObjectHeaderSize) {
            problems_.push_back({raw.guid, offset, Status::Malformed});
            return;
        }
        const uint64_t kept = std::min(raw.size, available);
        // An object whose bytes cannot be read is not taken for what it would say (a half-read
        // index would point at the wrong packets); the objects after it are not looked for.
        const Status s = kept <= kMaxKeptObjectSize
                             ? readAt(offset, static_cast<size_t>(kept), raw.bytes)
                             : Status::Ok;
        if (s != Status::Ok) {
            problems_.push_back({raw.guid, offset, s});
            return;
        }
        const bool cut = raw.size > available;
        if (cut) {
            problems_.push_back({raw.guid, offset, Status::Truncated});
        }
        keepTrailingObject(std::move(raw));
        if (cut) {
            return;
        }
        offset += trailing_.back().size;
    }
}

void File::keepTrailingObject(RawObject raw) {
    const bool isSimpleIndex = raw.guid == kSimpleIndexObject;
    const bool isIndex = raw.guid == kIndexObject && !index_;
    if ((isSimpleIndex || isIndex) && raw.bytes.size() >= kObjectHeaderSize) {
        ByteReader body(raw.bytes.data() + kObjectHeaderSize, raw.bytes.size() - kObjectHeaderSize);
        Status s = Status::Ok;
        if (isSimpleIndex) {
            SimpleIndex si;
            s = si.parse(body);
            // The k-th Simple Index belongs to the k-th visible video stream by number.
            std::vector<uint8_t> videos;
            for (const Stream& stream : header_.streams) {
                if (stream.isVideo() && !stream.hidden) {
                    videos.push_back(stream.number);
                }
            }
            std::sort(videos.begin(), videos.end());
            if (simpleIndexes_.size() < videos.size()) {
                si.streamNumber = videos[simpleIndexes_.size()];
            }
            // A short index still points at real packets; keep the entries that are there.
            simpleIndexes_.push_back(std::move(si));
        } else {
            IndexObject index;
            s = index.parse(body);
            if (s == Status::Ok) {
                index_ = std::move(index);
            }
        }
        if (s != Status::Ok) {
            problems_.push_back({raw.guid, raw.offset, s});
        }
    }
    trailing_.push_back(std::move(raw));
}

Status File::readPacket(uint64_t n, std::vector<uint8_t>& buf) const {
    if (!source_ || n >= packetCount_) {
        buf.clear();
        return Status::Truncated;
    }
    const Status s = readAt(packetOffset(n), packetSize_, buf);
    if (s != Status::Ok) {
        return s;
    }
    return buf.size() == packetSize_ ? Status::Ok : Status::Truncated;
}

Status File::readPackets(uint64_t first, uint64_t count, std::vector<uint8_t>& buf) const {
    if (!source_ || count == 0 || first >= packetCount_ || count > packetCount_ - first) {
        buf.clear();
        return Status::Truncated;
    }
    const uint64_t bytes = count * packetSize_;
    const Status s = readAt(packetOffset(first), static_cast<size_t>(bytes), buf);
    if (s != Status::Ok) {
        return s;
    }
    return buf.size() == bytes ? Status::Ok : Status::Truncated;
}

Status File::readPartialPacket(std::vector<uint8_t>& buf) const {
    if (!source_ || partialPacketBytes_ == 0) {
        buf.clear();
        return Status::Truncated;
    }
    const Status s = readAt(packetOffset(packetCount_), partialPacketBytes_, buf);
    if (s != Status::Ok) {
        return s;
    }
    if (buf.size() != partialPacketBytes_) {
        return Status::Truncated;
    }
    buf.resize(packetSize_, 0);
    return Status::Ok;
}

}  // namespace asf
