#pragma once

// The header of a media file as the runtime shows it: attributes per stream (0 = the file),
// codec descriptions, script commands and markers; and HeaderInfoBase, the IWMHeaderInfo3 that
// readers, the writer and the editor expose over it.

#include <string>
#include <vector>

#include "media/wmsdk.h"

namespace media {

struct Attribute {
    WORD stream = 0;
    std::u16string name;
    WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
    std::vector<BYTE> value;  // strings as UTF-16LE with their terminator
    WORD language = 0;
};

struct CodecInfo {
    std::u16string name;
    std::u16string description;
    WMT_CODEC_INFO_TYPE type = WMT_CODECINFO_UNKNOWN;
    std::vector<BYTE> info;
};

struct ScriptCommand {
    std::u16string type;
    std::u16string command;
    QWORD time = 0;  // 100-ns units
};

struct Marker {
    std::u16string name;
    QWORD time = 0;  // media time, 100-ns units
};

struct HeaderData {
    std::vector<Attribute> attributes;
    std::vector<CodecInfo> codecs;
    std::vector<ScriptCommand> scripts;
    std::vector<Marker> markers;

    const Attribute* find(WORD stream, const std::u16string& name) const;
};

// A value of the given type in the runtime's byte layout.
std::vector<BYTE> attributeValue(QWORD value, WMT_ATTR_DATATYPE type);
std::vector<BYTE> attributeString(const std::u16string& text);

// IWMHeaderInfo3 over a HeaderData. The object that derives from it provides IUnknown (one
// override serves every base) and decides whether attributes may be set. Not thread-safe: an
// object's methods are called from one thread at a time.
class HeaderInfoBase : public IWMHeaderInfo3 {
public:
    HRESULT GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) override;
    HRESULT GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName, WORD* pcchNameLen,
                                WMT_ATTR_DATATYPE* pType, BYTE* pValue, WORD* pcbLength) override;
    HRESULT GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                               BYTE* pValue, WORD* pcbLength) override;
    HRESULT SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                         const BYTE* pValue, WORD cbLength) override;
    HRESULT GetMarkerCount(WORD* pcMarkers) override;
    HRESULT GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                      QWORD* pcnsMarkerTime) override;
    HRESULT GetScriptCount(WORD* pcScripts) override;
    HRESULT GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                      WORD* pcchCommandLen, QWORD* pcnsScriptTime) override;
    HRESULT AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) override;
    HRESULT GetCodecInfoCount(DWORD* pcCodecInfos) override;
    HRESULT GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName, WORD* pcchDescription,
                         WCHAR* pwszDescription, WMT_CODEC_INFO_TYPE* pCodecType,
                         WORD* pcbCodecInfo, BYTE* pbCodecInfo) override;
    HRESULT AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription, WMT_CODEC_INFO_TYPE codecType,
                         WORD cbCodecInfo, const BYTE* pbCodecInfo) override;
    HRESULT GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) override;
    HRESULT GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, LPWSTR pwszName, WORD* pwNameLen,
                                  WMT_ATTR_DATATYPE* pType, WORD* pwLangIndex, BYTE* pValue,
                                  DWORD* pdwDataLength) override;
    HRESULT AddAttribute(WORD wStreamNum, LPCWSTR pszName, WORD* pwIndex, WMT_ATTR_DATATYPE Type,
                         WORD wLangIndex, const BYTE* pValue, DWORD dwLength) override;

protected:
    ~HeaderInfoBase() = default;

    // The header shown; null before the owner has one (calls then fail with
    // ASF_E_INVALIDSTATE).
    virtual HeaderData* headerData() = 0;
    // Whether SetAttribute, AddScript and AddCodecInfo may change the header. Readers say no.
    virtual bool headerWritable() const { return false; }
    // Checks an attribute before it is stored; E_INVALIDARG refuses it.
    virtual HRESULT checkAttribute(const Attribute& attribute);

private:
    const Attribute* attributeAt(WORD stream, WORD index);
    // An attribute to set or add, checked; fails as the setting calls do.
    HRESULT makeAttribute(WORD stream, LPCWSTR name, WMT_ATTR_DATATYPE type, WORD language,
                          const BYTE* value, DWORD length, Attribute& out);
};

}  // namespace media
