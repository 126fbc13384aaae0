#include "asf/header.h"

#include <algorithm>
#include <cstring>

#include "asf/guids.h"

namespace asf {
namespace {

constexpr size_t kHeaderFixedSize = 30;
constexpr size_t kExtensionFixedSize = 22;  // after the object header

// Parses into an optional slot that keeps the first occurrence.
template <typename T>
Status parseOnce(ByteReader& body, std::optional<T>& slot) {
    if (slot) {
        return Status::Ok;
    }
    T value;
    const Status s = value.parse(body);
    if (s == Status::Ok) {
        slot = std::move(value);
    }
    return s;
}

template <typename T>
Status parseAppend(ByteReader& body, std::vector<T>& list) {
    T value;
    const Status s = value.parse(body);
    if (s == Status::Ok) {
        list.push_back(std::move(value));
    }
    return s;
}

class HeaderParser {
public:
    explicit HeaderParser(Header& header) : h_(header) {}

    Status parse(const uint8_t* data, size_t size);

private:
    // Reads the objects of one area (the Header Object's children or the Header Extension's
    // data) that starts areaOffset bytes into the file.
    Status walk(ByteReader& area, size_t areaOffset, bool inExtension);
    Status parseChild(const Guid& guid, ByteReader& body, size_t bodyOffset, bool inExtension);
    Status parseExtension(ByteReader& body, size_t bodyOffset);
    void keepExtendedStreamPropertiesWhole(ByteReader& area, size_t start);
    void buildStreams();
    void detectProtection();

    Header& h_;
    bool haveFileProperties_ = false;
    // Where each of h_.streamProperties starts in the file.
    std::vector<uint64_t> streamOffsets_;
};

Status HeaderParser::parse(const uint8_t* data, size_t size) {
    const auto& headerGuid = kHeaderObject.bytes();
    if (size < 16) {
        // Too short to tell, unless the bytes present already differ.
        if (data == nullptr || size == 0 || std::memcmp(data, headerGuid.data(), size) != 0) {
            return Status::NotAsf;
        }
        return Status::Truncated;
    }
    ByteReader r(data, size);
    if (r.readGuid() != kHeaderObject) {
        return Status::NotAsf;
    }
    h_.size = r.readU64();
    h_.childCount = r.readU32();
    h_.reserved1 = r.readU8();
    h_.reserved2 = r.readU8();
    if (!r.ok()) {
        return Status::Truncated;
    }
    if (h_.size < kHeaderFixedSize) {
        return Status::Malformed;
    }
    if (h_.size > size) {
        return Status::Truncated;
    }
    ByteReader children = r.readSub(static_cast<size_t>(h_.size) - kHeaderFixedSize);
    const Status s = walk(children, kHeaderFixedSize, false);
    if (s != Status::Ok) {
        return s;
    }
    if (!haveFileProperties_) {
        return Status::Malformed;
    }
    buildStreams();
    if (h_.streams.empty()) {
        return Status::Malformed;
    }
    detectProtection();
    return Status::Ok;
}

Status HeaderParser::walk(ByteReader& area, size_t areaOffset, bool inExtension) {
    while (!area.atEnd()) {
        const size_t start = area.position();
        if (area.remaining() < kObjectHeaderSize) {
            h_.problems.push_back({Guid(), areaOffset + start, Status::Malformed});
            break;
        }
        const Guid guid = area.readGuid();
        const uint64_t declared = area.readU64();
        if (declared < kObjectHeaderSize) {
            return Status::Malformed;
        }
        // A child may not outgrow its parent: keep what is there and note the damage.
        uint64_t size = declared;
        if (declared - kObjectHeaderSize > area.remaining()) {
            // The file's own description and its streams cannot be cut short: the writer
            // copies them, and a reader taking what follows for their body reads damage.
            if (guid == kFilePropertiesObject || guid == kStreamPropertiesObject) {
                return Status::Truncated;
            }
            size = kObjectHeaderSize + area.remaining();
            h_.problems.push_back({guid, areaOffset + start, Status::Truncated});
        }
        ByteReader body = area.readSub(static_cast<size_t>(size - kObjectHeaderSize));
        RawObject raw;
        raw.guid = guid;
        raw.offset = areaOffset + start;
        raw.size = declared;
        raw.bytes.assign(area.data() + start, area.data() + start + size);
        (inExtension ? h_.extensionObjects : h_.objects).push_back(std::move(raw));

        const size_t bodyOffset = areaOffset + start + kObjectHeaderSize;
        const Status s = parseChild(guid, body, bodyOffset, inExtension);
        if (s == Status::Ok && guid == kExtendedStreamPropertiesObject) {
            keepExtendedStreamPropertiesWhole(area, start);
        }
        if (s != Status::Ok) {
            // The file's own description and its streams must be readable; anything else is
            // kept raw.
            if (guid == kFilePropertiesObject || guid == kStreamPropertiesObject) {
                return s;
            }
            h_.problems.push_back({guid, areaOffset + start, s});
        }
    }
    return Status::Ok;
}

Status HeaderParser::parseChild(const Guid& guid, ByteReader& body, size_t bodyOffset,
                                bool inExtension) {
    if (guid == kFilePropertiesObject) {
        if (haveFileProperties_) {
            return Status::Ok;
        }
        const Status s = h_.fileProperties.parse(body);
        haveFileProperties_ = s == Status::Ok;
        return s;
    }
    if (guid == kStreamPropertiesObject) {
        StreamProperties spo;
        const Status s = spo.parse(body);
        if (s == Status::Ok) {
            h_.streamProperties.push_back(std::move(spo));
            // The Stream object needs to know where its properties were declared.
            streamOffsets_.push_back(bodyOffset - kObjectHeaderSize);
        }
        return s;
    }
    if (guid == kHeaderExtensionObject) {
        if (inExtension || h_.hasExtension) {
            return Status::Ok;
        }
        return parseExtension(body, bodyOffset);
    }
    if (guid == kExtendedStreamPropertiesObject) {
        ExtendedStreamProperties esp;
        const Status s = esp.parse(body, bodyOffset);
        if (s == Status::Ok) {
            h_.extendedStreamProperties.push_back(std::move(esp));
        }
        return s;
    }
    if (guid == kCodecListObject) {
        return parseOnce(body, h_.codecList);
    }
    if (guid == kScriptCommandObject) {
        return parseOnce(body, h_.scriptCommands);
    }
    if (guid == kMarkerObject) {
        return parseOnce(body, h_.markers);
    }
    if (guid == kBitrateMutualExclusionObject) {
        return parseAppend(body, h_.bitrateMutualExclusions);
    }
    if (guid == kAdvancedMutualExclusionObject) {
        return parseAppend(body, h_.advancedMutualExclusions);
    }
    if (guid == kGroupMutualExclusionObject) {
        return parseAppend(body, h_.groupMutualExclusions);
    }
    if (guid == kBandwidthSharingObject) {
        return parseAppend(body, h_.bandwidthSharing);
    }
    if (guid == kStreamPrioritizationObject) {
        return parseOnce(body, h_.streamPrioritization);
    }
    if (guid == kErrorCorrectionObject) {
        return parseOnce(body, h_.errorCorrection);
    }
    if (guid == kContentDescriptionObject) {
        return parseOnce(body, h_.contentDescription);
    }
    if (guid == kExtendedContentDescriptionObject) {
        return parseOnce(body, h_.extendedContentDescription);
    }
    if (guid == kStreamBitratePropertiesObject) {
        return parseOnce(body, h_.streamBitrates);
    }
    if (guid == kContentBrandingObject) {
        return parseOnce(body, h_.contentBranding);
    }
    if (guid == kContentEncryptionObject) {
        h_.isProtected = true;
        return parseOnce(body, h_.contentEncryption);
    }
    if (guid == kExtendedContentEncryptionObject) {
        h_.isProtected = true;
        return parseOnce(body, h_.extendedContentEncryption);
    }
    if (guid == kAdvancedContentEncryptionObject || guid == kPlayReadyProtectionObject ||
        guid == kAltExtendedContentEncryptionObject) {
        h_.isProtected = true;
        return Status::Ok;
    }
    if (guid == kDigitalSignatureObject) {
        return parseOnce(body, h_.digitalSignature);
    }
    if (guid == kLanguageListObject) {
        return parseOnce(body, h_.languageList);
    }
    if (guid == kMetadataObject) {
        return parseOnce(body, h_.metadata);
    }
    if (guid == kMetadataLibraryObject) {
        return parseOnce(body, h_.metadataLibrary);
    }
    if (guid == kIndexParametersObject) {
        return parseOnce(body, h_.indexParameters);
    }
    if (guid == kCompatibilityObject) {
        return parseOnce(body, h_.compatibility);
    }
    // Padding and unknown objects live on in their raw form only.
    return Status::Ok;
}

namespace {

// Whether an object's header that fits the area starts at `at` (or the area ends there).
bool objectFitsAt(const ByteReader& area, size_t at) {
    if (at == area.size()) {
        return true;
    }
    if (at > area.size() || area.size() - at < kObjectHeaderSize) {
        return false;
    }
    uint64_t size = 0;
    for (int i = 7; i >= 0; --i) {
        size = (size << 8) | area.data()[at + 16 + i];
    }
    return size >= kObjectHeaderSize && size <= area.size() - at;
}

}  // namespace

// Some readers take an Extended Stream Properties Object to end where its content does (the
// optional Stream Properties Object in it read as the next object), others where its size says.
// Bytes between the two are written by no encoder: the object is kept without them, so that
// both kinds read its copies alike, and where its size says it ends in the middle of the next
// object (a size one too large, say) the walk goes on where its content ends.
void HeaderParser::keepExtendedStreamPropertiesWhole(ByteReader& area, size_t start) {
    ExtendedStreamProperties& esp = h_.extendedStreamProperties.back();
    RawObject& raw = h_.extensionObjects.back();
    if (esp.trailing.empty() || raw.bytes.size() < esp.trailing.size() + kObjectHeaderSize) {
        return;
    }
    const size_t contentEnd = start + raw.bytes.size() - esp.trailing.size();
    if (!objectFitsAt(area, area.position()) && objectFitsAt(area, contentEnd)) {
        area.seek(contentEnd);
    }
    raw.bytes.resize(raw.bytes.size() - esp.trailing.size());
    raw.size = raw.bytes.size();
    for (int i = 0; i < 8; ++i) {
        raw.bytes[16 + i] = static_cast<uint8_t>(raw.size >> (8 * i));
    }
    esp.trailing.clear();
    ++h_.repairedObjects;
}

Status HeaderParser::parseExtension(ByteReader& body, size_t bodyOffset) {
    h_.extensionReserved1 = body.readGuid();
    h_.extensionReserved2 = body.readU16();
    h_.extensionDataSize = body.readU32();
    if (!body.ok()) {
        return Status::Truncated;
    }
    h_.hasExtension = true;
    size_t dataSize = body.remaining();
    if (h_.extensionDataSize != dataSize) {
        h_.problems.push_back(
            {kHeaderExtensionObject, bodyOffset - kObjectHeaderSize, Status::Malformed});
        dataSize = std::min<size_t>(dataSize, h_.extensionDataSize);
    }
    ByteReader data = body.readSub(dataSize);
    return walk(data, bodyOffset + kExtensionFixedSize, true);
}

void HeaderParser::buildStreams() {
    for (size_t i = 0; i < h_.streamProperties.size(); ++i) {
        const StreamProperties& spo = h_.streamProperties[i];
        if (h_.findStream(spo.number())) {
            continue;
        }
        Stream stream;
        stream.number = spo.number();
        stream.propertiesOffset = streamOffsets_[i];
        stream.properties = spo;
        h_.streams.push_back(std::move(stream));
    }
    for (const ExtendedStreamProperties& esp : h_.extendedStreamProperties) {
        if (!esp.streamProperties || h_.findStream(esp.streamProperties->number())) {
            continue;
        }
        Stream stream;
        stream.number = esp.streamProperties->number();
        stream.hidden = true;
        stream.propertiesOffset = esp.streamPropertiesOffset;
        stream.properties = *esp.streamProperties;
        h_.streams.push_back(std::move(stream));
    }
    for (Stream& stream : h_.streams) {
        for (const ExtendedStreamProperties& esp : h_.extendedStreamProperties) {
            if (esp.streamNumber == stream.number) {
                stream.extended = esp;
                break;
            }
        }
    }
}

void HeaderParser::detectProtection() {
    for (const Stream& stream : h_.streams) {
        if (stream.properties.encrypted()) {
            h_.isProtected = true;
        }
    }
    for (const ExtendedStreamProperties& esp : h_.extendedStreamProperties) {
        for (const PayloadExtensionSystem& ext : esp.extensionSystems) {
            if (ext.id == kExtEncryptionSampleId) {
                h_.isProtected = true;
            }
        }
    }
    if (h_.extendedContentDescription) {
        static const std::u16string kDrmPrefix = u"DRM_";
        for (const Attribute& a : h_.extendedContentDescription->attributes) {
            if (a.name.compare(0, kDrmPrefix.size(), kDrmPrefix) == 0) {
                h_.isProtected = true;
            }
        }
    }
}

}  // namespace

const Stream* Header::findStream(unsigned number) const {
    for (const Stream& stream : streams) {
        if (stream.number == number) {
            return &stream;
        }
    }
    return nullptr;
}

Status parseHeader(const uint8_t* data, size_t size, Header& out) {
    out = Header();
    HeaderParser parser(out);
    return parser.parse(data, size);
}

}  // namespace asf
