#pragma once

// The runtime's sample buffer: an INSSBuffer that owns its bytes.

#include <vector>

#include "media/wmsdk.h"

namespace media {

class SampleBuffer final : public INSSBuffer {
public:
    // A new buffer holding the given bytes, with one reference owned by the caller.
    static ComPtr<INSSBuffer> create(std::vector<BYTE> bytes);

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override { return refs_.addRef(); }
    ULONG Release() override;
    HRESULT GetLength(DWORD* pdwLength) override;
    HRESULT SetLength(DWORD dwLength) override;
    HRESULT GetMaxLength(DWORD* pdwLength) override;
    HRESULT GetBuffer(BYTE** ppdwBuffer) override;
    HRESULT GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) override;

private:
    explicit SampleBuffer(std::vector<BYTE> bytes)
        : bytes_(std::move(bytes)), length_(static_cast<DWORD>(bytes_.size())) {}
    ~SampleBuffer() = default;

    RefCount refs_;
    std::vector<BYTE> bytes_;
    DWORD length_;
};

}  // namespace media
