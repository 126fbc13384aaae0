#include "asf/guids.h"

#include <algorithm>
#include <vector>

namespace asf {
namespace {

constexpr GuidInfo kTable[] = {
    {kHeaderObject, "Header", GuidKind::TopLevelObject},
    {kDataObject, "Data", GuidKind::TopLevelObject},
    {kSimpleIndexObject, "Simple Index", GuidKind::TopLevelObject},
    {kIndexObject, "Index", GuidKind::TopLevelObject},
    {kMediaObjectIndexObject, "Media Object Index", GuidKind::TopLevelObject},
    {kTimecodeIndexObject, "Timecode Index", GuidKind::TopLevelObject},

    {kFilePropertiesObject, "File Properties", GuidKind::HeaderObject},
    {kStreamPropertiesObject, "Stream Properties", GuidKind::HeaderObject},
    {kHeaderExtensionObject, "Header Extension", GuidKind::HeaderObject},
    {kCodecListObject, "Codec List", GuidKind::HeaderObject},
    {kScriptCommandObject, "Script Command", GuidKind::HeaderObject},
    {kMarkerObject, "Marker", GuidKind::HeaderObject},
    {kBitrateMutualExclusionObject, "Bitrate Mutual Exclusion", GuidKind::HeaderObject},
    {kErrorCorrectionObject, "Error Correction", GuidKind::HeaderObject},
    {kContentDescriptionObject, "Content Description", GuidKind::HeaderObject},
    {kExtendedContentDescriptionObject, "Extended Content Description", GuidKind::HeaderObject},
    {kContentBrandingObject, "Content Branding", GuidKind::HeaderObject},
    {kStreamBitratePropertiesObject, "Stream Bitrate Properties", GuidKind::HeaderObject},
    {kContentEncryptionObject, "Content Encryption", GuidKind::HeaderObject},
    {kExtendedContentEncryptionObject, "Extended Content Encryption", GuidKind::HeaderObject},
    {kDigitalSignatureObject, "Digital Signature", GuidKind::HeaderObject},
    {kPaddingObject, "Padding", GuidKind::HeaderObject},

    {kExtendedStreamPropertiesObject, "Extended Stream Properties", GuidKind::ExtensionObject},
    {kAdvancedMutualExclusionObject, "Advanced Mutual Exclusion", GuidKind::ExtensionObject},
    {kGroupMutualExclusionObject, "Group Mutual Exclusion", GuidKind::ExtensionObject},
    {kStreamPrioritizationObject, "Stream Prioritization", GuidKind::ExtensionObject},
    {kBandwidthSharingObject, "Bandwidth Sharing", GuidKind::ExtensionObject},
    {kLanguageListObject, "Language List", GuidKind::ExtensionObject},
    {kMetadataObject, "Metadata", GuidKind::ExtensionObject},
    {kMetadataLibraryObject, "Metadata Library", GuidKind::ExtensionObject},
    {kIndexParametersObject, "Index Parameters", GuidKind::ExtensionObject},
    {kMediaObjectIndexParametersObject, "Media Object Index Parameters", GuidKind::ExtensionObject},
    {kMediaObjectIndexParametersObjectAlt, "Media Object Index Parameters",
     GuidKind::ExtensionObject},
    {kTimecodeIndexParametersObject, "Timecode Index Parameters", GuidKind::ExtensionObject},
    {kCompatibilityObject, "Compatibility", GuidKind::ExtensionObject},
    {kAdvancedContentEncryptionObject, "Advanced Content Encryption", GuidKind::ExtensionObject},
    {kIndexPlaceholderObject, "Index Placeholder", GuidKind::ExtensionObject},

    {kStreamTypeAudio, "Audio Media", GuidKind::StreamType},
    {kStreamTypeVideo, "Video Media", GuidKind::StreamType},
    {kStreamTypeCommand, "Command Media", GuidKind::StreamType},
    {kStreamTypeJfif, "JFIF Media", GuidKind::StreamType},
    {kStreamTypeDegradableJpeg, "Degradable JPEG Media", GuidKind::StreamType},
    {kStreamTypeFileTransfer, "File Transfer Media", GuidKind::StreamType},
    {kStreamTypeBinary, "Binary Media", GuidKind::StreamType},
    {kDvrMsAudioMajorType, "DVR-MS Audio Major Type", GuidKind::StreamType},

    {kNoErrorCorrection, "No Error Correction", GuidKind::ErrorCorrection},
    {kAudioSpread, "Audio Spread", GuidKind::ErrorCorrection},
    {kLegacyErrorConcealment, "Legacy Error Concealment", GuidKind::ErrorCorrection},

    {kReserved1, "Reserved 1", GuidKind::ReservedField},
    {kReserved2, "Reserved 2", GuidKind::ReservedField},
    {kReserved3, "Reserved 3", GuidKind::ReservedField},
    {kReserved4, "Reserved 4", GuidKind::ReservedField},

    {kMutexLanguage, "Mutex Language", GuidKind::ExclusionType},
    {kMutexBitrate, "Mutex Bitrate", GuidKind::ExclusionType},
    {kMutexUnknown, "Mutex Unknown", GuidKind::ExclusionType},
    {kBandwidthSharingExclusive, "Bandwidth Sharing Exclusive", GuidKind::ExclusionType},
    {kBandwidthSharingPartial, "Bandwidth Sharing Partial", GuidKind::ExclusionType},

    {kExtTimecode, "Timecode", GuidKind::PayloadExtension},
    {kExtFileName, "File Name", GuidKind::PayloadExtension},
    {kExtContentType, "Content Type", GuidKind::PayloadExtension},
    {kExtPixelAspectRatio, "Pixel Aspect Ratio", GuidKind::PayloadExtension},
    {kExtSampleDuration, "Sample Duration", GuidKind::PayloadExtension},
    {kExtEncryptionSampleId, "Encryption Sample ID", GuidKind::PayloadExtension},
    {kExtDegradableJpeg, "Degradable JPEG", GuidKind::PayloadExtension},
    {kExtOutputCleanPoint, "Output Clean Point", GuidKind::PayloadExtension},
    {kExtDvrMsTiming, "DVR-MS Timing", GuidKind::PayloadExtension},
    {kExtDvrMsVideoFrame, "DVR-MS Video Frame", GuidKind::PayloadExtension},

    {kContentEncryptionSystemWmdrmNd, "Content Encryption System WMDRM-ND", GuidKind::Other},
    {kPlayReadyProtectionObject, "PlayReady Protection", GuidKind::Other},
    {kAltExtendedContentEncryptionObject, "Alternate Extended Content Encryption", GuidKind::Other},
    {kWebStreamMediaSubtype, "Web Stream Media Subtype", GuidKind::Other},
    {kWebStreamFormat, "Web Stream Format", GuidKind::Other},

    {kPreReleaseFileProperties, "Pre-release File Properties", GuidKind::PreRelease},
    {kPreReleaseHeaderObject, "Pre-release Header", GuidKind::PreRelease},
    {kPreReleaseDataObject, "Pre-release Data", GuidKind::PreRelease},
};

constexpr size_t kTableSize = sizeof(kTable) / sizeof(kTable[0]);

// Entry indexes sorted by GUID, built once, for binary search.
const std::vector<const GuidInfo*>& sortedEntries() {
    static const std::vector<const GuidInfo*> sorted = [] {
        std::vector<const GuidInfo*> v;
        for (const GuidInfo& info : kTable) {
            v.push_back(&info);
        }
        std::stable_sort(v.begin(), v.end(),
                         [](const GuidInfo* a, const GuidInfo* b) { return a->guid < b->guid; });
        return v;
    }();
    return sorted;
}

}  // namespace

const GuidInfo* guidTable() {
    return kTable;
}

size_t guidTableSize() {
    return kTableSize;
}

const GuidInfo* findGuid(const Guid& guid) {
    const auto& sorted = sortedEntries();
    auto it = std::lower_bound(sorted.begin(), sorted.end(), guid,
                               [](const GuidInfo* info, const Guid& g) { return info->guid < g; });
    if (it != sorted.end() && (*it)->guid == guid) {
        return *it;
    }
    return nullptr;
}

const char* guidName(const Guid& guid) {
    const GuidInfo* info = findGuid(guid);
    return info ? info->name : nullptr;
}

std::string describeGuid(const Guid& guid) {
    const char* name = guidName(guid);
    return name ? std::string(name) : guid.toString();
}

}  // namespace asf
