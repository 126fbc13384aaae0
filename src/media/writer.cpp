#include "media/writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <optional>
#include <random>

#include "asf/attribute.h"
#include "asf/byte_writer.h"
#include "asf/guids.h"
#include "asf/header.h"
#include "asf/header_writer.h"
#include "asf/index_builder.h"
#include "asf/media_time.h"
#include "asf/output_file.h"
#include "asf/packet_writer.h"
#include "asf/raw_object.h"
#include "media/header_attributes.h"
#include "platform/text.h"

namespace media {

namespace {

// Room left in a new header for later edits in place, taken by a Padding Object.
constexpr uint64_t kHeaderReserve = 2048;
constexpr uint64_t kDataObjectHeaderSize = 50;
constexpr uint16_t kDataObjectReserved = 0x0101;
constexpr uint64_t kIndexIntervalMs = 1000;
// FILETIME of the Unix epoch.
constexpr uint64_t kUnixEpochFiletime = 116444736000000000ull;

asf::Guid newFileId() {
    std::random_device random;
    std::array<uint8_t, 16> bytes;
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    // A version 4 (random) GUID.
    bytes[7] = static_cast<uint8_t>((bytes[7] & 0x0F) | 0x40);
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
    return asf::Guid::fromBytes(bytes.data());
}

uint64_t nowAsFiletime() {
    using namespace std::chrono;
    const auto since = system_clock::now().time_since_epoch();
    return kUnixEpochFiletime +
           static_cast<uint64_t>(duration_cast<microseconds>(since).count()) * 10;
}

// Reads a stream number out of a Stream Properties or Extended Stream Properties Object.
uint8_t streamNumberAt(const std::vector<uint8_t>& object, std::size_t offset) {
    return object.size() >= offset + 2 ? static_cast<uint8_t>(object[offset] & 0x7F) : 0;
}

constexpr std::size_t kEspStartTimeAt = asf::kObjectHeaderSize;
constexpr std::size_t kEspEndTimeAt = asf::kObjectHeaderSize + 8;
constexpr std::size_t kEspStreamNumberAt = asf::kObjectHeaderSize + 48;

void patch64(std::vector<uint8_t>& bytes, std::size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

uint64_t read64(const std::vector<uint8_t>& bytes, std::size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = v << 8 | bytes[at + i];
    }
    return v;
}

}  // namespace

// What the writer keeps of one stream of the profile while it writes.
struct StreamState {
    bool present = false;
    // Visible video streams get a Simple Index of their key frames.
    bool indexed = false;
    // The payload extension data of every sample: zeros (or zero lengths) where this runtime
    // has nothing to say, and two places filled per sample.
    std::vector<uint8_t> extension;
    int durationAt = -1;
    int cleanPointAt = -1;
    std::optional<asf::AudioSpread> spread;
    uint64_t samples = 0;
    uint64_t firstTime = UINT64_MAX;  // ms, with the preroll
    uint64_t endTime = 0;             // ms, with the preroll
    std::vector<asf::KeyFrameSpot> keyFrames;
};

// The file being written and the packet layout, from BeginWriting to EndWriting.
struct Writer::Output final : asf::PacketSink {
    Output(uint32_t packetSize) : packets(packetSize, *this) {}

    bool writePacket(const uint8_t* data, std::size_t size) override {
        return file.append(data, size);
    }

    // Lowers the send times packets were given to settled ones, in the file.
    bool settleSendTimes();
    // Appends a Simple Index for each visible video stream that has key frames; says whether
    // every one of them has, which seeking needs.
    bool appendIndexes(bool& everyVideoIndexed);
    // Gives the Extended Stream Properties that state a stream's first and last times the
    // times of what was written.
    void setStreamTimes(asf::HeaderLayout& layout) const;
    std::vector<uint8_t> dataObjectHeader() const;

    asf::OutputFile file;
    asf::PacketWriter packets;
    std::shared_ptr<const asf::Header> source;
    std::array<StreamState, 128> streams;
    asf::HeaderMetadata metadata;
    asf::FileProperties properties;
    uint64_t headerSize = 0;
    uint64_t endTime = 0;  // 100 ns, without the preroll: where the last sample ends
    std::vector<uint8_t> scratch;
};

namespace {

// The extension bytes a stream's samples carry, as the stream declares them.
void prepareExtensions(const asf::Stream& stream, const HeaderData& header, StreamState& s) {
    if (!stream.extended) {
        return;
    }
    for (const asf::PayloadExtensionSystem& ext : stream.extended->extensionSystems) {
        const int at = static_cast<int>(s.extension.size());
        if (ext.variableSize()) {
            s.extension.insert(s.extension.end(), 2, 0);  // a zero length: no data
            continue;
        }
        s.extension.insert(s.extension.end(), ext.dataSize, 0);
        if (ext.id == asf::kExtSampleDuration && ext.dataSize >= 2) {
            s.durationAt = at;
        } else if (ext.id == asf::kExtOutputCleanPoint && ext.dataSize >= 1) {
            s.cleanPointAt = at;
        } else if (ext.id == asf::kExtPixelAspectRatio && ext.dataSize >= 2) {
            // The stream's own aspect attributes when they fit, else square pixels: a stream
            // with other pixels says so in those attributes.
            const Attribute* x = header.find(stream.number, u"AspectRatioX");
            const Attribute* y = header.find(stream.number, u"AspectRatioY");
            const bool given = x && y && asf::littleEndian(x->value) > 0 &&
                               asf::littleEndian(x->value) < 256 &&
                               asf::littleEndian(y->value) > 0 && asf::littleEndian(y->value) < 256;
            s.extension[at] = given ? static_cast<uint8_t>(asf::littleEndian(x->value)) : 1;
            s.extension[at + 1] = given ? static_cast<uint8_t>(asf::littleEndian(y->value)) : 1;
        }
    }
}

// The new file's header: the source's stream objects byte for byte, new file properties and
// the given metadata. What described the source's data (markers, index parameters) or guarded
// it (signatures, encryption) does not carry over.
asf::HeaderLayout outputLayout(const asf::Header& source, const asf::FileProperties& fp,
                               const asf::HeaderMetadata& metadata) {
    asf::ByteWriter w;
    fp.write(w);
    asf::HeaderRewrite rewrite;
    rewrite.replace[asf::kFilePropertiesObject] = w.take();
    asf::replaceMetadata(metadata, nullptr, rewrite);
    for (const asf::Guid& g :
         {asf::kMarkerObject, asf::kDigitalSignatureObject, asf::kContentEncryptionObject,
          asf::kExtendedContentEncryptionObject, asf::kIndexParametersObject,
          asf::kMediaObjectIndexParametersObject, asf::kMediaObjectIndexParametersObjectAlt,
          asf::kTimecodeIndexParametersObject, asf::kIndexPlaceholderObject,
          asf::kAdvancedContentEncryptionObject, asf::kPlayReadyProtectionObject,
          asf::kAltExtendedContentEncryptionObject}) {
        rewrite.drop.insert(g);
    }
    return asf::rewriteLayout(source, rewrite);
}

// The source's header without the objects that did not parse whole. Copied byte for byte, such
// an object would carry its damage (a size beyond its bytes, a body cut off) into the new file,
// and other players stop at it.
std::shared_ptr<const asf::Header> withoutDamagedObjects(
    const std::shared_ptr<const asf::Header>& header) {
    if (header->problems.empty()) {
        return header;
    }
    auto cleaned = std::make_shared<asf::Header>(*header);
    auto damaged = [&](const asf::RawObject& raw) {
        return std::any_of(header->problems.begin(), header->problems.end(),
                           [&](const asf::ObjectProblem& p) {
                               return p.offset == raw.offset && p.guid == raw.guid;
                           });
    };
    for (auto* objects : {&cleaned->objects, &cleaned->extensionObjects}) {
        objects->erase(std::remove_if(objects->begin(), objects->end(), damaged), objects->end());
    }
    return cleaned;
}

// Whether our own reader takes the header about to be written as whole, with the streams of
// the source: a file is only ever called written once it would open again. An object copied
// from a damaged source that slipped through would otherwise be found by the next player.
bool readsBack(const std::vector<uint8_t>& bytes, const asf::Header& source) {
    asf::Header header;
    if (asf::parseHeader(bytes.data(), bytes.size(), header) != asf::Status::Ok ||
        !header.problems.empty() || header.repairedObjects != 0 ||
        header.streams.size() != source.streams.size()) {
        return false;
    }
    for (std::size_t i = 0; i < header.streams.size(); ++i) {
        if (header.streams[i].number != source.streams[i].number) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool Writer::Output::settleSendTimes() {
    // Each packet was given the earliest limit of its own payloads; a later packet may hold an
    // earlier one.
    std::vector<uint32_t> settled = packets.sendTimes();
    asf::settleSendTimes(settled);
    const uint64_t firstPacketAt = headerSize + kDataObjectHeaderSize;
    for (uint64_t i = 0; i < settled.size(); ++i) {
        if (settled[i] == packets.sendTimes()[i]) {
            continue;
        }
        uint8_t value[4];
        for (int b = 0; b < 4; ++b) {
            value[b] = static_cast<uint8_t>(settled[i] >> (8 * b));
        }
        const uint64_t at = firstPacketAt + i * packets.packetSize() + packets.sendTimeOffset();
        if (!file.writeAt(at, value, sizeof value)) {
            return false;
        }
    }
    return true;
}

bool Writer::Output::appendIndexes(bool& everyVideoIndexed) {
    everyVideoIndexed = true;
    // Without packets there is nothing to index, and an object right after an empty Data
    // Object would be read as packets by readers that take a data size of zero as unknown.
    if (packets.packetCount() == 0) {
        return true;
    }
    const uint64_t endTimeMs = asf::toMilliseconds(endTime) + properties.preroll;
    asf::ByteWriter w;
    for (const StreamState& s : streams) {
        if (s.indexed) {
            everyVideoIndexed = everyVideoIndexed && !s.keyFrames.empty();
        }
        // An index without entries only misleads: a reader counts it as the stream's and
        // calls the file seekable (the other streams of a multi-bitrate file, say, that carry
        // no key frame).
        if (s.indexed && !s.keyFrames.empty()) {
            asf::buildSimpleIndex(s.keyFrames, endTimeMs, kIndexIntervalMs, properties.fileId)
                .write(w);
        }
    }
    return file.append(w.bytes());
}

void Writer::Output::setStreamTimes(asf::HeaderLayout& layout) const {
    for (std::vector<uint8_t>& object : layout.extensionObjects) {
        if (object.size() < kEspStreamNumberAt + 2 ||
            asf::Guid::fromBytes(object.data()) != asf::kExtendedStreamPropertiesObject) {
            continue;
        }
        const StreamState& s = streams[streamNumberAt(object, kEspStreamNumberAt)];
        if (read64(object, kEspStartTimeAt) != 0) {
            patch64(object, kEspStartTimeAt, s.samples > 0 ? s.firstTime : 0);
        }
        if (read64(object, kEspEndTimeAt) != 0) {
            patch64(object, kEspEndTimeAt, s.samples > 0 ? s.endTime : 0);
        }
    }
}

std::vector<uint8_t> Writer::Output::dataObjectHeader() const {
    asf::ByteWriter w;
    w.guid(asf::kDataObject);
    w.u64(kDataObjectHeaderSize + packets.packetCount() * packets.packetSize());
    w.guid(properties.fileId);
    w.u64(packets.packetCount());
    w.u16(kDataObjectReserved);
    return w.take();
}

const IID IID_WriterLength = GUID::fromString("5B1C2F1E-6C55-4E55-9D2B-5752544C454E");

HRESULT WMCreateWriter(IUnknown*, IWMWriter** ppWriter) {
    if (!ppWriter) {
        return E_POINTER;
    }
    *ppWriter = new ComObject<Writer>();
    return S_OK;
}

Writer::Writer() = default;

Writer::~Writer() = default;

HRESULT Writer::QueryInterface(REFIID riid, void** ppv) {
    return queryInterface(riid, ppv,
                          {{{IID_IUnknown, IID_IWMWriter}, static_cast<IWMWriter*>(this)},
                           {{IID_IWMWriterAdvanced}, static_cast<IWMWriterAdvanced*>(this)},
                           {{IID_WriterLength}, static_cast<WriterLength*>(this)},
                           {{IID_IWMHeaderInfo, IID_IWMHeaderInfo2, IID_IWMHeaderInfo3},
                            static_cast<IWMHeaderInfo3*>(this)}});
}

HeaderData* Writer::headerData() {
    std::lock_guard<std::mutex> guard(lock_);
    return profile_ ? &header_ : nullptr;
}

bool Writer::headerWritable() const {
    std::lock_guard<std::mutex> guard(lock_);
    return state_ == State::Ready;
}

HRESULT Writer::checkAttribute(const Attribute& attribute) {
    HRESULT hr = checkStorable(attribute);
    if (FAILED(hr)) {
        return hr;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (attribute.stream != 0 && !profile_->source->findStream(attribute.stream)) {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT Writer::AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) {
    if (pwszType && pwszCommand &&
        (std::u16string(pwszType).size() >= 0xFFFF ||
         std::u16string(pwszCommand).size() >= 0xFFFF || !scriptTimeStorable(cnsScriptTime) ||
         header_.scripts.size() >= 0xFFFF)) {
        return E_INVALIDARG;
    }
    return HeaderInfoBase::AddScript(pwszType, pwszCommand, cnsScriptTime);
}

HRESULT Writer::AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription,
                             WMT_CODEC_INFO_TYPE codecType, WORD cbCodecInfo,
                             const BYTE* pbCodecInfo) {
    if (pwszName && pwszDescription &&
        (std::u16string(pwszName).size() >= 0xFFFF ||
         std::u16string(pwszDescription).size() >= 0xFFFF)) {
        return E_INVALIDARG;
    }
    return HeaderInfoBase::AddCodecInfo(pwszName, pwszDescription, codecType, cbCodecInfo,
                                        pbCodecInfo);
}

HRESULT Writer::SetMinimumDuration(QWORD cnsDuration) {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != State::Ready && state_ != State::Writing) {
        return ASF_E_INVALIDSTATE;
    }
    minimumDuration_ = cnsDuration;
    return S_OK;
}

HRESULT Writer::fail(HRESULT hr) {
    state_ = State::Failed;
    failure_ = hr;
    if (output_) {
        output_->file.abandon();
    }
    return hr;
}

HRESULT Writer::SetProfile(IWMProfile* pProfile) {
    if (!pProfile) {
        return E_POINTER;
    }
    ComPtr<ProfileDataSource> source;
    if (FAILED(pProfile->QueryInterface(IID_ProfileDataSource, source.putVoid()))) {
        // Only profiles read from a file carry what a stream needs byte for byte.
        return E_INVALIDARG;
    }
    std::shared_ptr<const ProfileData> data = source->profileData();
    if (!data || !data->source || data->streams.empty()) {
        return E_INVALIDARG;
    }
    const asf::Header& header = *data->source;
    if (header.isProtected) {
        return NS_E_DRM_NO_RIGHTS;
    }
    const uint32_t packetSize = header.fileProperties.maxPacketSize;
    if (packetSize == 0 || packetSize != header.fileProperties.minPacketSize) {
        return ASF_E_UNKNOWNPACKETSIZE;
    }
    for (const asf::Stream& stream : header.streams) {
        StreamState probe;
        prepareExtensions(stream, HeaderData(), probe);
        if (!asf::PacketWriter::fits(packetSize, probe.extension.size())) {
            return ASF_E_BADMEDIATYPE;
        }
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != State::Created && state_ != State::Ready) {
        return ASF_E_INVALIDSTATE;
    }
    profile_ = std::move(data);
    header_ = HeaderData();
    state_ = State::Ready;
    return S_OK;
}

HRESULT Writer::SetOutputFilename(LPCWSTR pwszFilename) {
    if (!pwszFilename || !*pwszFilename) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ == State::Writing) {
        return ASF_E_INVALIDSTATE;
    }
    outputPath_ = pwszFilename;
    return S_OK;
}

HRESULT Writer::GetInputCount(DWORD* pcInputs) {
    if (!pcInputs) {
        return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!profile_) {
        return ASF_E_INVALIDSTATE;
    }
    *pcInputs = static_cast<DWORD>(profile_->streams.size());
    return S_OK;
}

HRESULT Writer::SetInputProps(DWORD dwInputNum, IWMInputMediaProps* pInput) {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != State::Ready) {
        return ASF_E_INVALIDSTATE;
    }
    if (dwInputNum >= profile_->streams.size()) {
        return E_INVALIDARG;
    }
    // Without a format the input takes compressed samples as they are; this runtime encodes
    // nothing, so any other format is refused.
    return pInput ? ASF_E_BADMEDIATYPE : S_OK;
}

HRESULT Writer::BeginWriting() {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ != State::Ready || outputPath_.empty()) {
        return ASF_E_INVALIDSTATE;
    }
    const asf::Header& source = *profile_->source;
    auto out = std::make_unique<Output>(source.fileProperties.maxPacketSize);
    out->source = withoutDamagedObjects(profile_->source);
    for (const asf::Stream& stream : source.streams) {
        StreamState& s = out->streams[stream.number & 0x7F];
        s.present = true;
        s.indexed = stream.isVideo() && !stream.hidden;
        prepareExtensions(stream, header_, s);
        if (stream.properties.audioSpread && stream.properties.audioSpread->descrambles()) {
            s.spread = stream.properties.audioSpread;
        }
    }
    out->metadata = storedMetadata(header_);

    // Until EndWriting the file calls itself a broadcast whose sizes are unknown.
    asf::FileProperties& fp = out->properties;
    fp.fileId = newFileId();
    fp.creationDate = nowAsFiletime();
    fp.preroll = source.fileProperties.preroll;
    fp.flags = asf::FileProperties::kBroadcast;
    fp.minPacketSize = fp.maxPacketSize = source.fileProperties.maxPacketSize;
    fp.maxBitrate = source.fileProperties.maxBitrate;

    output_ = std::move(out);
    Output& o = *output_;
    const asf::HeaderLayout layout = outputLayout(*o.source, fp, o.metadata);
    std::vector<uint8_t> header;
    o.headerSize = asf::headerSize(layout) + kHeaderReserve;
    if (!asf::writeHeader(layout, o.headerSize, header)) {
        return fail(ASF_E_INVALIDHEADER);
    }
    if (!o.file.create(platform::utf16ToUtf8(outputPath_))) {
        return fail(hresultFromErrno(o.file.error()));
    }
    if (!o.file.append(header) || !o.file.append(o.dataObjectHeader())) {
        return fail(hresultFromErrno(o.file.error()));
    }
    state_ = State::Writing;
    return S_OK;
}

HRESULT Writer::WriteStreamSample(WORD wStreamNum, QWORD cnsSampleTime, DWORD,
                                  QWORD cnsSampleDuration, DWORD dwFlags, INSSBuffer* pSample) {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ == State::Failed) {
        return failure_;
    }
    if (state_ != State::Writing) {
        return ASF_E_INVALIDSTATE;
    }
    if (!pSample) {
        return E_POINTER;
    }
    Output& o = *output_;
    if (wStreamNum == 0 || wStreamNum > 127 || !o.streams[wStreamNum].present) {
        return E_INVALIDARG;
    }
    BYTE* bytes = nullptr;
    DWORD length = 0;
    HRESULT hr = pSample->GetBufferAndLength(&bytes, &length);
    if (FAILED(hr)) {
        return hr;
    }
    const uint64_t preroll = o.properties.preroll;
    const uint64_t presentation = asf::toMilliseconds(cnsSampleTime) + preroll;
    // The container's times are 32-bit milliseconds: a sample cannot end past them either.
    if (presentation > UINT32_MAX || cnsSampleDuration > UINT64_MAX - cnsSampleTime ||
        asf::toMilliseconds(cnsSampleTime + cnsSampleDuration) + preroll > UINT32_MAX) {
        return E_INVALIDARG;
    }
    if (length == 0) {
        return S_OK;  // an empty object carries nothing a reader could return
    }
    StreamState& s = o.streams[wStreamNum];
    const bool cleanPoint = (dwFlags & WM_SF_CLEANPOINT) != 0;
    if (s.durationAt >= 0) {
        const QWORD ms = std::min<QWORD>(asf::toMilliseconds(cnsSampleDuration), 0xFFFF);
        s.extension[s.durationAt] = static_cast<uint8_t>(ms);
        s.extension[s.durationAt + 1] = static_cast<uint8_t>(ms >> 8);
    }
    if (s.cleanPointAt >= 0) {
        s.extension[s.cleanPointAt] = cleanPoint ? 1 : 0;
    }
    asf::MediaObject object;
    object.stream = static_cast<uint8_t>(wStreamNum);
    object.keyFrame = cleanPoint;
    object.presentationTime = static_cast<uint32_t>(presentation);
    object.sendLimit = static_cast<uint32_t>(asf::toMilliseconds(cnsSampleTime));
    object.data = {bytes, length};
    object.extensionData = {s.extension.data(), s.extension.size()};
    if (s.spread) {
        // Readers hand out audio spread objects in their natural order; the stream still
        // declares the spread, so they go back to the file interleaved.
        o.scratch.assign(bytes, bytes + length);
        asf::scrambleAudioSpread(*s.spread, o.scratch);
        object.data = {o.scratch.data(), o.scratch.size()};
    }
    asf::Placement placement;
    if (!o.packets.add(object, placement)) {
        return fail(hresultFromErrno(o.file.error()));
    }
    ++s.samples;
    // A sample without a duration still takes the container's 1 ms, so that the file's length
    // holds it (a length ending at its start would leave it out of a stretch "to the end").
    const uint64_t end =
        cnsSampleTime + std::max<QWORD>(cnsSampleDuration, asf::kTicksPerMillisecond);
    o.endTime = std::max(o.endTime, end);
    s.firstTime = std::min(s.firstTime, presentation);
    s.endTime = std::max(s.endTime, asf::toMilliseconds(end) + preroll);
    if (s.indexed && cleanPoint) {
        s.keyFrames.push_back(
            {object.presentationTime, placement.firstPacket, placement.packetCount});
    }
    return S_OK;
}

HRESULT Writer::EndWriting() {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_ == State::Failed) {
        return failure_;
    }
    if (state_ != State::Writing) {
        return ASF_E_INVALIDSTATE;
    }
    Output& o = *output_;
    // A file without samples stays without length.
    if (std::any_of(o.streams.begin(), o.streams.end(),
                    [](const StreamState& s) { return s.samples > 0; })) {
        o.endTime = std::max<uint64_t>(o.endTime, minimumDuration_);
    }
    bool everyVideoIndexed = true;
    if (!o.packets.finish() || !o.settleSendTimes() || !o.appendIndexes(everyVideoIndexed)) {
        return fail(hresultFromErrno(o.file.error()));
    }
    asf::FileProperties& fp = o.properties;
    fp.fileSize = o.file.size();
    fp.dataPacketsCount = o.packets.packetCount();
    fp.playDuration = o.endTime + asf::fromMilliseconds(fp.preroll);
    fp.sendDuration = o.endTime;
    fp.flags = fp.dataPacketsCount > 0 && everyVideoIndexed ? asf::FileProperties::kSeekable : 0;

    // Stream attributes that count frames now count what was written.
    HeaderData finalHeader = header_;
    for (Attribute& a : finalHeader.attributes) {
        if (a.stream != 0 && a.name == u"NumberOfFrames" &&
            (a.type == WMT_TYPE_QWORD || a.type == WMT_TYPE_DWORD)) {
            a.value = attributeValue(o.streams[a.stream & 0x7F].samples, a.type);
        }
    }
    asf::HeaderLayout layout = outputLayout(*o.source, fp, storedMetadata(finalHeader));
    o.setStreamTimes(layout);
    // Only fixed-size values changed since BeginWriting, so the header fills the same place.
    std::vector<uint8_t> header;
    if (!asf::writeHeader(layout, o.headerSize, header)) {
        return fail(ASF_E_INVALIDHEADER);
    }
    if (!readsBack(header, *o.source)) {
        return fail(ASF_E_INVALIDHEADER);
    }
    const std::vector<uint8_t> data = o.dataObjectHeader();
    if (!o.file.writeAt(0, header.data(), header.size()) ||
        !o.file.writeAt(o.headerSize, data.data(), data.size()) || !o.file.commit(false)) {
        return fail(hresultFromErrno(o.file.error()));
    }
    state_ = State::Finished;
    output_.reset();
    return S_OK;
}

}  // namespace media
