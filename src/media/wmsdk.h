#pragma once

// The media runtime's interfaces, types and creation functions, with the names, argument orders
// and values of the platform runtime. Only what the program calls is declared.
//
// Threads: every object may be called from any one thread at a time, except the asynchronous
// reader, which calls its IWMReaderCallback on a thread of its own (see IWMReaderCallback).

#include <cstddef>

#include "media/com.h"

namespace media {

// ---- Types

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");

struct WMVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    LONGLONG AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(offsetof(WMVIDEOINFOHEADER, bmiHeader) == 48, "bitmap header follows 48 bytes");

#pragma pack(push, 2)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");

// A media type. GetMediaType writes this structure followed by the format block it points to.
struct WM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

enum WMT_ATTR_DATATYPE {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

enum WMT_STATUS {
    WMT_ERROR = 0,
    WMT_OPENED = 1,
    WMT_BUFFERING_START = 2,
    WMT_BUFFERING_STOP = 3,
    WMT_EOF = 4,
    WMT_END_OF_FILE = 4,
    WMT_END_OF_SEGMENT = 5,
    WMT_END_OF_STREAMING = 6,
    WMT_LOCATING = 7,
    WMT_CONNECTING = 8,
    WMT_NO_RIGHTS = 9,
    WMT_MISSING_CODEC = 10,
    WMT_STARTED = 11,
    WMT_STOPPED = 12,
    WMT_CLOSED = 13,
};

enum WMT_STREAM_SELECTION {
    WMT_OFF = 0,
    WMT_CLEANPOINT_ONLY = 1,
    WMT_ON = 2,
};

enum WMT_CODEC_INFO_TYPE {
    WMT_CODECINFO_AUDIO = 0,
    WMT_CODECINFO_VIDEO = 1,
    WMT_CODECINFO_UNKNOWN = 0xFFFFFFFF,
};

// Sample flags.
constexpr DWORD WM_SF_CLEANPOINT = 0x1;
constexpr DWORD WM_SF_DISCONTINUITY = 0x2;
constexpr DWORD WM_SF_DATALOSS = 0x4;

// ---- Ids

extern const GUID WMMEDIATYPE_Video;
extern const GUID WMMEDIATYPE_Audio;
extern const GUID WMMEDIATYPE_Script;
extern const GUID WMMEDIATYPE_Image;
extern const GUID WMMEDIATYPE_FileTransfer;
extern const GUID WMMEDIATYPE_Text;
extern const GUID WMMEDIASUBTYPE_RGB24;
extern const GUID WMFORMAT_VideoInfo;
extern const GUID WMFORMAT_WaveFormatEx;
extern const GUID WMFORMAT_Script;
extern const GUID WMFORMAT_WebStream;
extern const GUID GUID_NULL;

// The media subtype of a FourCC or wave format tag ("XXXXXXXX-0000-0010-8000-00AA00389B71").
GUID subtypeFromFourcc(DWORD fourcc);

extern const IID IID_INSSBuffer;
extern const IID IID_IWMMediaProps;
extern const IID IID_IWMInputMediaProps;
extern const IID IID_IWMStreamConfig;
extern const IID IID_IWMProfile;
extern const IID IID_IWMHeaderInfo;
extern const IID IID_IWMHeaderInfo2;
extern const IID IID_IWMHeaderInfo3;
extern const IID IID_IWMSyncReader;
extern const IID IID_IWMReader;
extern const IID IID_IWMReaderAdvanced;
extern const IID IID_IWMStatusCallback;
extern const IID IID_IWMReaderCallback;
extern const IID IID_IWMReaderCallbackAdvanced;
extern const IID IID_IWMWriter;
extern const IID IID_IWMWriterAdvanced;
extern const IID IID_IWMMetadataEditor;

// ---- Interfaces

class INSSBuffer : public IUnknown {
public:
    virtual HRESULT GetLength(DWORD* pdwLength) = 0;
    virtual HRESULT SetLength(DWORD dwLength) = 0;
    virtual HRESULT GetMaxLength(DWORD* pdwLength) = 0;
    virtual HRESULT GetBuffer(BYTE** ppdwBuffer) = 0;
    virtual HRESULT GetBufferAndLength(BYTE** ppdwBuffer, DWORD* pdwLength) = 0;

protected:
    ~INSSBuffer() = default;
};

class IWMMediaProps : public IUnknown {
public:
    virtual HRESULT GetType(GUID* pguidType) = 0;
    // With pType null, *pcbType receives the size needed for the structure and its format block.
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* pType, DWORD* pcbType) = 0;
    virtual HRESULT SetMediaType(WM_MEDIA_TYPE* pType) = 0;

protected:
    ~IWMMediaProps() = default;
};

class IWMInputMediaProps : public IWMMediaProps {
protected:
    ~IWMInputMediaProps() = default;
};

class IWMStreamConfig : public IUnknown {
public:
    virtual HRESULT GetStreamType(GUID* pguidStreamType) = 0;
    virtual HRESULT GetStreamNumber(WORD* pwStreamNum) = 0;
    virtual HRESULT GetBitrate(DWORD* pdwBitrate) = 0;

protected:
    ~IWMStreamConfig() = default;
};

class IWMProfile : public IUnknown {
public:
    virtual HRESULT GetStreamCount(DWORD* pcStreams) = 0;
    virtual HRESULT GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) = 0;
    virtual HRESULT GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig) = 0;

protected:
    ~IWMProfile() = default;
};

// Header data. Lengths of names are in 16-bit units including the terminator; lengths of values
// in bytes. A null buffer asks for the length only.
class IWMHeaderInfo : public IUnknown {
public:
    virtual HRESULT GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) = 0;
    virtual HRESULT GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName,
                                        WORD* pcchNameLen, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                        WORD* pcbLength) = 0;
    virtual HRESULT GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                                       BYTE* pValue, WORD* pcbLength) = 0;
    virtual HRESULT SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                 const BYTE* pValue, WORD cbLength) = 0;
    virtual HRESULT GetMarkerCount(WORD* pcMarkers) = 0;
    virtual HRESULT GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                              QWORD* pcnsMarkerTime) = 0;
    virtual HRESULT GetScriptCount(WORD* pcScripts) = 0;
    virtual HRESULT GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                              WORD* pcchCommandLen, QWORD* pcnsScriptTime) = 0;
    virtual HRESULT AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) = 0;

protected:
    ~IWMHeaderInfo() = default;
};

class IWMHeaderInfo2 : public IWMHeaderInfo {
public:
    virtual HRESULT GetCodecInfoCount(DWORD* pcCodecInfos) = 0;
    virtual HRESULT GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName,
                                 WORD* pcchDescription, WCHAR* pwszDescription,
                                 WMT_CODEC_INFO_TYPE* pCodecType, WORD* pcbCodecInfo,
                                 BYTE* pbCodecInfo) = 0;

protected:
    ~IWMHeaderInfo2() = default;
};

class IWMHeaderInfo3 : public IWMHeaderInfo2 {
public:
    // Attributes with their language (an index into the file's language list, 0 for none),
    // each value of a name given more than once, and values of any length.
    virtual HRESULT GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) = 0;
    virtual HRESULT GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, LPWSTR pwszName,
                                          WORD* pwNameLen, WMT_ATTR_DATATYPE* pType,
                                          WORD* pwLangIndex, BYTE* pValue,
                                          DWORD* pdwDataLength) = 0;
    // Adds a value, beside any other of the same name; *pwIndex receives its index.
    virtual HRESULT AddAttribute(WORD wStreamNum, LPCWSTR pszName, WORD* pwIndex,
                                 WMT_ATTR_DATATYPE Type, WORD wLangIndex, const BYTE* pValue,
                                 DWORD dwLength) = 0;
    virtual HRESULT AddCodecInfo(LPCWSTR pwszName, LPCWSTR pwszDescription,
                                 WMT_CODEC_INFO_TYPE codecType, WORD cbCodecInfo,
                                 const BYTE* pbCodecInfo) = 0;

protected:
    ~IWMHeaderInfo3() = default;
};

// Output setting of a video output whose key frames are decoded (WMT_TYPE_DWORD): the size of
// the pictures handed out, width in the high 16 bits and height in the low ones, 0 for the
// stream's own size. Each output pixel is the picture's nearest one, the picture being decoded
// at a reduced size where the codec can do that and stay at least this size.
inline constexpr char16_t g_wszPictureSize[] = u"PictureSize";

class IWMSyncReader : public IUnknown {
public:
    virtual HRESULT Open(LPCWSTR pwszFilename) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                                       WMT_STREAM_SELECTION* pSelections) = 0;
    // Makes GetNextSample hand out the stream's samples compressed, as stored in the file.
    virtual HRESULT SetReadStreamSamples(WORD wStreamNum, BOOL fCompressed) = 0;
    // The next sample of the given stream (0: of any selected stream), in file order.
    // NS_E_NO_MORE_SAMPLES when none is left.
    virtual HRESULT GetNextSample(WORD wStreamNum, INSSBuffer** ppSample, QWORD* pcnsSampleTime,
                                  QWORD* pcnsDuration, DWORD* pdwFlags, DWORD* pdwOutputNum,
                                  WORD* pwStreamNum) = 0;
    // Sets one of an output's settings (the output number is the stream's place in the profile).
    // This runtime knows g_wszPictureSize; other names give E_INVALIDARG.
    virtual HRESULT SetOutputSetting(DWORD dwOutputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                     const BYTE* pValue, WORD cbLength) = 0;

protected:
    ~IWMSyncReader() = default;
};

class IWMStatusCallback : public IUnknown {
public:
    virtual HRESULT OnStatus(WMT_STATUS Status, HRESULT hr, WMT_ATTR_DATATYPE dwType, BYTE* pValue,
                             void* pvContext) = 0;

protected:
    ~IWMStatusCallback() = default;
};

// Called by the asynchronous reader on its own delivery thread, one call at a time. A callback
// may call DeliverTime on the reader; it must not call Close or release the last reference.
class IWMReaderCallback : public IWMStatusCallback {
public:
    virtual HRESULT OnSample(DWORD dwOutputNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                             DWORD dwFlags, INSSBuffer* pSample, void* pvContext) = 0;

protected:
    ~IWMReaderCallback() = default;
};

// Queried from the IWMReaderCallback passed to Open; same thread rules.
class IWMReaderCallbackAdvanced : public IUnknown {
public:
    virtual HRESULT OnStreamSample(WORD wStreamNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                                   DWORD dwFlags, INSSBuffer* pSample, void* pvContext) = 0;
    virtual HRESULT OnTime(QWORD cnsCurrentTime, void* pvContext) = 0;
    virtual HRESULT OnStreamSelection(WORD wStreamCount, WORD* pStreamNumbers,
                                      WMT_STREAM_SELECTION* pSelections, void* pvContext) = 0;
    virtual HRESULT OnOutputPropsChanged(DWORD dwOutputNum, WM_MEDIA_TYPE* pMediaType,
                                         void* pvContext) = 0;
    virtual HRESULT AllocateForStream(WORD wStreamNum, DWORD cbBuffer, INSSBuffer** ppBuffer,
                                      void* pvContext) = 0;
    virtual HRESULT AllocateForOutput(DWORD dwOutputNum, DWORD cbBuffer, INSSBuffer** ppBuffer,
                                      void* pvContext) = 0;

protected:
    ~IWMReaderCallbackAdvanced() = default;
};

class IWMReader : public IUnknown {
public:
    // Opens the file on the reader's thread; the outcome comes through OnStatus(WMT_OPENED).
    virtual HRESULT Open(LPCWSTR pwszURL, IWMReaderCallback* pCallback, void* pvContext) = 0;
    // Stops delivery; OnStatus(WMT_CLOSED) is the last callback. Returns once the reader's
    // thread has stopped calling back.
    virtual HRESULT Close() = 0;
    virtual HRESULT Start(QWORD cnsStart, QWORD cnsDuration, float fRate, void* pvContext) = 0;
    virtual HRESULT Stop() = 0;

protected:
    ~IWMReader() = default;
};

class IWMReaderAdvanced : public IUnknown {
public:
    virtual HRESULT SetUserProvidedClock(BOOL fUserClock) = 0;
    // Lets the reader deliver samples up to the given time; OnTime follows when it got there.
    virtual HRESULT DeliverTime(QWORD cnsTime) = 0;
    virtual HRESULT SetManualStreamSelection(BOOL fSelection) = 0;
    virtual HRESULT SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                                       WMT_STREAM_SELECTION* pSelections) = 0;
    virtual HRESULT SetReceiveStreamSamples(WORD wStreamNum, BOOL fReceiveStreamSamples) = 0;

protected:
    ~IWMReaderAdvanced() = default;
};

class IWMWriter : public IUnknown {
public:
    virtual HRESULT SetProfile(IWMProfile* pProfile) = 0;
    virtual HRESULT SetOutputFilename(LPCWSTR pwszFilename) = 0;
    virtual HRESULT GetInputCount(DWORD* pcInputs) = 0;
    virtual HRESULT SetInputProps(DWORD dwInputNum, IWMInputMediaProps* pInput) = 0;
    virtual HRESULT BeginWriting() = 0;
    virtual HRESULT EndWriting() = 0;

protected:
    ~IWMWriter() = default;
};

class IWMWriterAdvanced : public IUnknown {
public:
    virtual HRESULT WriteStreamSample(WORD wStreamNum, QWORD cnsSampleTime, DWORD msSampleSendTime,
                                      QWORD cnsSampleDuration, DWORD dwFlags,
                                      INSSBuffer* pSample) = 0;

protected:
    ~IWMWriterAdvanced() = default;
};

class IWMMetadataEditor : public IUnknown {
public:
    virtual HRESULT Open(LPCWSTR pwszFilename) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT Flush() = 0;

protected:
    ~IWMMetadataEditor() = default;
};

// ---- Creation functions. On success *pp holds one reference the caller owns.

HRESULT WMCreateSyncReader(IUnknown* pUnkCert, DWORD dwRights, IWMSyncReader** ppSyncReader);
HRESULT WMCreateReader(IUnknown* pUnkCert, DWORD dwRights, IWMReader** ppReader);
HRESULT WMCreateWriter(IUnknown* pUnkCert, IWMWriter** ppWriter);
HRESULT WMCreateEditor(IWMMetadataEditor** ppEditor);

}  // namespace media
