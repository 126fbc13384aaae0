#include "media/header_data.h"

#include <algorithm>
#include <cstring>

namespace media {

namespace {

std::u16string textOf(LPCWSTR s) {
    return s ? std::u16string(s) : std::u16string();
}

// Copies a text with its terminator into a caller's buffer of *length units; a null buffer
// asks for the length.
HRESULT copyText(const std::u16string& text, WCHAR* buffer, WORD* length) {
    if (!length) {
        return E_POINTER;
    }
    std::size_t need = text.size() + 1;
    if (need > 0xFFFF) {
        return ASF_E_BUFFERTOOSMALL;
    }
    if (!buffer) {
        *length = static_cast<WORD>(need);
        return S_OK;
    }
    if (*length < need) {
        *length = static_cast<WORD>(need);
        return ASF_E_BUFFERTOOSMALL;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    *length = static_cast<WORD>(need);
    return S_OK;
}

HRESULT copyBytes(const std::vector<BYTE>& bytes, BYTE* buffer, WORD* length) {
    if (!length) {
        return E_POINTER;
    }
    if (bytes.size() > 0xFFFF) {
        return ASF_E_BUFFERTOOSMALL;
    }
    if (!buffer) {
        *length = static_cast<WORD>(bytes.size());
        return S_OK;
    }
    if (*length < bytes.size()) {
        *length = static_cast<WORD>(bytes.size());
        return ASF_E_BUFFERTOOSMALL;
    }
    if (!bytes.empty()) {
        std::memcpy(buffer, bytes.data(), bytes.size());
    }
    *length = static_cast<WORD>(bytes.size());
    return S_OK;
}

}  // namespace

const Attribute* HeaderData::find(WORD stream, const std::u16string& name) const {
    for (const Attribute& a : attributes) {
        if (a.stream == stream && a.name == name) {
            return &a;
        }
    }
    return nullptr;
}

std::vector<BYTE> attributeValue(QWORD value, WMT_ATTR_DATATYPE type) {
    std::size_t size = type == WMT_TYPE_QWORD ? 8 : type == WMT_TYPE_WORD ? 2 : 4;
    std::vector<BYTE> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(value >> (8 * i));
    }
    return bytes;
}

std::vector<BYTE> attributeString(const std::u16string& text) {
    std::vector<BYTE> bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

const Attribute* HeaderInfoBase::attributeAt(WORD stream, WORD index) {
    HeaderData* data = headerData();
    WORD seen = 0;
    for (const Attribute& a : data->attributes) {
        if (a.stream == stream && seen++ == index) {
            return &a;
        }
    }
    return nullptr;
}

HRESULT HeaderInfoBase::GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) {
    if (!pcAttributes) {
        return E_POINTER;
    }
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    auto n = std::count_if(data->attributes.begin(), data->attributes.end(),
                           [&](const Attribute& a) { return a.stream == wStreamNum; });
    *pcAttributes = static_cast<WORD>(std::min<long>(n, 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfoBase::GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName,
                                            WORD* pcchNameLen, WMT_ATTR_DATATYPE* pType,
                                            BYTE* pValue, WORD* pcbLength) {
    if (!pwStreamNum || !pcchNameLen || !pType || !pcbLength) {
        return E_POINTER;
    }
    if (!headerData()) {
        return ASF_E_INVALIDSTATE;
    }
    const Attribute* a = attributeAt(*pwStreamNum, wIndex);
    if (!a) {
        return E_INVALIDARG;
    }
    *pType = a->type;
    HRESULT hr = copyText(a->name, pwszName, pcchNameLen);
    HRESULT hv = copyBytes(a->value, pValue, pcbLength);
    return FAILED(hr) ? hr : hv;
}

HRESULT HeaderInfoBase::GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName,
                                           WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                           WORD* pcbLength) {
    if (!pwStreamNum || !pszName || !pType || !pcbLength) {
        return E_POINTER;
    }
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    const Attribute* a = data->find(*pwStreamNum, pszName);
    if (!a) {
        return ASF_E_NOTFOUND;
    }
    *pType = a->type;
    return copyBytes(a->value, pValue, pcbLength);
}

HRESULT HeaderInfoBase::checkAttribute(const Attribute&) {
    return S_OK;
}

HRESULT HeaderInfoBase::makeAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type,
                                      WORD language, const BYTE* value, DWORD length,
                                      Attribute& out) {
    if (!headerData() || !headerWritable()) {
        return ASF_E_INVALIDSTATE;
    }
    if (!name || (!value && length > 0)) {
        return E_POINTER;
    }
    out.stream = stream;
    out.name = name;
    out.type = type;
    out.language = language;
    out.value.assign(value, value + length);
    return checkAttribute(out);
}

HRESULT HeaderInfoBase::SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                     const BYTE* pValue, WORD cbLength) {
    Attribute attribute;
    HRESULT hr = makeAttribute(wStreamNum, pszName, Type, 0, pValue, cbLength, attribute);
    if (FAILED(hr)) {
        return hr;
    }
    // Setting a name that exists replaces its value, as the runtime does.
    HeaderData* data = headerData();
    for (Attribute& a : data->attributes) {
        if (a.stream == wStreamNum && a.name == attribute.name) {
            a = std::move(attribute);
            return S_OK;
        }
    }
    data->attributes.push_back(std::move(attribute));
    return S_OK;
}

HRESULT HeaderInfoBase::GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) {
    return GetAttributeCount(wStreamNum, pcAttributes);
}

HRESULT HeaderInfoBase::GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, LPWSTR pwszName,
                                              WORD* pwNameLen, WMT_ATTR_DATATYPE* pType,
                                              WORD* pwLangIndex, BYTE* pValue,
                                              DWORD* pdwDataLength) {
    if (!pwNameLen || !pType || !pwLangIndex || !pdwDataLength) {
        return E_POINTER;
    }
    if (!headerData()) {
        return ASF_E_INVALIDSTATE;
    }
    const Attribute* a = attributeAt(wStreamNum, wIndex);
    if (!a) {
        return E_INVALIDARG;
    }
    *pType = a->type;
    *pwLangIndex = a->language;
    HRESULT hr = copyText(a->name, pwszName, pwNameLen);
    if (a->value.size() > 0xFFFFFFFFu) {
        return ASF_E_BUFFERTOOSMALL;
    }
    const DWORD size = static_cast<DWORD>(a->value.size());
    if (pValue) {
        if (*pdwDataLength < size) {
            *pdwDataLength = size;
            return ASF_E_BUFFERTOOSMALL;
        }
        if (size > 0) {
            std::memcpy(pValue, a->value.data(), size);
        }
    }
    *pdwDataLength = size;
    return hr;
}

HRESULT HeaderInfoBase::AddAttribute(WORD wStreamNum, LPCWSTR pszName, WORD* pwIndex,
                                     WMT_ATTR_DATATYPE Type, WORD wLangIndex, const BYTE* pValue,
                                     DWORD dwLength) {
    if (!pwIndex) {
        return E_POINTER;
    }
    Attribute attribute;
    HRESULT hr = makeAttribute(wStreamNum, pszName, Type, wLangIndex, pValue, dwLength, attribute);
    if (FAILED(hr)) {
        return hr;
    }
    HeaderData* data = headerData();
    WORD index = 0;
    for (const Attribute& a : data->attributes) {
        index += a.stream == wStreamNum ? 1 : 0;
    }
    if (index == 0xFFFF) {
        return E_INVALIDARG;
    }
    data->attributes.push_back(std::move(attribute));
    *pwIndex = index;
    return S_OK;
}

HRESULT HeaderInfoBase::GetMarkerCount(WORD* pcMarkers) {
    if (!pcMarkers) {
        return E_POINTER;
    }
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    *pcMarkers = static_cast<WORD>(std::min<std::size_t>(data->markers.size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfoBase::GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                                  QWORD* pcnsMarkerTime) {
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    if (!pcnsMarkerTime) {
        return E_POINTER;
    }
    if (wIndex >= data->markers.size()) {
        return E_INVALIDARG;
    }
    const Marker& m = data->markers[wIndex];
    *pcnsMarkerTime = m.time;
    return copyText(m.name, pwszMarkerName, pcchMarkerNameLen);
}

HRESULT HeaderInfoBase::GetScriptCount(WORD* pcScripts) {
    if (!pcScripts) {
        return E_POINTER;
    }
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    *pcScripts = static_cast<WORD>(std::min<std::size_t>(data->scripts.size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfoBase::GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen,
                                  WCHAR* pwszCommand, WORD* pcchCommandLen, QWORD* pcnsScriptTime) {
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    if (!pcnsScriptTime) {
        return E_POINTER;
    }
    if (wIndex >= data->scripts.size()) {
        return E_INVALIDARG;
    }
    const ScriptCommand& s = data->scripts[wIndex];
    *pcnsScriptTime = s.time;
    HRESULT ht = copyText(s.type, pwszType, pcchTypeLen);
    HRESULT hc = copyText(s.command, pwszCommand, pcchCommandLen);
    return FAILED(ht) ? ht : hc;
}

HRESULT HeaderInfoBase::AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) {
    HeaderData* data = headerData();
    if (!data || !headerWritable()) {
        return ASF_E_INVALIDSTATE;
    }
    if (!pwszType || !pwszCommand) {
        return E_POINTER;
    }
    data->scripts.push_back({textOf(pwszType), textOf(pwszCommand), cnsScriptTime});
    return S_OK;
}

HRESULT HeaderInfoBase::GetCodecInfoCount(DWORD* pcCodecInfos) {
    if (!pcCodecInfos) {
        return E_POINTER;
    }
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    *pcCodecInfos = static_cast<DWORD>(data->codecs.size());
    return S_OK;
}

HRESULT HeaderInfoBase::GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName,
                                     WORD* pcchDescription, WCHAR* pwszDescription,
                                     WMT_CODEC_INFO_TYPE* pCodecType, WORD* pcbCodecInfo,
                                     BYTE* pbCodecInfo) {
    HeaderData* data = headerData();
    if (!data) {
        return ASF_E_INVALIDSTATE;
    }
    if (!pCodecType) {
        return E_POINTER;
    }
    if (wIndex >= data->codecs.size()) {
        return E_INVALIDARG;
    }
    const CodecInfo& c = data->codecs[wIndex];
    *pCodecType = c.type;
    HRESULT results[] = {copyText(c.name, pwszName, pcchName),
                         copyText(c.description, pwszDescription, pcchDescription),
                         copyBytes(c.info, pbCodecInfo, pcbCodecInfo)};
    for (HRESULT hr : results) {
        if (FAILED(hr)) {
            return hr;
        }
    }
    return S_OK;
}

HRESULT HeaderInfoBase::AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription,
                                     WMT_CODEC_INFO_TYPE codecType, WORD cbCodecInfo,
                                     const BYTE* pbCodecInfo) {
    HeaderData* data = headerData();
    if (!data || !headerWritable()) {
        return ASF_E_INVALIDSTATE;
    }
    if (!pwszName || !pwszDescription || (!pbCodecInfo && cbCodecInfo > 0)) {
        return E_POINTER;
    }
    CodecInfo c;
    c.name = pwszName;
    c.description = pwszDescription;
    c.type = codecType;
    c.info.assign(pbCodecInfo, pbCodecInfo + cbCodecInfo);
    data->codecs.push_back(std::move(c));
    return S_OK;
}

}  // namespace media
