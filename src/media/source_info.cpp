#include "media/source_info.h"

#include <algorithm>
#include <cstring>

#include "asf/file.h"
#include "asf/guids.h"

namespace media {

namespace {

const char16_t* const kDerivedNames[] = {
    u"Duration",
    u"Bitrate",
    u"Seekable",
    u"Stridable",
    u"Broadcast",
    u"Is_Protected",
    u"Is_Trusted",
    u"Signature_Name",
    u"HasAudio",
    u"HasVideo",
    u"HasImage",
    u"HasScript",
    u"HasArbitraryDataStream",
    u"HasFileTransferStream",
    u"HasAttachedImages",
    u"FileSize",
    u"CurrentBitrate",
    u"OptimalBitrate",
    u"Can_Skip_Backward",
    u"Can_Skip_Forward",
    u"WM/ContainerFormat",
    u"WM/ASFPacketCount",
    u"WM/ASFSecurityObjectsSize",
    u"WM/StreamTypeInfo",
};

// The attribute API's type for a type code stored in the file, and the value in the API's
// layout (booleans are four bytes there; metadata objects store them in two).
bool convertStored(const asf::Attribute& stored, Attribute& out) {
    switch (stored.type) {
        case asf::kAttributeString:
            out.type = WMT_TYPE_STRING;
            out.value = stored.value;
            return true;
        case asf::kAttributeBinary:
            out.type = WMT_TYPE_BINARY;
            out.value = stored.value;
            return true;
        case asf::kAttributeBool:
            out.type = WMT_TYPE_BOOL;
            out.value = attributeValue(stored.number() != 0 ? 1 : 0, WMT_TYPE_BOOL);
            return true;
        case asf::kAttributeDword:
            out.type = WMT_TYPE_DWORD;
            out.value = attributeValue(stored.number(), WMT_TYPE_DWORD);
            return true;
        case asf::kAttributeQword:
            out.type = WMT_TYPE_QWORD;
            out.value = attributeValue(stored.number(), WMT_TYPE_QWORD);
            return true;
        case asf::kAttributeWord:
            out.type = WMT_TYPE_WORD;
            out.value = attributeValue(stored.number(), WMT_TYPE_WORD);
            return true;
        case asf::kAttributeGuid:
            if (stored.value.size() != 16) {
                return false;
            }
            out.type = WMT_TYPE_GUID;
            out.value = stored.value;
            return true;
        default:
            return false;
    }
}

void addStored(HeaderData& data, const asf::Attribute& stored, WORD stream, WORD language) {
    Attribute a;
    a.stream = stream;
    a.name = stored.name;
    a.language = language;
    if (isDerivedAttribute(a.name) || !convertStored(stored, a)) {
        return;
    }
    data.attributes.push_back(std::move(a));
}

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

bool isDerivedAttribute(const std::u16string& name) {
    return std::any_of(std::begin(kDerivedNames), std::end(kDerivedNames),
                       [&](const char16_t* derived) { return name == derived; });
}

QWORD mediaTime(std::uint64_t presentationMs, std::uint64_t prerollMs) {
    return presentationMs > prerollMs ? (presentationMs - prerollMs) * 10000 : 0;
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

    if (h.contentDescription) {
        const asf::ContentDescription& cd = *h.contentDescription;
        const std::pair<const char16_t*, const std::u16string*> fields[] = {
            {u"Title", &cd.title},
            {u"Author", &cd.author},
            {u"Copyright", &cd.copyright},
            {u"Description", &cd.description},
            {u"Rating", &cd.rating}};
        for (const auto& [name, text] : fields) {
            if (!text->empty()) {
                Attribute a;
                a.name = name;
                a.type = WMT_TYPE_STRING;
                a.value = attributeString(*text);
                data.attributes.push_back(std::move(a));
            }
        }
    }
    if (h.extendedContentDescription) {
        for (const asf::Attribute& a : h.extendedContentDescription->attributes) {
            addStored(data, a, 0, 0);
        }
    }
    if (h.metadata) {
        for (const asf::Attribute& a : h.metadata->records) {
            addStored(data, a, a.streamNumber, 0);
        }
    }
    if (h.metadataLibrary) {
        for (const asf::Attribute& a : h.metadataLibrary->records) {
            addStored(data, a, a.streamNumber, a.languageIndex);
        }
    }

    if (h.codecList) {
        for (const asf::CodecEntry& e : h.codecList->entries) {
            CodecInfo c;
            c.name = e.name;
            c.description = e.description;
            c.type = e.type == asf::CodecEntry::kVideo   ? WMT_CODECINFO_VIDEO
                     : e.type == asf::CodecEntry::kAudio ? WMT_CODECINFO_AUDIO
                                                         : WMT_CODECINFO_UNKNOWN;
            c.info = e.information;
            data.codecs.push_back(std::move(c));
        }
    }
    if (h.scriptCommands) {
        const asf::ScriptCommandList& list = *h.scriptCommands;
        for (const asf::ScriptCommand& c : list.commands) {
            ScriptCommand s;
            s.type = c.typeIndex < list.types.size() ? list.types[c.typeIndex] : u"";
            s.command = c.name;
            s.time = static_cast<QWORD>(c.presentationTime) * 10000;
            data.scripts.push_back(std::move(s));
        }
    }
    if (h.markers) {
        for (const asf::Marker& m : h.markers->markers) {
            QWORD preroll = h.preroll() * 10000;
            data.markers.push_back(
                {m.description, m.presentationTime > preroll ? m.presentationTime - preroll : 0});
        }
    }
    return data;
}

}  // namespace media
