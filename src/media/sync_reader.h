#pragma once

// The synchronous reader (WMCreateSyncReader): samples pulled one at a time with GetNextSample.
//
// Video samples come decoded to the runtime's default uncompressed output (24-bit bottom-up
// BGR at the stream's size, rows padded to 4 bytes) unless SetReadStreamSamples asked for them
// compressed. This runtime decodes key frames only: uncompressed video is offered for streams
// selected with WMT_CLEANPOINT_ONLY, and other streams are read compressed.
//
// Decoded key frames are decoded a few frames ahead on worker threads; the frames read ahead
// are dropped when the selection changes or a sample of another kind is asked for. The output
// setting g_wszPictureSize makes them smaller. A key frame that does not decode (damaged data)
// comes as a plain grey picture, so the key frames after it are still read.
//
// Key frames are found by reading every packet of the file: the Simple Index names, for each
// time, the packet of an earlier key frame, which does not prove that no other key frame lies
// in between (two key frames in one packet, pictures reordered by B-frames).
//
// With a stream number, GetNextSample skips the samples of other streams; they are not kept
// for later calls.

#include <map>
#include <memory>

#include "asf/sample_reader.h"
#include "media/decode_pipeline.h"
#include "media/header_data.h"
#include "media/source_file.h"

namespace media {

class SyncReader final : public IWMSyncReader, public HeaderInfoBase {
public:
    SyncReader() = default;

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override { return refs_.addRef(); }
    ULONG Release() override;

    HRESULT Open(LPCWSTR pwszFilename) override;
    HRESULT Close() override;
    HRESULT SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                               WMT_STREAM_SELECTION* pSelections) override;
    HRESULT SetReadStreamSamples(WORD wStreamNum, BOOL fCompressed) override;
    HRESULT GetNextSample(WORD wStreamNum, INSSBuffer** ppSample, QWORD* pcnsSampleTime,
                          QWORD* pcnsDuration, DWORD* pdwFlags, DWORD* pdwOutputNum,
                          WORD* pwStreamNum) override;
    HRESULT SetOutputSetting(DWORD dwOutputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                             const BYTE* pValue, WORD cbLength) override;

protected:
    HeaderData* headerData() override { return source_.file ? &source_.header : nullptr; }

private:
    struct StreamState {
        std::size_t profileIndex = 0;
        WMT_STREAM_SELECTION selection = WMT_ON;
        bool compressed = false;
        int pictureWidth = 0;  // decoded pictures' size; 0: the stream's
        int pictureHeight = 0;
    };

    ~SyncReader() = default;
    bool wanted(const asf::Sample& sample, WORD requested) const;
    void applyFilter(WORD requested);
    // The next sample for the request.
    HRESULT readNext(WORD requested, asf::Sample& sample);
    // The next key frame of a video stream, decoded (several are decoded ahead at once).
    HRESULT nextDecoded(WORD stream, const asf::VideoFormat& format, DecodePipeline::Frame& out);

    RefCount refs_;
    SourceFile source_;
    std::unique_ptr<asf::SampleReader> reader_;
    std::map<WORD, StreamState> streams_;
    std::unique_ptr<DecodePipeline> pipeline_;
    WORD pipelineStream_ = 0;
    HRESULT pipelineEnd_ = S_OK;  // why reading ahead stopped
    int filterFor_ = -1;          // the request the reader's stream filter was set for
};

}  // namespace media
