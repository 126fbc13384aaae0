#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "asf/bandwidth_sharing.h"
#include "asf/codec_list.h"
#include "asf/compatibility.h"
#include "asf/content_branding.h"
#include "asf/content_description.h"
#include "asf/content_encryption.h"
#include "asf/error_correction.h"
#include "asf/extended_content_description.h"
#include "asf/extended_stream_properties.h"
#include "asf/file_properties.h"
#include "asf/index_parameters.h"
#include "asf/language_list.h"
#include "asf/marker_list.h"
#include "asf/metadata_list.h"
#include "asf/mutual_exclusion.h"
#include "asf/raw_object.h"
#include "asf/script_command_list.h"
#include "asf/status.h"
#include "asf/stream_bitrate_properties.h"
#include "asf/stream_prioritization.h"
#include "asf/stream_properties.h"

namespace asf {

// One stream of the file, put together from its Stream Properties Object and its Extended
// Stream Properties Object (if any).
struct Stream {
    uint8_t number = 0;
    // True when the stream is declared only inside its Extended Stream Properties Object.
    bool hidden = false;
    // Where its Stream Properties Object starts, from the start of the file.
    uint64_t propertiesOffset = 0;
    StreamProperties properties;
    std::optional<ExtendedStreamProperties> extended;

    bool isAudio() const { return properties.isAudio(); }
    bool isVideo() const { return properties.isVideo(); }
};

// An object that could not be parsed (or was cut short, or disagrees with another). It is still
// kept raw; its parsed slot stays empty.
struct ObjectProblem {
    Guid guid;
    uint64_t offset = 0;
    Status status = Status::Ok;
};

// The whole Header Object. Every child is kept raw in file order; known children are parsed
// too. When an object that may occur once occurs again, the first one is parsed and the others
// are kept raw only.
struct Header {
    uint64_t size = 0;  // the Header Object's declared size
    uint32_t childCount = 0;
    uint8_t reserved1 = 0;
    uint8_t reserved2 = 0;

    // Direct children, then the Header Extension's children, each in file order.
    std::vector<RawObject> objects;
    std::vector<RawObject> extensionObjects;

    // The Header Extension Object's own fields.
    bool hasExtension = false;
    Guid extensionReserved1;
    uint16_t extensionReserved2 = 0;
    uint32_t extensionDataSize = 0;

    FileProperties fileProperties;
    // Every top-level Stream Properties Object, in header order (duplicates included).
    std::vector<StreamProperties> streamProperties;
    std::vector<ExtendedStreamProperties> extendedStreamProperties;
    std::vector<MutualExclusion> bitrateMutualExclusions;
    std::vector<MutualExclusion> advancedMutualExclusions;
    std::vector<GroupMutualExclusion> groupMutualExclusions;
    std::vector<BandwidthSharing> bandwidthSharing;
    std::optional<StreamPrioritization> streamPrioritization;
    std::optional<LanguageList> languageList;
    std::optional<MetadataList> metadata;
    std::optional<MetadataList> metadataLibrary;
    std::optional<IndexParameters> indexParameters;
    std::optional<Compatibility> compatibility;
    std::optional<CodecList> codecList;
    std::optional<ScriptCommandList> scriptCommands;
    std::optional<MarkerList> markers;
    std::optional<ErrorCorrection> errorCorrection;
    std::optional<ContentDescription> contentDescription;
    std::optional<ExtendedContentDescription> extendedContentDescription;
    std::optional<StreamBitrateProperties> streamBitrates;
    std::optional<ContentBranding> contentBranding;
    std::optional<ContentEncryption> contentEncryption;
    std::optional<ExtendedContentEncryption> extendedContentEncryption;
    std::optional<DigitalSignature> digitalSignature;

    // DRM: an encryption object, an encrypted stream, an Encryption Sample ID extension or a
    // DRM_* attribute. A digital signature alone does not count.
    bool isProtected = false;

    // Visible streams in header order, then hidden ones; a repeated stream number keeps the
    // first declaration.
    std::vector<Stream> streams;

    std::vector<ObjectProblem> problems;
    // Objects kept in a form other than the file's (an Extended Stream Properties Object without
    // the bytes past its content), counted: none in a file we wrote.
    std::size_t repairedObjects = 0;

    // The stream with this number, or nullptr.
    const Stream* findStream(unsigned number) const;
    // Preroll in ms.
    uint64_t preroll() const { return fileProperties.preroll; }
};

// Parses the Header Object at the start of [data, data + size). NotAsf when the bytes do not
// start with the Header Object GUID (or start with the pre-release one); Truncated when the
// buffer ends before the header's declared end; Malformed when the framing is broken, the File
// Properties Object or a Stream Properties Object cannot be parsed, or no stream is declared.
Status parseHeader(const uint8_t* data, size_t size, Header& out);

}  // namespace asf
