#include "asf/extended_stream_properties.h"

#include "asf/guids.h"
#include "asf/raw_object.h"

namespace asf {
namespace {

constexpr size_t kStreamNameMinSize = 4;
constexpr size_t kExtensionSystemMinSize = 22;

}  // namespace

bool ExtendedStreamProperties::findExtension(const Guid& system, ByteSpan extensionData,
                                             ByteSpan& out) const {
    ByteReader r(extensionData);
    for (const PayloadExtensionSystem& ext : extensionSystems) {
        const size_t size = ext.variableSize() ? r.readU16() : ext.dataSize;
        const ByteSpan data = r.readSpan(size);
        if (!r.ok()) {
            return false;
        }
        if (ext.id == system) {
            out = data;
            return true;
        }
    }
    return false;
}

Status ExtendedStreamProperties::parse(ByteReader& body, uint64_t bodyOffset) {
    startTime = body.readU64();
    endTime = body.readU64();
    dataBitrate = body.readU32();
    bufferSize = body.readU32();
    initialBufferFullness = body.readU32();
    alternateDataBitrate = body.readU32();
    alternateBufferSize = body.readU32();
    alternateInitialBufferFullness = body.readU32();
    maxObjectSize = body.readU32();
    flags = body.readU32();
    streamNumber = body.readU16();
    languageIndex = body.readU16();
    averageTimePerFrame = body.readU64();
    const uint16_t nameCount = body.readU16();
    const uint16_t systemCount = body.readU16();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (nameCount > body.remaining() / kStreamNameMinSize) {
        return Status::Malformed;
    }
    names.clear();
    for (uint16_t i = 0; i < nameCount; ++i) {
        StreamName n;
        n.languageIndex = body.readU16();
        n.name = body.readUtf16Bytes(body.readU16());
        names.push_back(std::move(n));
    }
    if (systemCount > body.remaining() / kExtensionSystemMinSize) {
        return body.ok() ? Status::Malformed : Status::Truncated;
    }
    extensionSystems.clear();
    for (uint16_t i = 0; i < systemCount; ++i) {
        PayloadExtensionSystem ext;
        ext.id = body.readGuid();
        ext.dataSize = body.readU16();
        ext.info = body.readBytes(body.readU32());
        extensionSystems.push_back(std::move(ext));
    }
    if (!body.ok()) {
        return Status::Truncated;
    }
    streamProperties.reset();
    streamPropertiesOffset = 0;
    trailing.clear();
    if (body.remaining() >= kObjectHeaderSize) {
        const size_t start = body.position();
        const Guid guid = body.readGuid();
        const uint64_t size = body.readU64();
        if (guid == kStreamPropertiesObject) {
            if (size < kObjectHeaderSize || size - kObjectHeaderSize > body.remaining()) {
                return Status::Malformed;
            }
            ByteReader inner = body.readSub(static_cast<size_t>(size - kObjectHeaderSize));
            StreamProperties spo;
            const Status s = spo.parse(inner);
            if (s != Status::Ok) {
                return s;
            }
            streamProperties = std::move(spo);
            streamPropertiesOffset = bodyOffset + start;
        } else {
            body.seek(start);
        }
    }
    trailing = body.readBytes(body.remaining());
    return Status::Ok;
}

}  // namespace asf
