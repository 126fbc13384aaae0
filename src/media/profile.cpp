#include "media/profile.h"

#include <cstring>

namespace media {

const IID IID_ProfileDataSource = GUID::fromString("5B1C2F1E-6C55-4E55-9D2B-53504C49434F");

HRESULT writeMediaType(const StreamDescription& stream, WM_MEDIA_TYPE* pType, DWORD* pcbType) {
    if (!pcbType) {
        return E_POINTER;
    }
    DWORD need = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + stream.format.size());
    if (!pType) {
        *pcbType = need;
        return S_OK;
    }
    if (*pcbType < need) {
        *pcbType = need;
        return ASF_E_BUFFERTOOSMALL;
    }
    WM_MEDIA_TYPE t{};
    t.majortype = stream.majorType;
    t.subtype = stream.subtype;
    t.bFixedSizeSamples = stream.fixedSizeSamples;
    t.bTemporalCompression = stream.temporalCompression;
    t.lSampleSize = stream.sampleSize;
    t.formattype = stream.formatType;
    t.pUnk = nullptr;
    t.cbFormat = static_cast<ULONG>(stream.format.size());
    BYTE* block = reinterpret_cast<BYTE*>(pType) + sizeof(WM_MEDIA_TYPE);
    t.pbFormat = stream.format.empty() ? nullptr : block;
    std::memcpy(pType, &t, sizeof t);
    if (!stream.format.empty()) {
        std::memcpy(block, stream.format.data(), stream.format.size());
    }
    *pcbType = need;
    return S_OK;
}

namespace {

// One stream of a profile: IWMStreamConfig and IWMMediaProps on one object.
class StreamConfig : public IWMStreamConfig, public IWMMediaProps {
public:
    StreamConfig(std::shared_ptr<const ProfileData> data, std::size_t index)
        : data_(std::move(data)), stream_(data_->streams[index]) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return queryInterface(
            riid, ppv,
            {{{IID_IUnknown, IID_IWMStreamConfig}, static_cast<IWMStreamConfig*>(this)},
             {{IID_IWMMediaProps}, static_cast<IWMMediaProps*>(this)}});
    }

    HRESULT GetStreamType(GUID* pguidStreamType) override { return GetType(pguidStreamType); }
    HRESULT GetStreamNumber(WORD* pwStreamNum) override {
        if (!pwStreamNum) {
            return E_POINTER;
        }
        *pwStreamNum = stream_.number;
        return S_OK;
    }
    HRESULT GetBitrate(DWORD* pdwBitrate) override {
        if (!pdwBitrate) {
            return E_POINTER;
        }
        *pdwBitrate = stream_.bitrate;
        return S_OK;
    }
    HRESULT GetType(GUID* pguidType) override {
        if (!pguidType) {
            return E_POINTER;
        }
        *pguidType = stream_.majorType;
        return S_OK;
    }
    HRESULT GetMediaType(WM_MEDIA_TYPE* pType, DWORD* pcbType) override {
        return writeMediaType(stream_, pType, pcbType);
    }
    HRESULT SetMediaType(WM_MEDIA_TYPE*) override { return ASF_E_INVALIDSTATE; }

protected:
    virtual ~StreamConfig() = default;

private:
    std::shared_ptr<const ProfileData> data_;
    const StreamDescription& stream_;
};

class Profile : public IWMProfile, public ProfileDataSource {
public:
    explicit Profile(std::shared_ptr<const ProfileData> data) : data_(std::move(data)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        return queryInterface(riid, ppv,
                              {{{IID_IUnknown, IID_IWMProfile}, static_cast<IWMProfile*>(this)},
                               {{IID_ProfileDataSource}, static_cast<ProfileDataSource*>(this)}});
    }

    HRESULT GetStreamCount(DWORD* pcStreams) override {
        if (!pcStreams) {
            return E_POINTER;
        }
        *pcStreams = static_cast<DWORD>(data_->streams.size());
        return S_OK;
    }
    HRESULT GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) override {
        if (!ppConfig) {
            return E_POINTER;
        }
        if (dwStreamIndex >= data_->streams.size()) {
            return E_INVALIDARG;
        }
        *ppConfig = new ComObject<StreamConfig>(data_, dwStreamIndex);
        return S_OK;
    }
    HRESULT GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig) override {
        if (!ppConfig) {
            return E_POINTER;
        }
        for (std::size_t i = 0; i < data_->streams.size(); ++i) {
            if (data_->streams[i].number == wStreamNum) {
                *ppConfig = new ComObject<StreamConfig>(data_, i);
                return S_OK;
            }
        }
        return ASF_E_NOSTREAMPROPS;
    }

    std::shared_ptr<const ProfileData> profileData() const override { return data_; }

protected:
    virtual ~Profile() = default;

private:
    std::shared_ptr<const ProfileData> data_;
};

}  // namespace

ComPtr<IWMProfile> createProfile(std::shared_ptr<const ProfileData> data) {
    return ComPtr<IWMProfile>::adopt(new ComObject<Profile>(std::move(data)));
}

}  // namespace media
