#include "media/source_info.h"

#include <algorithm>
#include <cstring>

#include "asf/file.h"
#include "asf/guids.h"
#include "asf/header_writer.h"
#include "asf/media_time.h"
#include "media/header_attributes.h"

namespace media {

namespace {

void addDerived(HeaderData& data, const char16_t* name, QWORD value, WMT_ATTR_DATATYPE type) {
    Attribute a;
    a.name = name;
    a.type = type;
    a.value = attributeValue(value, type);
    data.attributes.push_back(std::move(a));
}

template <class T>
void put(std::vector<BYTE>& out, const T& value) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), p, p + sizeof value);
}

StreamDescription describeStream(const asf::Header& header, const asf::Stream& stream) {
    const asf::StreamProperties& sp = stream.properties;
    StreamDescription d;
    d.number = stream.number;
    if (header.streamBitrates) {
        for (const asf::StreamBitrate& b : header.streamBitrates->records) {
            if (b.streamNumber() == stream.number) {
                d.bitrate = b.averageBitrate;
            }
        }
    }
    if (d.bitrate == 0 && stream.extended) {
        d.bitrate = stream.extended->dataBitrate;
    }
    if (sp.video) {
        const asf::VideoFormat& v = *sp.video;
        d.majorType = WMMEDIATYPE_Video;
        d.subtype = subtypeFromFourcc(v.compression);
        d.temporalCompression = TRUE;
        d.formatType = WMFORMAT_VideoInfo;
        WMVIDEOINFOHEADER info{};
        info.rcSource = {0, 0, v.width, v.height < 0 ? -v.height : v.height};
        info.rcTarget = info.rcSource;
        info.dwBitRate = d.bitrate;
        info.AvgTimePerFrame =
            stream.extended ? static_cast<LONGLONG>(stream.extended->averageTimePerFrame) : 0;
        info.bmiHeader.biSize = static_cast<DWORD>(40 + v.extradata.size());
        info.bmiHeader.biWidth = v.width;
        info.bmiHeader.biHeight = v.height;
        info.bmiHeader.biPlanes = v.planes;
        info.bmiHeader.biBitCount = v.bitCount;
        info.bmiHeader.biCompression = v.compression;
        info.bmiHeader.biSizeImage = v.sizeImage;
        info.bmiHeader.biXPelsPerMeter = v.xPelsPerMeter;
        info.bmiHeader.biYPelsPerMeter = v.yPelsPerMeter;
        info.bmiHeader.biClrUsed = v.clrUsed;
        info.bmiHeader.biClrImportant = v.clrImportant;
        put(d.format, info);
        d.format.insert(d.format.end(), v.extradata.begin(), v.extradata.end());
    } else if (sp.audio) {
        d.majorType = WMMEDIATYPE_Audio;
        d.subtype = subtypeFromFourcc(sp.audio->formatTag);
        d.fixedSizeSamples = TRUE;
        d.sampleSize = sp.audio->blockAlign;
        d.formatType = WMFORMAT_WaveFormatEx;
        d.format = sp.typeSpecificData;
    } else if (sp.streamType == asf::kStreamTypeCommand) {
        d.majorType = WMMEDIATYPE_Script;
        d.formatType = WMFORMAT_Script;
    } else if (sp.streamType == asf::kStreamTypeJfif ||
               sp.streamType == asf::kStreamTypeDegradableJpeg) {
        d.majorType = WMMEDIATYPE_Image;
        d.format = sp.typeSpecificData;
    } else if (sp.streamType == asf::kStreamTypeFileTransfer) {
        d.majorType = WMMEDIATYPE_FileTransfer;
        d.format = sp.typeSpecificData;
    } else if (sp.streamType == asf::kStreamTypeBinary && sp.typeSpecificData.size() >= 32) {
        d.majorType = toRuntimeGuid(asf::Guid::fromBytes(sp.typeSpecificData.data()));
        d.subtype = toRuntimeGuid(asf::Guid::fromBytes(sp.typeSpecificData.data() + 16));
        d.format = sp.typeSpecificData;
    } else {
        d.majorType = toRuntimeGuid(sp.streamType);
        d.format = sp.typeSpecificData;
    }
    return d;
}

}  // namespace

GUID toRuntimeGuid(const asf::Guid& guid) {
    const auto& b = guid.bytes();
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
              static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    g.Data2 = static_cast<std::uint16_t>(b[4] | b[5] << 8);
    g.Data3 = static_cast<std::uint16_t>(b[6] | b[7] << 8);
    std::memcpy(g.Data4, b.data() + 8, 8);
    return g;
}

QWORD mediaTime(std::uint64_t presentationMs, std::uint64_t prerollMs) {
    return presentationMs > prerollMs ? asf::fromMilliseconds(presentationMs - prerollMs) : 0;
}

std::shared_ptr<const ProfileData> buildProfile(const asf::File& file) {
    auto data = std::make_shared<ProfileData>();
    auto header = std::make_shared<const asf::Header>(file.header());
    for (const asf::Stream& stream : header->streams) {
        data->streams.push_back(describeStream(*header, stream));
    }
    data->source = std::move(header);
    return data;
}

HeaderData buildHeaderData(const asf::File& file) {
    const asf::Header& h = file.header();
    HeaderData data;

    bool hasAudio = false, hasVideo = false, hasImage = false, hasScript = false;
    bool hasBinary = false, hasFileTransfer = false;
    std::size_t videoStreams = 0;
    for (const asf::Stream& s : h.streams) {
        const asf::Guid& type = s.properties.streamType;
        hasAudio |= s.isAudio();
        hasVideo |= s.isVideo();
        videoStreams += s.isVideo() && !s.hidden ? 1 : 0;
        hasImage |= type == asf::kStreamTypeJfif || type == asf::kStreamTypeDegradableJpeg;
        hasScript |= type == asf::kStreamTypeCommand;
        hasBinary |= type == asf::kStreamTypeBinary;
        hasFileTransfer |= type == asf::kStreamTypeFileTransfer;
    }
    // Seeking by time needs an index for every visible video stream (audio alone seeks by
    // packet arithmetic); fast forward and rewind need one too.
    bool indexed = videoStreams > 0 && file.simpleIndexes().size() >= videoStreams;
    bool seekable = (videoStreams == 0 && hasAudio) || indexed;
    const asf::FileProperties& fp = h.fileProperties;
    addDerived(data, u"Duration", fp.durationWithoutPreroll(), WMT_TYPE_QWORD);
    addDerived(data, u"Bitrate", fp.maxBitrate, WMT_TYPE_DWORD);
    addDerived(data, u"Seekable", seekable, WMT_TYPE_BOOL);
    addDerived(data, u"Stridable", indexed, WMT_TYPE_BOOL);
    addDerived(data, u"Broadcast", fp.broadcast(), WMT_TYPE_BOOL);
    addDerived(data, u"Is_Protected", h.isProtected, WMT_TYPE_BOOL);
    addDerived(data, u"HasAudio", hasAudio, WMT_TYPE_BOOL);
    addDerived(data, u"HasVideo", hasVideo, WMT_TYPE_BOOL);
    addDerived(data, u"HasImage", hasImage, WMT_TYPE_BOOL);
    addDerived(data, u"HasScript", hasScript, WMT_TYPE_BOOL);
    addDerived(data, u"HasArbitraryDataStream", hasBinary, WMT_TYPE_BOOL);
    addDerived(data, u"HasFileTransferStream", hasFileTransfer, WMT_TYPE_BOOL);
    addDerived(data, u"FileSize", fp.fileSize, WMT_TYPE_QWORD);

    addStoredMetadata(asf::metadataOf(h), data);
    if (h.markers) {
        for (const asf::Marker& m : h.markers->markers) {
            const QWORD preroll = asf::fromMilliseconds(h.preroll());
            data.markers.push_back(
                {m.description, m.presentationTime > preroll ? m.presentationTime - preroll : 0});
        }
    }
    return data;
}

}  // namespace media
