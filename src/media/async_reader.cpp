#include "media/async_reader.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "asf/media_time.h"
#include "asf/sample_reader.h"
#include "media/profile.h"
#include "media/sample_buffer.h"
#include "media/source_file.h"
#include "platform/thread.h"

namespace media {

namespace {}  // namespace

struct AsyncReader::State {
    std::mutex lock;  // guards every field below except source, which the delivery thread
                      // fills before reporting WMT_OPENED and nobody changes afterwards
    std::condition_variable changed;

    ComPtr<IWMReaderCallback> callback;
    ComPtr<IWMReaderCallbackAdvanced> advanced;
    void* openContext = nullptr;
    void* startContext = nullptr;
    std::u16string path;

    SourceFile source;
    bool opened = false;

    bool userClock = false;
    QWORD granted = 0;
    QWORD reported = 0;  // the last time OnTime reported
    bool startRequested = false;
    QWORD startTime = 0;
    bool stopRequested = false;
    bool closing = false;
    bool silentClose = false;  // the owner is gone: end without calling back
    platform::ThreadId owner = platform::kNoThread;

    struct StreamChoice {
        WMT_STREAM_SELECTION selection = WMT_ON;
        bool compressed = false;
    };
    std::map<WORD, StreamChoice> streams;

    platform::Thread thread;

    void run();
    void deliver();
    // Waits until the sample's time is granted; false when delivery must end instead.
    bool waitForTime(std::unique_lock<std::mutex>& guard, QWORD time);
    bool ending() const { return closing || stopRequested; }
    void status(WMT_STATUS s, HRESULT hr, void* context) {
        callback->OnStatus(s, hr, WMT_TYPE_DWORD, nullptr, context);
    }
};

void AsyncReader::State::run() {
    SourceFile file;
    HRESULT hr = openSourceFile(path, file);
    {
        std::lock_guard<std::mutex> guard(lock);
        if (SUCCEEDED(hr)) {
            source = std::move(file);
            for (const StreamDescription& s : source.profile->streams) {
                streams[s.number];
            }
            opened = true;
        }
        if (silentClose) {
            return;
        }
    }
    status(WMT_OPENED, hr, openContext);
    for (;;) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return closing || (startRequested && opened); });
        if (closing) {
            break;
        }
        startRequested = false;
        stopRequested = false;
        void* context = startContext;
        guard.unlock();
        status(WMT_STARTED, S_OK, context);
        deliver();
    }
    std::unique_lock<std::mutex> guard(lock);
    if (!silentClose) {
        guard.unlock();
        status(WMT_CLOSED, S_OK, openContext);
    }
}

bool AsyncReader::State::waitForTime(std::unique_lock<std::mutex>& guard, QWORD time) {
    while (userClock && time >= granted) {
        if (reported != granted) {
            QWORD now = granted;
            reported = now;
            void* context = startContext;
            guard.unlock();
            if (advanced) {
                advanced->OnTime(now, context);
            }
            guard.lock();
            continue;
        }
        changed.wait(guard, [&] { return granted > reported || ending(); });
        if (ending()) {
            return false;
        }
    }
    return !ending();
}

void AsyncReader::State::deliver() {
    asf::SampleReader reader(*source.file);
    std::set<std::uint8_t> filter;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& [number, choice] : streams) {
            if (choice.selection != WMT_OFF && choice.compressed) {
                filter.insert(static_cast<std::uint8_t>(number));
            }
        }
    }
    reader.setStreamFilter(filter);
    QWORD from = 0;
    {
        std::lock_guard<std::mutex> guard(lock);
        from = startTime;
    }
    // Nothing before the start is delivered, so the packets sent well before it are not read.
    if (from > 0) {
        reader.seekToPacket(source.firstPacketFor(from, filter));
    }
    asf::Sample sample;
    while (reader.next(sample)) {
        QWORD time = source.sampleTime(sample);
        platform::ThreadId waitFor;
        void* context;
        {
            std::unique_lock<std::mutex> guard(lock);
            const StreamChoice& choice = streams[sample.stream];
            if (choice.selection == WMT_OFF ||
                (choice.selection == WMT_CLEANPOINT_ONLY && !sample.cleanPoint) ||
                time < startTime) {
                continue;
            }
            if (!waitForTime(guard, time)) {
                if (stopRequested && !closing) {
                    guard.unlock();
                    status(WMT_STOPPED, S_OK, startContext);
                }
                return;
            }
            waitFor = owner;
            context = startContext;
        }
        platform::waitWhileSuspended(waitFor);
        QWORD duration = source.sampleDuration(sample);
        DWORD flags = sample.cleanPoint ? WM_SF_CLEANPOINT : 0;
        ComPtr<INSSBuffer> buffer = SampleBuffer::create(std::move(sample.data));
        if (advanced) {
            advanced->OnStreamSample(sample.stream, time, duration, flags, buffer.get(), context);
        }
    }
    // Data that ends before the Data Object's declared end (the file was cut short before it
    // was opened, or while it was read) is a failure, not the end of the file: whoever reads
    // this far wants what is missing.
    HRESULT hr = hresultFromStatus(reader.status());
    if (SUCCEEDED(hr) && source.file->truncated() && source.file->dataObject().sizeKnown) {
        hr = ASF_E_NODATAOBJECT;
    }
    std::unique_lock<std::mutex> guard(lock);
    if (ending()) {
        return;
    }
    void* context = startContext;
    guard.unlock();
    status(WMT_END_OF_FILE, hr, context);
}

HRESULT WMCreateReader(IUnknown*, DWORD, IWMReader** ppReader) {
    if (!ppReader) {
        return E_POINTER;
    }
    *ppReader = new AsyncReader();
    return S_OK;
}

AsyncReader::AsyncReader() : state_(std::make_shared<State>()) {}

AsyncReader::~AsyncReader() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->closing = true;
        state_->silentClose = true;
    }
    state_->changed.notify_all();
    if (state_->thread.id() == platform::currentThreadId()) {
        // Released from inside a callback: the thread ends on its own once it returns, and
        // keeps the state alive until then.
        auto state = state_;
        state->thread.detach();
    } else {
        state_->thread.join();
    }
}

HRESULT AsyncReader::QueryInterface(REFIID riid, void** ppv) {
    if (ppv && riid == IID_IWMProfile) {
        // The profile is an object of its own, there once a file is open.
        std::lock_guard<std::mutex> guard(state_->lock);
        if (state_->opened) {
            *ppv = createProfile(state_->source.profile).detach();
            return S_OK;
        }
    }
    return queryInterface(riid, ppv,
                          {{{IID_IUnknown, IID_IWMReader}, static_cast<IWMReader*>(this)},
                           {{IID_IWMReaderAdvanced}, static_cast<IWMReaderAdvanced*>(this)},
                           {{IID_IWMHeaderInfo, IID_IWMHeaderInfo2, IID_IWMHeaderInfo3},
                            static_cast<IWMHeaderInfo3*>(this)}});
}

ULONG AsyncReader::AddRef() {
    return refs_.addRef();
}

ULONG AsyncReader::Release() {
    ULONG left = refs_.release();
    if (left == 0) {
        delete this;
    }
    return left;
}

HeaderData* AsyncReader::headerData() {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->opened ? &state_->source.header : nullptr;
}

HRESULT AsyncReader::Open(LPCWSTR pwszURL, IWMReaderCallback* pCallback, void* pvContext) {
    if (!pwszURL || !pCallback) {
        return E_INVALIDARG;
    }
    State& s = *state_;
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.thread.joinable() || s.closing) {
        return ASF_E_INVALIDSTATE;
    }
    s.callback = ComPtr<IWMReaderCallback>(pCallback);
    pCallback->QueryInterface(IID_IWMReaderCallbackAdvanced, s.advanced.putVoid());
    s.openContext = pvContext;
    s.path = pwszURL;
    auto state = state_;
    s.thread = platform::Thread([state] { state->run(); });
    return S_OK;
}

HRESULT AsyncReader::Close() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.thread.joinable()) {
            return ASF_E_INVALIDSTATE;
        }
        s.closing = true;
    }
    s.changed.notify_all();
    if (s.thread.id() == platform::currentThreadId()) {
        // From inside a callback: the thread ends when the callback returns.
        return S_OK;
    }
    s.thread.join();
    std::lock_guard<std::mutex> guard(s.lock);
    s.callback.reset();
    s.advanced.reset();
    return S_OK;
}

HRESULT AsyncReader::Start(QWORD cnsStart, QWORD, float, void* pvContext) {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.opened || s.closing) {
            return ASF_E_INVALIDSTATE;
        }
        s.startRequested = true;
        s.stopRequested = true;  // ends a delivery in progress; the new one clears it
        s.startTime = cnsStart;
        s.startContext = pvContext;
        s.granted = 0;
        s.reported = 0;
        s.owner = platform::currentThreadId();
    }
    s.changed.notify_all();
    return S_OK;
}

HRESULT AsyncReader::Stop() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.opened) {
            return ASF_E_INVALIDSTATE;
        }
        s.stopRequested = true;
    }
    s.changed.notify_all();
    return S_OK;
}

HRESULT AsyncReader::SetUserProvidedClock(BOOL fUserClock) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->userClock = fUserClock != FALSE;
    return S_OK;
}

HRESULT AsyncReader::DeliverTime(QWORD cnsTime) {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.opened || !s.userClock) {
            return ASF_E_INVALIDSTATE;
        }
        if (cnsTime > s.granted) {
            s.granted = cnsTime;
        }
    }
    s.changed.notify_all();
    return S_OK;
}

HRESULT AsyncReader::SetManualStreamSelection(BOOL) {
    return S_OK;
}

HRESULT AsyncReader::SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                                        WMT_STREAM_SELECTION* pSelections) {
    if (cStreamCount == 0 || !pwStreamNumbers || !pSelections) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->opened) {
        return ASF_E_INVALIDSTATE;
    }
    for (WORD i = 0; i < cStreamCount; ++i) {
        if (!state_->streams.count(pwStreamNumbers[i])) {
            return E_INVALIDARG;
        }
    }
    for (WORD i = 0; i < cStreamCount; ++i) {
        state_->streams[pwStreamNumbers[i]].selection = pSelections[i];
    }
    return S_OK;
}

HRESULT AsyncReader::SetReceiveStreamSamples(WORD wStreamNum, BOOL fReceiveStreamSamples) {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->opened) {
        return ASF_E_INVALIDSTATE;
    }
    auto it = state_->streams.find(wStreamNum);
    if (it == state_->streams.end()) {
        return E_INVALIDARG;
    }
    it->second.compressed = fReceiveStreamSamples != FALSE;
    return S_OK;
}

}  // namespace media
