#include "media/header_attributes.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "asf/attribute.h"
#include "asf/media_time.h"

namespace media {

namespace {

// Names are limited as the platform runtime limits them.
constexpr std::size_t kMaxNameLength = 1024;

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

// Attributes of the Content Branding Object, which this runtime neither shows nor stores.
const char16_t* const kBrandingNames[] = {u"BannerImageType", u"BannerImageData", u"BannerImageURL",
                                          u"CopyrightURL"};

// The Content Description Object's fields: file attributes whose values are text.
struct ContentDescriptionField {
    const char16_t* name;
    std::u16string asf::ContentDescription::*text;
};
const ContentDescriptionField kContentDescriptionFields[] = {
    {u"Title", &asf::ContentDescription::title},
    {u"Author", &asf::ContentDescription::author},
    {u"Copyright", &asf::ContentDescription::copyright},
    {u"Description", &asf::ContentDescription::description},
    {u"Rating", &asf::ContentDescription::rating},
};

// An attribute type as the API numbers it and as records store it, with its value's length
// (0: any). Numbers are stored little-endian; a stored boolean takes four bytes in the Extended
// Content Description and two in the metadata objects, and always four in the API.
struct AttributeType {
    WMT_ATTR_DATATYPE api;
    std::uint16_t stored;
    std::size_t size;
    bool number;
};
const AttributeType kAttributeTypes[] = {
    {WMT_TYPE_DWORD, asf::kAttributeDword, 4, true},
    {WMT_TYPE_STRING, asf::kAttributeString, 0, false},
    {WMT_TYPE_BINARY, asf::kAttributeBinary, 0, false},
    {WMT_TYPE_BOOL, asf::kAttributeBool, 4, true},
    {WMT_TYPE_QWORD, asf::kAttributeQword, 8, true},
    {WMT_TYPE_WORD, asf::kAttributeWord, 2, true},
    {WMT_TYPE_GUID, asf::kAttributeGuid, 16, false},
};

// Codec list entry types; any other is unknown both ways.
struct CodecType {
    WMT_CODEC_INFO_TYPE api;
    std::uint16_t stored;
};
const CodecType kCodecTypes[] = {
    {WMT_CODECINFO_VIDEO, asf::CodecEntry::kVideo},
    {WMT_CODECINFO_AUDIO, asf::CodecEntry::kAudio},
};

bool isOneOf(const std::u16string& name, const char16_t* const* begin, const char16_t* const* end) {
    return std::any_of(begin, end, [&](const char16_t* listed) { return name == listed; });
}

bool isContentDescriptionName(const std::u16string& name) {
    return std::any_of(std::begin(kContentDescriptionFields), std::end(kContentDescriptionFields),
                       [&](const ContentDescriptionField& f) { return name == f.name; });
}

const AttributeType* typeStored(std::uint16_t stored) {
    for (const AttributeType& t : kAttributeTypes) {
        if (t.stored == stored) {
            return &t;
        }
    }
    return nullptr;
}

const AttributeType* typeInApi(WMT_ATTR_DATATYPE api) {
    for (const AttributeType& t : kAttributeTypes) {
        if (t.api == api) {
            return &t;
        }
    }
    return nullptr;
}

WMT_CODEC_INFO_TYPE codecTypeInApi(std::uint16_t stored) {
    for (const CodecType& t : kCodecTypes) {
        if (t.stored == stored) {
            return t.api;
        }
    }
    return WMT_CODECINFO_UNKNOWN;
}

std::uint16_t codecTypeStored(WMT_CODEC_INFO_TYPE api) {
    for (const CodecType& t : kCodecTypes) {
        if (t.api == api) {
            return t.stored;
        }
    }
    return asf::CodecEntry::kUnknown;
}

// A stored record as the API shows it; false for a type the API does not know or a GUID of the
// wrong size.
bool shown(const asf::Attribute& stored, Attribute& out) {
    const AttributeType* type = typeStored(stored.type);
    if (!type || (type->api == WMT_TYPE_GUID && stored.value.size() != type->size)) {
        return false;
    }
    out.type = type->api;
    if (!type->number) {
        out.value = stored.value;
    } else if (type->api == WMT_TYPE_BOOL) {
        out.value = attributeValue(stored.number() != 0 ? 1 : 0, WMT_TYPE_BOOL);
    } else {
        out.value = attributeValue(stored.number(), type->api);
    }
    return true;
}

void addShown(HeaderData& data, const asf::Attribute& stored, WORD stream, WORD language) {
    Attribute a;
    a.stream = stream;
    a.name = stored.name;
    a.language = language;
    if (isDerivedAttribute(a.name) || !shown(stored, a)) {
        return;
    }
    data.attributes.push_back(std::move(a));
}

// The attribute as a stored record: the record's type code, and booleans in the width the
// object stores them (four bytes in the Extended Content Description, two in the others).
asf::Attribute storedRecord(const Attribute& a, bool wideBool) {
    asf::Attribute r;
    r.languageIndex = a.language;
    r.streamNumber = a.stream;
    r.name = a.name;
    r.value = a.value;
    if (const AttributeType* type = typeInApi(a.type)) {
        r.type = type->stored;
    }
    if (a.type == WMT_TYPE_BOOL) {
        r.value = attributeValue(asf::littleEndian(a.value) != 0 ? 1 : 0,
                                 wideBool ? WMT_TYPE_DWORD : WMT_TYPE_WORD);
    }
    return r;
}

void setContentDescription(asf::ContentDescription& cd, const Attribute& a) {
    for (const ContentDescriptionField& f : kContentDescriptionFields) {
        if (a.name == f.name) {
            cd.*f.text = asf::utf16Text(a.value);
        }
    }
}

}  // namespace

bool isDerivedAttribute(const std::u16string& name) {
    return isOneOf(name, std::begin(kDerivedNames), std::end(kDerivedNames));
}

bool scriptTimeStorable(QWORD time) {
    return asf::toMilliseconds(time) <= UINT32_MAX;
}

void addStoredMetadata(const asf::HeaderMetadata& stored, HeaderData& data) {
    if (stored.contentDescription) {
        for (const ContentDescriptionField& f : kContentDescriptionFields) {
            const std::u16string& text = *stored.contentDescription.*f.text;
            if (!text.empty()) {
                Attribute a;
                a.name = f.name;
                a.type = WMT_TYPE_STRING;
                a.value = attributeString(text);
                data.attributes.push_back(std::move(a));
            }
        }
    }
    if (stored.extendedContentDescription) {
        for (const asf::Attribute& a : stored.extendedContentDescription->attributes) {
            addShown(data, a, 0, 0);
        }
    }
    if (stored.metadata) {
        for (const asf::Attribute& a : stored.metadata->records) {
            addShown(data, a, a.streamNumber, 0);
        }
    }
    if (stored.metadataLibrary) {
        for (const asf::Attribute& a : stored.metadataLibrary->records) {
            addShown(data, a, a.streamNumber, a.languageIndex);
        }
    }
    if (stored.codecList) {
        for (const asf::CodecEntry& e : stored.codecList->entries) {
            CodecInfo c;
            c.name = e.name;
            c.description = e.description;
            c.type = codecTypeInApi(e.type);
            c.info = e.information;
            data.codecs.push_back(std::move(c));
        }
    }
    if (stored.scriptCommands) {
        const asf::ScriptCommandList& list = *stored.scriptCommands;
        for (const asf::ScriptCommand& c : list.commands) {
            ScriptCommand s;
            s.type = c.typeIndex < list.types.size() ? list.types[c.typeIndex] : u"";
            s.command = c.name;
            s.time = asf::fromMilliseconds(c.presentationTime);
            data.scripts.push_back(std::move(s));
        }
    }
}

asf::HeaderMetadata storedMetadata(const HeaderData& data) {
    asf::HeaderMetadata m;
    asf::ContentDescription cd;
    bool haveCd = false;
    asf::ExtendedContentDescription ecd;
    asf::MetadataList metadata, library;
    // A name given more than once for a stream (two genres, say) keeps every value only in the
    // Metadata Library; other readers take a repeated name elsewhere as one value replacing
    // the other.
    std::map<std::pair<WORD, std::u16string>, int> uses;
    for (const Attribute& a : data.attributes) {
        ++uses[{a.stream, a.name}];
    }
    for (const Attribute& a : data.attributes) {
        if (isDerivedAttribute(a.name)) {
            continue;
        }
        const bool repeated = uses[{a.stream, a.name}] > 1;
        if (a.stream == 0 && a.type == WMT_TYPE_STRING && isContentDescriptionName(a.name) &&
            a.language == 0 && !repeated) {
            setContentDescription(cd, a);
            haveCd = true;
        } else if (a.type == WMT_TYPE_GUID || a.language != 0 || a.value.size() > 0xFFFF ||
                   repeated) {
            library.records.push_back(storedRecord(a, false));
        } else if (a.stream == 0) {
            ecd.attributes.push_back(storedRecord(a, true));
        } else {
            metadata.records.push_back(storedRecord(a, false));
        }
    }
    if (haveCd) {
        m.contentDescription = cd;
    }
    if (!ecd.attributes.empty()) {
        m.extendedContentDescription = ecd;
    }
    if (!metadata.records.empty()) {
        // Stream by stream, whatever order the streams were described in.
        std::stable_sort(metadata.records.begin(), metadata.records.end(),
                         [](const asf::Attribute& a, const asf::Attribute& b) {
                             return a.streamNumber < b.streamNumber;
                         });
        m.metadata = metadata;
    }
    if (!library.records.empty()) {
        m.metadataLibrary = library;
    }
    if (!data.codecs.empty()) {
        asf::CodecList codecs;
        for (const CodecInfo& c : data.codecs) {
            asf::CodecEntry e;
            e.type = codecTypeStored(c.type);
            e.name = c.name;
            e.description = c.description;
            e.information = c.info;
            codecs.entries.push_back(std::move(e));
        }
        m.codecList = std::move(codecs);
    }
    if (!data.scripts.empty()) {
        asf::ScriptCommandList scripts;
        for (const ScriptCommand& s : data.scripts) {
            asf::ScriptCommand c;
            const auto type = std::find(scripts.types.begin(), scripts.types.end(), s.type);
            c.typeIndex = static_cast<uint16_t>(type - scripts.types.begin());
            if (type == scripts.types.end()) {
                scripts.types.push_back(s.type);
            }
            c.presentationTime =
                static_cast<uint32_t>(std::min<QWORD>(asf::toMilliseconds(s.time), UINT32_MAX));
            c.name = s.command;
            scripts.commands.push_back(std::move(c));
        }
        m.scriptCommands = std::move(scripts);
    }
    return m;
}

HRESULT checkStorable(const Attribute& a) {
    if (a.name.empty() || a.name.size() > kMaxNameLength || isDerivedAttribute(a.name) ||
        isOneOf(a.name, std::begin(kBrandingNames), std::end(kBrandingNames))) {
        return E_INVALIDARG;
    }
    const AttributeType* type = typeInApi(a.type);
    if (!type) {
        return E_INVALIDARG;
    }
    if (type->size != 0) {
        return a.value.size() == type->size ? S_OK : E_INVALIDARG;
    }
    if (a.type == WMT_TYPE_STRING) {
        return a.value.size() % 2 == 0 ? S_OK : E_INVALIDARG;
    }
    // The Content Description fields hold text only.
    return a.stream == 0 && isContentDescriptionName(a.name) ? E_INVALIDARG : S_OK;
}

}  // namespace media
