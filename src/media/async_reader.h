#pragma once

// The asynchronous reader (WMCreateReader): opens a file and delivers its compressed samples
// through the caller's callback, on a delivery thread of its own.
//
// Open reports WMT_OPENED (or the failure) through OnStatus. Start reports WMT_STARTED, then
// hands every selected stream's samples that were asked for with SetReceiveStreamSamples to
// OnStreamSample, in file order, and WMT_END_OF_FILE at the end (with ASF_E_NODATAOBJECT when
// the data ends before the Data Object's declared end). With a user-provided clock,
// samples are delivered only while their time is below the time granted by DeliverTime; when
// the next sample lies beyond it, OnTime reports the granted time and delivery waits for more.
// Without one, samples are delivered as fast as they are read. This runtime decodes nothing on
// this path: streams not set to deliver compressed samples are not delivered.
//
// Close stops delivery and reports WMT_CLOSED as the very last callback; once it returns, no
// callback comes any more. Releasing the last reference without Close stops the thread too,
// without calling back.
//
// The delivery thread pauses between samples while the thread that called Start is suspended,
// so suspending that thread pauses its reading.

#include <memory>

#include "media/header_data.h"
#include "media/wmsdk.h"

namespace media {

class AsyncReader final : public IWMReader, public IWMReaderAdvanced, public HeaderInfoBase {
public:
    AsyncReader();

    HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Open(LPCWSTR pwszURL, IWMReaderCallback* pCallback, void* pvContext) override;
    HRESULT Close() override;
    HRESULT Start(QWORD cnsStart, QWORD cnsDuration, float fRate, void* pvContext) override;
    HRESULT Stop() override;

    HRESULT SetUserProvidedClock(BOOL fUserClock) override;
    HRESULT DeliverTime(QWORD cnsTime) override;
    HRESULT SetManualStreamSelection(BOOL fSelection) override;
    HRESULT SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                               WMT_STREAM_SELECTION* pSelections) override;
    HRESULT SetReceiveStreamSamples(WORD wStreamNum, BOOL fReceiveStreamSamples) override;

    struct State;

protected:
    HeaderData* headerData() override;

private:
    ~AsyncReader();

    RefCount refs_;
    // Shared with the delivery thread, which may outlive this object by a little when the
    // last reference goes while it is inside a callback.
    std::shared_ptr<State> state_;
};

}  // namespace media
