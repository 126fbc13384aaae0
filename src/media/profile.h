#pragma once

// The profile of a file: its streams in header order, each with its number, major type and
// media type. Readers hand it out as IWMProfile; the writer takes it back to write a file with
// the same streams and settings.

#include <memory>
#include <vector>

#include "media/wmsdk.h"

namespace asf {
struct Header;
}

namespace media {

struct StreamDescription {
    WORD number = 0;
    GUID majorType{};
    GUID subtype{};
    BOOL fixedSizeSamples = FALSE;
    BOOL temporalCompression = FALSE;
    ULONG sampleSize = 0;
    GUID formatType{};
    std::vector<BYTE> format;  // WMVIDEOINFOHEADER + codec data, WAVEFORMATEX + extra, ...
    DWORD bitrate = 0;
};

struct ProfileData {
    std::vector<StreamDescription> streams;
    // The parsed header the profile was read from, so that a writer can keep every stream
    // setting byte for byte. Null for a profile not read from a file.
    std::shared_ptr<const asf::Header> source;
};

// Id of the private interface through which the writer gets back a profile's data.
extern const IID IID_ProfileDataSource;

class ProfileDataSource : public IUnknown {
public:
    virtual std::shared_ptr<const ProfileData> profileData() const = 0;

protected:
    ~ProfileDataSource() = default;
};

// A new IWMProfile over the data, with one reference owned by the caller.
ComPtr<IWMProfile> createProfile(std::shared_ptr<const ProfileData> data);

// Writes the media type of a stream in the runtime's layout (see IWMMediaProps::GetMediaType).
HRESULT writeMediaType(const StreamDescription& stream, WM_MEDIA_TYPE* pType, DWORD* pcbType);

}  // namespace media
