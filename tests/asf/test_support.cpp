#include "asf/test_support.h"

#include <fstream>
#include <iterator>

#include "asf/guids.h"
#include "support/scratch.h"
#include "support/test_files.h"

namespace asf_test {

bool corpusAvailable() {
    return !testsupport::corpusDir().empty();
}

std::vector<std::string> mediaFiles() {
    return testsupport::mediaFilesIn(testsupport::testMediaDir());
}

std::vector<std::string> corpusFiles() {
    return testsupport::mediaFilesIn(testsupport::corpusDir());
}

std::string corpusFile(const std::string& name) {
    return testsupport::corpusDir() + "/" + name;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    static const testsupport::ScratchDir dir("asf-tests");
    testsupport::writeFile(dir / name, std::string(bytes.begin(), bytes.end()));
    return dir / name;
}

Bytes& Bytes::u8(uint8_t v) {
    data.push_back(v);
    return *this;
}

Bytes& Bytes::u16(uint16_t v) {
    return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8));
}

Bytes& Bytes::u32(uint32_t v) {
    return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16));
}

Bytes& Bytes::u64(uint64_t v) {
    return u32(static_cast<uint32_t>(v)).u32(static_cast<uint32_t>(v >> 32));
}

Bytes& Bytes::guid(const asf::Guid& g) {
    data.insert(data.end(), g.bytes().begin(), g.bytes().end());
    return *this;
}

Bytes& Bytes::raw(const std::vector<uint8_t>& v) {
    data.insert(data.end(), v.begin(), v.end());
    return *this;
}

Bytes& Bytes::zeros(size_t n) {
    data.insert(data.end(), n, 0);
    return *this;
}

Bytes& Bytes::utf16(const std::u16string& s, bool terminate) {
    for (char16_t c : s) {
        u16(c);
    }
    if (terminate) {
        u16(0);
    }
    return *this;
}

Bytes object(const asf::Guid& guid, const Bytes& body) {
    Bytes b;
    b.guid(guid).u64(24 + body.size()).raw(body);
    return b;
}

Bytes extendedStreamProperties(uint8_t stream,
                               const std::vector<std::pair<asf::Guid, uint16_t>>& systems,
                               const Bytes& embedded) {
    Bytes b;
    b.u64(0).u64(0).u32(64000).u32(3000).u32(0).u32(64000).u32(3000).u32(0).u32(5000).u32(2);
    b.u16(stream).u16(0).u64(400000).u16(1).u16(static_cast<uint16_t>(systems.size()));
    b.u16(0).u16(10).utf16(u"name");
    for (const auto& [guid, size] : systems) {
        b.guid(guid).u16(size).u32(3).u8(1).u8(2).u8(3);
    }
    b.raw(embedded);
    return object(asf::kExtendedStreamPropertiesObject, b);
}

namespace {
constexpr asf::Guid kTestFileId = asf::Guid::fromString("01234567-89AB-CDEF-0123-456789ABCDEF");
}

Bytes MiniFile::fileProperties() const {
    Bytes b;
    b.guid(kTestFileId).u64(0).u64(0).u64(packets.size());
    b.u64(100000000).u64(70000000).u64(preroll).u32(flags);
    b.u32(packetSize).u32(packetSize).u32(100000);
    return object(asf::kFilePropertiesObject, b);
}

Bytes MiniFile::videoStreamProperties(uint8_t number) {
    Bytes format;
    format.u32(64).u32(48).u8(2).u16(40);
    format.u32(40).u32(64).u32(48).u16(1).u16(24).u32(0x32564D57 /* WMV2 */);
    format.u32(0).u32(0).u32(0).u32(0).u32(0);
    Bytes b;
    b.guid(asf::kStreamTypeVideo).guid(asf::kNoErrorCorrection).u64(0);
    b.u32(static_cast<uint32_t>(format.size())).u32(0).u16(number).u32(0).raw(format);
    return object(asf::kStreamPropertiesObject, b);
}

Bytes MiniFile::audioStreamProperties(uint8_t number, uint8_t span, uint16_t virtualPacket,
                                      uint16_t virtualChunk) {
    Bytes format;
    format.u16(0x161).u16(1).u32(8000).u32(1000).u16(64).u16(16).u16(0);
    Bytes spread;
    spread.u8(span).u16(virtualPacket).u16(virtualChunk).u16(1).u8(0);
    Bytes b;
    b.guid(asf::kStreamTypeAudio).guid(asf::kAudioSpread).u64(0);
    b.u32(static_cast<uint32_t>(format.size())).u32(static_cast<uint32_t>(spread.size()));
    b.u16(number).u32(0).raw(format).raw(spread);
    return object(asf::kStreamPropertiesObject, b);
}

Bytes MiniFile::header() const {
    std::vector<Bytes> children = {
        fileProperties(), videoStreamProperties(1),
        audioStreamProperties(2, audioSpan, audioVirtualPacket, audioVirtualChunk)};
    Bytes extensionData;
    for (const Bytes& o : extensionObjects) {
        extensionData.raw(o);
    }
    Bytes extension;
    extension.guid(asf::kReserved1).u16(6).u32(static_cast<uint32_t>(extensionData.size()));
    extension.raw(extensionData);
    children.push_back(object(asf::kHeaderExtensionObject, extension));
    children.insert(children.end(), extraHeaderObjects.begin(), extraHeaderObjects.end());
    Bytes body;
    body.u32(static_cast<uint32_t>(children.size())).u8(1).u8(2);
    for (const Bytes& c : children) {
        body.raw(c);
    }
    return object(asf::kHeaderObject, body);
}

std::vector<uint8_t> MiniFile::build() const {
    Bytes file = header();
    const uint64_t packetBytes = uint64_t{packetSize} * packets.size();
    file.guid(asf::kDataObject).u64(overrideDataSize ? dataSize : 50 + packetBytes);
    file.guid(kTestFileId).u64(packets.size()).u16(0x0101);
    for (const auto& p : packets) {
        file.raw(p);
    }
    for (const Bytes& o : trailingObjects) {
        file.raw(o);
    }
    return file.data;
}

std::vector<uint8_t> singlePayloadPacket(uint32_t packetSize, uint8_t stream, bool key,
                                         uint8_t objectNumber, uint32_t objectSize, uint32_t offset,
                                         uint32_t time, const std::vector<uint8_t>& data,
                                         uint32_t sendTime) {
    constexpr size_t kOverhead = 28;
    Bytes b;
    b.u8(0x82).u8(0).u8(0);
    // Single payload, padding length as a word, canonical property flags.
    b.u8(0x10).u8(0x5D).u16(static_cast<uint16_t>(packetSize - kOverhead - data.size()));
    b.u32(sendTime).u16(0);
    b.u8(static_cast<uint8_t>(stream | (key ? 0x80 : 0))).u8(objectNumber).u32(offset).u8(8);
    b.u32(objectSize).u32(time).raw(data);
    b.zeros(packetSize - b.size());
    return b.data;
}

}  // namespace asf_test
