#include "media/sample_buffer.h"

namespace media {

ComPtr<INSSBuffer> SampleBuffer::create(std::vector<BYTE> bytes) {
    return ComPtr<INSSBuffer>::adopt(new SampleBuffer(std::move(bytes)));
}

HRESULT SampleBuffer::QueryInterface(REFIID riid, void** ppvObject) {
    return queryInterface(riid, ppvObject,
                          {{{IID_IUnknown, IID_INSSBuffer}, static_cast<INSSBuffer*>(this)}});
}

ULONG SampleBuffer::Release() {
    ULONG left = refs_.release();
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT SampleBuffer::GetLength(DWORD* pdwLength) {
    if (!pdwLength) {
        return E_POINTER;
    }
    *pdwLength = length_;
    return S_OK;
}

HRESULT SampleBuffer::SetLength(DWORD dwLength) {
    if (dwLength > bytes_.size()) {
        return E_INVALIDARG;
    }
    length_ = dwLength;
    return S_OK;
}

HRESULT SampleBuffer::GetMaxLength(DWORD* pdwLength) {
    if (!pdwLength) {
        return E_POINTER;
    }
    *pdwLength = static_cast<DWORD>(bytes_.size());
    return S_OK;
}

HRESULT SampleBuffer::GetBuffer(BYTE** ppdwBuffer) {
    if (!ppdwBuffer) {
        return E_POINTER;
    }
    *ppdwBuffer = bytes_.data();
    return S_OK;
}

HRESULT SampleBuffer::GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) {
    if (!ppdwBuffer || !pdwLength) {
        return E_POINTER;
    }
    *ppdwBuffer = bytes_.data();
    *pdwLength = length_;
    return S_OK;
}

}  // namespace media
