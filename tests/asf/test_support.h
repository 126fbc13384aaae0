#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asf/guid.h"

namespace asf_test {

// Whether the corpus of real files is there (see support/test_files.h for the directories).
bool corpusAvailable();
// Generated test media files, and corpus files (.wmv, .wma, .asf), sorted by name.
std::vector<std::string> mediaFiles();
std::vector<std::string> corpusFiles();
std::string corpusFile(const std::string& name);

std::vector<uint8_t> readBytes(const std::string& path);
// Writes bytes to a file in the process's scratch directory (removed at exit) and returns its
// path.
std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

// Builds little-endian byte sequences for hand-made ASF data.
class Bytes {
public:
    Bytes& u8(uint8_t v);
    Bytes& u16(uint16_t v);
    Bytes& u32(uint32_t v);
    Bytes& u64(uint64_t v);
    Bytes& guid(const asf::Guid& g);
    Bytes& raw(const std::vector<uint8_t>& v);
    Bytes& raw(const Bytes& b) { return raw(b.data); }
    Bytes& zeros(size_t n);
    // UTF-16LE text; with the terminator when terminate is set.
    Bytes& utf16(const std::u16string& s, bool terminate = true);

    size_t size() const { return data.size(); }

    std::vector<uint8_t> data;
};

// A whole object: GUID, size (24 + body), body.
Bytes object(const asf::Guid& guid, const Bytes& body);

// An Extended Stream Properties Object for a stream, declaring the given payload extension
// systems (GUID and data size), with a name, and optionally embedding a Stream Properties
// Object.
Bytes extendedStreamProperties(uint8_t stream,
                               const std::vector<std::pair<asf::Guid, uint16_t>>& systems,
                               const Bytes& embedded = Bytes());

// Minimal but complete pieces of a file, for tests that break one thing at a time.
struct MiniFile {
    uint32_t packetSize = 256;
    uint64_t preroll = 3000;
    uint32_t flags = 2;
    std::vector<std::vector<uint8_t>> packets;
    // Extra header children appended after the File Properties and Stream Properties.
    std::vector<Bytes> extraHeaderObjects;
    // Children of the Header Extension Object.
    std::vector<Bytes> extensionObjects;
    // The audio stream's spread parameters.
    uint8_t audioSpan = 1;
    uint16_t audioVirtualPacket = 64;
    uint16_t audioVirtualChunk = 64;
    // Objects written after the Data Object.
    std::vector<Bytes> trailingObjects;
    // When set, replaces the Data Object's size field.
    bool overrideDataSize = false;
    uint64_t dataSize = 0;

    Bytes fileProperties() const;
    static Bytes videoStreamProperties(uint8_t number);
    static Bytes audioStreamProperties(uint8_t number, uint8_t span = 1,
                                       uint16_t virtualPacket = 64, uint16_t virtualChunk = 64);
    Bytes header() const;
    std::vector<uint8_t> build() const;
};

// A packet with error correction bytes and one single payload of a whole object (8 bytes of
// replicated data), padded to packetSize.
std::vector<uint8_t> singlePayloadPacket(uint32_t packetSize, uint8_t stream, bool key,
                                         uint8_t objectNumber, uint32_t objectSize, uint32_t offset,
                                         uint32_t time, const std::vector<uint8_t>& data,
                                         uint32_t sendTime = 0);

}  // namespace asf_test
