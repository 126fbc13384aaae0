#pragma once

#include <cstddef>
#include <string>

#include "asf/guid.h"

// Every GUID the reader knows, as named constants, and one table mapping each to a name and a
// kind. The parser, the dumper and the tests all use this table.
namespace asf {

enum class GuidKind {
    TopLevelObject,    // objects that sit beside the Header Object
    HeaderObject,      // direct children of the Header Object
    ExtensionObject,   // children of the Header Extension Object
    StreamType,        // Stream Properties "stream type"
    ErrorCorrection,   // Stream Properties / Error Correction Object "error correction type"
    ReservedField,     // fixed values of reserved GUID fields
    ExclusionType,     // mutual exclusion and bandwidth sharing types
    PayloadExtension,  // payload extension systems declared in Extended Stream Properties
    Other,             // values seen inside other objects
    PreRelease,        // objects of the pre-release format, which the reader refuses
};

struct GuidInfo {
    Guid guid;
    const char* name;
    GuidKind kind;
};

// Top-level objects.
inline constexpr Guid kHeaderObject = Guid::fromString("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kDataObject = Guid::fromString("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kSimpleIndexObject = Guid::fromString("33000890-E5B1-11CF-89F4-00A0C90349CB");
inline constexpr Guid kIndexObject = Guid::fromString("D6E229D3-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMediaObjectIndexObject =
    Guid::fromString("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C");
inline constexpr Guid kTimecodeIndexObject =
    Guid::fromString("3CB73FD0-0C4A-4803-953D-EDF7B6228F0C");

// Children of the Header Object.
inline constexpr Guid kFilePropertiesObject =
    Guid::fromString("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr Guid kStreamPropertiesObject =
    Guid::fromString("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr Guid kHeaderExtensionObject =
    Guid::fromString("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr Guid kCodecListObject = Guid::fromString("86D15240-311D-11D0-A3A4-00A0C90348F6");
inline constexpr Guid kScriptCommandObject =
    Guid::fromString("1EFB1A30-0B62-11D0-A39B-00A0C90348F6");
inline constexpr Guid kMarkerObject = Guid::fromString("F487CD01-A951-11CF-8EE6-00C00C205365");
inline constexpr Guid kBitrateMutualExclusionObject =
    Guid::fromString("D6E229DC-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kErrorCorrectionObject =
    Guid::fromString("75B22635-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kContentDescriptionObject =
    Guid::fromString("75B22633-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr Guid kExtendedContentDescriptionObject =
    Guid::fromString("D2D0A440-E307-11D2-97F0-00A0C95EA850");
inline constexpr Guid kContentBrandingObject =
    Guid::fromString("2211B3FA-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr Guid kStreamBitratePropertiesObject =
    Guid::fromString("7BF875CE-468D-11D1-8D82-006097C9A2B2");
inline constexpr Guid kContentEncryptionObject =
    Guid::fromString("2211B3FB-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr Guid kExtendedContentEncryptionObject =
    Guid::fromString("298AE614-2622-4C17-B935-DAE07EE9289C");
inline constexpr Guid kDigitalSignatureObject =
    Guid::fromString("2211B3FC-BD23-11D2-B4B7-00A0C955FC6E");
inline constexpr Guid kPaddingObject = Guid::fromString("1806D474-CADF-4509-A4BA-9AABCB96AAE8");

// Children of the Header Extension Object.
inline constexpr Guid kExtendedStreamPropertiesObject =
    Guid::fromString("14E6A5CB-C672-4332-8399-A96952065B5A");
inline constexpr Guid kAdvancedMutualExclusionObject =
    Guid::fromString("A08649CF-4775-4670-8A16-6E35357566CD");
inline constexpr Guid kGroupMutualExclusionObject =
    Guid::fromString("D1465A40-5A79-4338-B71B-E36B8FD6C249");
inline constexpr Guid kStreamPrioritizationObject =
    Guid::fromString("D4FED15B-88D3-454F-81F0-ED5C45999E24");
inline constexpr Guid kBandwidthSharingObject =
    Guid::fromString("A69609E6-517B-11D2-B6AF-00C04FD908E9");
inline constexpr Guid kLanguageListObject =
    Guid::fromString("7C4346A9-EFE0-4BFC-B229-393EDE415C85");
inline constexpr Guid kMetadataObject = Guid::fromString("C5F8CBEA-5BAF-4877-8467-AA8C44FA4CCA");
inline constexpr Guid kMetadataLibraryObject =
    Guid::fromString("44231C94-9498-49D1-A141-1D134E457054");
inline constexpr Guid kIndexParametersObject =
    Guid::fromString("D6E229DF-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMediaObjectIndexParametersObject =
    Guid::fromString("6B203BAD-3F11-48E4-ACA8-D7613DE2CFA7");
// A mistyped variant some libraries write; read as the same object.
inline constexpr Guid kMediaObjectIndexParametersObjectAlt =
    Guid::fromString("6B203BAD-3F11-4E84-ACA8-D7613DE2CFA7");
inline constexpr Guid kTimecodeIndexParametersObject =
    Guid::fromString("F55E496D-9797-4B5D-8C8B-604DFE9BFB24");
inline constexpr Guid kCompatibilityObject =
    Guid::fromString("26F18B5D-4584-47EC-9F5F-0E651F0452C9");
inline constexpr Guid kAdvancedContentEncryptionObject =
    Guid::fromString("43058533-6981-49E6-9B74-AD12CB86D58C");
inline constexpr Guid kIndexPlaceholderObject =
    Guid::fromString("D9AADE20-7C17-4F9C-BC28-8555DD98E2A2");

// Stream types.
inline constexpr Guid kStreamTypeAudio = Guid::fromString("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr Guid kStreamTypeVideo = Guid::fromString("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr Guid kStreamTypeCommand = Guid::fromString("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
inline constexpr Guid kStreamTypeJfif = Guid::fromString("B61BE100-5B4E-11CF-A8FD-00805F5C442B");
inline constexpr Guid kStreamTypeDegradableJpeg =
    Guid::fromString("35907DE0-E415-11CF-A917-00805F5C442B");
inline constexpr Guid kStreamTypeFileTransfer =
    Guid::fromString("91BD222C-F21C-497A-8B6D-5AA86BFC0185");
inline constexpr Guid kStreamTypeBinary = Guid::fromString("3AFB65E2-47EF-40F2-AC2C-70A90D71D343");
inline constexpr Guid kDvrMsAudioMajorType =
    Guid::fromString("31178C9D-03E1-4528-B582-3DF9DB22F503");

// Error correction types.
inline constexpr Guid kNoErrorCorrection = Guid::fromString("20FB5700-5B55-11CF-A8FD-00805F5C442B");
inline constexpr Guid kAudioSpread = Guid::fromString("BFC3CD50-618F-11CF-8BB2-00AA00B4E220");
// Found in old files; means the same as kNoErrorCorrection.
inline constexpr Guid kLegacyErrorConcealment =
    Guid::fromString("49F1A440-4ECE-11D0-A3AC-00A0C90348F6");

// Fixed values of reserved GUID fields.
inline constexpr Guid kReserved1 = Guid::fromString("ABD3D211-A9BA-11CF-8EE6-00C00C205365");
inline constexpr Guid kReserved2 = Guid::fromString("86D15241-311D-11D0-A3A4-00A0C90348F6");
inline constexpr Guid kReserved3 = Guid::fromString("4B1ACBE3-100B-11D0-A39B-00A0C90348F6");
inline constexpr Guid kReserved4 = Guid::fromString("4CFEDB20-75F6-11CF-9C0F-00A0C90349CB");

// Mutual exclusion and bandwidth sharing types.
inline constexpr Guid kMutexLanguage = Guid::fromString("D6E22A00-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMutexBitrate = Guid::fromString("D6E22A01-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kMutexUnknown = Guid::fromString("D6E22A02-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kBandwidthSharingExclusive =
    Guid::fromString("AF6060AA-5197-11D2-B6AF-00C04FD908E9");
inline constexpr Guid kBandwidthSharingPartial =
    Guid::fromString("AF6060AB-5197-11D2-B6AF-00C04FD908E9");

// Payload extension systems.
inline constexpr Guid kExtTimecode = Guid::fromString("399595EC-8667-4E2D-8FDB-98814CE76C1E");
inline constexpr Guid kExtFileName = Guid::fromString("E165EC0E-19ED-45D7-B4A7-25CBD1E28E9B");
inline constexpr Guid kExtContentType = Guid::fromString("D590DC20-07BC-436C-9CF7-F3BBFBF1A4DC");
inline constexpr Guid kExtPixelAspectRatio =
    Guid::fromString("1B1EE554-F9EA-4BC8-821A-376B74E4C4B8");
inline constexpr Guid kExtSampleDuration = Guid::fromString("C6BD9450-867F-4907-83A3-C77921B733AD");
inline constexpr Guid kExtEncryptionSampleId =
    Guid::fromString("6698B84E-0AFA-4330-AEB2-1C0A98D7A44D");
inline constexpr Guid kExtDegradableJpeg = Guid::fromString("00E1AF06-7BEC-11D1-A582-00C04FC29CFB");
inline constexpr Guid kExtOutputCleanPoint =
    Guid::fromString("F72A3C6F-6EB4-4EBC-B192-09AD9759E828");
inline constexpr Guid kExtDvrMsTiming = Guid::fromString("FD3CC02A-06DB-4CFA-801C-7212D38745E4");
inline constexpr Guid kExtDvrMsVideoFrame =
    Guid::fromString("DD6432CC-E229-40DB-80F6-D26328D2761F");

// Values seen inside other objects, and protection objects of later DRM systems.
inline constexpr Guid kContentEncryptionSystemWmdrmNd =
    Guid::fromString("7A079BB6-DAA4-4E12-A5CA-91D38DC11A8D");
inline constexpr Guid kPlayReadyProtectionObject =
    Guid::fromString("9A04F079-9840-4286-AB92-E65BE0885F95");
inline constexpr Guid kAltExtendedContentEncryptionObject =
    Guid::fromString("FF889EF1-ADEE-40DA-9E71-98704BB928CE");
inline constexpr Guid kWebStreamMediaSubtype =
    Guid::fromString("776257D4-C627-41CB-8F81-7AC7FF1C40CC");
inline constexpr Guid kWebStreamFormat = Guid::fromString("DA1E6B13-8359-4050-B398-388E965BF00C");

// The pre-release format used another family of GUIDs for its main objects.
inline constexpr Guid kPreReleaseFileProperties =
    Guid::fromString("D6E229D0-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kPreReleaseHeaderObject =
    Guid::fromString("D6E229D1-35DA-11D1-9034-00A0C90349BE");
inline constexpr Guid kPreReleaseDataObject =
    Guid::fromString("D6E229D2-35DA-11D1-9034-00A0C90349BE");

// The whole table, in the order above.
const GuidInfo* guidTable();
size_t guidTableSize();

// The entry for a GUID, or nullptr when the table does not know it.
const GuidInfo* findGuid(const Guid& guid);
// The entry's name, or nullptr.
const char* guidName(const Guid& guid);
// The entry's name, or the text form for GUIDs the table does not know.
std::string describeGuid(const Guid& guid);

}  // namespace asf
