#include "asf/header_writer.h"

#include "asf/byte_writer.h"
#include "asf/guids.h"
#include "asf/raw_object.h"

namespace asf {
namespace {

constexpr uint64_t kHeaderFixedSize = 30;
constexpr uint64_t kExtensionFixedSize = 46;
constexpr uint16_t kExtensionReserved2 = 6;

// An object's bytes as they are kept. One that was cut short by the end of its parent declares
// only the bytes it kept, which are all the parser read of it.
std::vector<uint8_t> keptBytes(const RawObject& raw) {
    std::vector<uint8_t> bytes = raw.bytes;
    if (raw.size != bytes.size() && bytes.size() >= kObjectHeaderSize) {
        for (size_t i = 0; i < 8; ++i) {
            bytes[16 + i] = static_cast<uint8_t>(uint64_t{bytes.size()} >> (8 * i));
        }
    }
    return bytes;
}

// Copies one area (the Header Object's children or the Header Extension's) into `out`, replacing
// and dropping as asked. A kind replaced in the other area goes from this one: each kind has
// its one place. Returns where the Header Extension stood, if it was met.
std::optional<size_t> rewriteArea(const std::vector<RawObject>& area,
                                  const std::map<Guid, std::vector<uint8_t>>& replace,
                                  const std::map<Guid, std::vector<uint8_t>>& replaceElsewhere,
                                  const std::set<Guid>& drop,
                                  std::vector<std::vector<uint8_t>>& out) {
    std::optional<size_t> extensionAt;
    std::set<Guid> placed;
    for (const RawObject& raw : area) {
        if (raw.guid == kPaddingObject || drop.count(raw.guid) != 0 ||
            replaceElsewhere.count(raw.guid) != 0) {
            continue;
        }
        if (raw.guid == kHeaderExtensionObject) {
            if (!extensionAt) {
                extensionAt = out.size();
            }
            continue;
        }
        const auto it = replace.find(raw.guid);
        if (it != replace.end()) {
            if (placed.insert(raw.guid).second && !it->second.empty()) {
                out.push_back(it->second);
            }
            continue;
        }
        out.push_back(keptBytes(raw));
    }
    for (const auto& [guid, bytes] : replace) {
        if (placed.count(guid) == 0 && !bytes.empty()) {
            out.push_back(bytes);
        }
    }
    return extensionAt;
}

uint64_t totalSize(const std::vector<std::vector<uint8_t>>& objects) {
    uint64_t size = 0;
    for (const auto& object : objects) {
        size += object.size();
    }
    return size;
}

void writeExtension(const HeaderLayout& layout, uint64_t padding, ByteWriter& w) {
    const size_t start = w.beginObject(kHeaderExtensionObject);
    w.guid(kReserved1);
    w.u16(kExtensionReserved2);
    const size_t dataSizeAt = w.size();
    w.u32(0);
    for (const auto& object : layout.extensionObjects) {
        w.bytes(object);
    }
    if (padding > 0) {
        const size_t paddingStart = w.beginObject(kPaddingObject);
        w.zeros(static_cast<size_t>(padding - kObjectHeaderSize));
        w.endObject(paddingStart);
    }
    w.patchU32(dataSizeAt, static_cast<uint32_t>(w.size() - start - kExtensionFixedSize));
    w.endObject(start);
}

}  // namespace

uint64_t headerSize(const HeaderLayout& layout) {
    return kHeaderFixedSize + totalSize(layout.objects) + kExtensionFixedSize +
           totalSize(layout.extensionObjects);
}

bool writeHeader(const HeaderLayout& layout, uint64_t size, std::vector<uint8_t>& out) {
    const uint64_t natural = headerSize(layout);
    if (size < natural || (size > natural && size - natural < kObjectHeaderSize)) {
        return false;
    }
    const uint64_t extensionSize =
        kExtensionFixedSize + totalSize(layout.extensionObjects) + (size - natural);
    if (extensionSize - kExtensionFixedSize > UINT32_MAX) {
        return false;
    }
    ByteWriter w;
    const size_t start = w.beginObject(kHeaderObject);
    w.u32(static_cast<uint32_t>(layout.objects.size() + 1));
    w.u8(1);
    w.u8(2);
    for (size_t i = 0; i <= layout.objects.size(); ++i) {
        if (i == layout.extensionPosition) {
            writeExtension(layout, size - natural, w);
        }
        if (i < layout.objects.size()) {
            w.bytes(layout.objects[i]);
        }
    }
    w.endObject(start);
    out = w.take();
    return true;
}

HeaderLayout rewriteLayout(const Header& header, const HeaderRewrite& rewrite) {
    HeaderLayout layout;
    const std::optional<size_t> extensionAt = rewriteArea(
        header.objects, rewrite.replace, rewrite.replaceInExtension, rewrite.drop, layout.objects);
    rewriteArea(header.extensionObjects, rewrite.replaceInExtension, rewrite.replace, rewrite.drop,
                layout.extensionObjects);
    if (extensionAt) {
        layout.extensionPosition = *extensionAt;
    } else {
        // Readers expect it early: right after the File Properties Object.
        layout.extensionPosition = 0;
        for (size_t i = 0; i < layout.objects.size(); ++i) {
            if (Guid::fromBytes(layout.objects[i].data()) == kFilePropertiesObject) {
                layout.extensionPosition = i + 1;
                break;
            }
        }
    }
    return layout;
}

std::vector<std::pair<Guid, std::vector<uint8_t>>> HeaderMetadata::objects() const {
    std::vector<std::pair<Guid, std::vector<uint8_t>>> parts;
    auto add = [&](const Guid& guid, const auto& part, auto write) {
        ByteWriter w;
        if (part) {
            write(*part, w);
        }
        parts.emplace_back(guid, w.take());
    };
    auto plain = [](const auto& object, ByteWriter& w) { object.write(w); };
    add(kContentDescriptionObject, contentDescription, plain);
    add(kExtendedContentDescriptionObject, extendedContentDescription, plain);
    add(kMetadataObject, metadata,
        [](const MetadataList& m, ByteWriter& w) { m.write(w, kMetadataObject); });
    add(kMetadataLibraryObject, metadataLibrary,
        [](const MetadataList& m, ByteWriter& w) { m.write(w, kMetadataLibraryObject); });
    add(kCodecListObject, codecList, plain);
    add(kScriptCommandObject, scriptCommands, plain);
    return parts;
}

HeaderMetadata metadataOf(const Header& header) {
    HeaderMetadata m;
    m.contentDescription = header.contentDescription;
    m.extendedContentDescription = header.extendedContentDescription;
    m.metadata = header.metadata;
    m.metadataLibrary = header.metadataLibrary;
    m.codecList = header.codecList;
    m.scriptCommands = header.scriptCommands;
    return m;
}

void replaceMetadata(const HeaderMetadata& metadata, const HeaderMetadata* before,
                     HeaderRewrite& rewrite) {
    const auto now = metadata.objects();
    const auto then = before ? before->objects() : decltype(now)();
    for (size_t i = 0; i < now.size(); ++i) {
        const auto& [guid, bytes] = now[i];
        if (before && then[i].second == bytes) {
            continue;
        }
        const bool inExtension = guid == kMetadataObject || guid == kMetadataLibraryObject;
        (inExtension ? rewrite.replaceInExtension : rewrite.replace)[guid] = bytes;
    }
}

}  // namespace asf
