#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "asf/codec_list.h"
#include "asf/content_description.h"
#include "asf/extended_content_description.h"
#include "asf/guid.h"
#include "asf/header.h"
#include "asf/metadata_list.h"
#include "asf/script_command_list.h"

namespace asf {

// A Header Object to be written: its direct children as complete objects, in order, with the
// Header Extension Object inserted before objects[extensionPosition] and holding
// extensionObjects.
struct HeaderLayout {
    std::vector<std::vector<uint8_t>> objects;
    size_t extensionPosition = 0;
    std::vector<std::vector<uint8_t>> extensionObjects;
};

// The size of the Header Object the layout makes, without padding.
uint64_t headerSize(const HeaderLayout& layout);

// Writes the Header Object. A size above headerSize() is filled by a Padding Object at the end of
// the Header Extension, which takes at least its own 24 bytes: false when size is neither the
// natural size nor at least 24 bytes more.
bool writeHeader(const HeaderLayout& layout, uint64_t size, std::vector<uint8_t>& out);

// How a parsed header becomes a new one. Every object is kept byte for byte, in its place,
// unless its GUID is named here (an object cut short by the end of its parent keeps the bytes
// the parser read, and declares that size). A replaced kind takes the place of its first object
// in its area (its other objects go, from both areas); a kind the header lacks is added at the
// end of its area; an empty replacement removes the kind. Dropped kinds go from both areas.
struct HeaderRewrite {
    std::map<Guid, std::vector<uint8_t>> replace;
    std::map<Guid, std::vector<uint8_t>> replaceInExtension;
    std::set<Guid> drop;
};

// The new header's layout. Padding Objects are always left out (writeHeader adds its own), and a
// header without a Header Extension gets one after its File Properties Object.
HeaderLayout rewriteLayout(const Header& header, const HeaderRewrite& rewrite);

// The descriptive part of a header: what the runtime shows as attributes, codec descriptions and
// script commands. An absent part has no object.
struct HeaderMetadata {
    std::optional<ContentDescription> contentDescription;
    std::optional<ExtendedContentDescription> extendedContentDescription;
    std::optional<MetadataList> metadata;
    std::optional<MetadataList> metadataLibrary;
    std::optional<CodecList> codecList;
    std::optional<ScriptCommandList> scriptCommands;

    // Each part's GUID and its whole object as written (empty bytes for an absent part), in the
    // order above. Two parts are the same when their bytes are.
    std::vector<std::pair<Guid, std::vector<uint8_t>>> objects() const;
};

// The parts a parsed header holds.
HeaderMetadata metadataOf(const Header& header);

// Puts the parts of `metadata` that differ from `before` (all of them when before is null) into
// the rewrite: the Metadata and Metadata Library Objects into the Header Extension, the others
// beside it. A part that became absent is removed.
void replaceMetadata(const HeaderMetadata& metadata, const HeaderMetadata* before,
                     HeaderRewrite& rewrite);

}  // namespace asf
