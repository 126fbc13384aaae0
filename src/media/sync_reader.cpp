#include "media/sync_reader.h"

#include <algorithm>
#include <string_view>
#include <thread>

#include "asf/attribute.h"
#include "media/sample_buffer.h"
#include "media/source_info.h"

namespace media {

namespace {

// The colour of a key frame that did not decode.
constexpr BYTE kPlainGrey = 0x80;

}  // namespace

HRESULT WMCreateSyncReader(IUnknown*, DWORD, IWMSyncReader** ppSyncReader) {
    if (!ppSyncReader) {
        return E_POINTER;
    }
    *ppSyncReader = new SyncReader();
    return S_OK;
}

HRESULT SyncReader::QueryInterface(REFIID riid, void** ppv) {
    if (ppv && riid == IID_IWMProfile && source_.profile) {
        // The profile is an object of its own that holds the reader's description.
        *ppv = createProfile(source_.profile).detach();
        return S_OK;
    }
    return queryInterface(riid, ppv,
                          {{{IID_IUnknown, IID_IWMSyncReader}, static_cast<IWMSyncReader*>(this)},
                           {{IID_IWMHeaderInfo, IID_IWMHeaderInfo2, IID_IWMHeaderInfo3},
                            static_cast<IWMHeaderInfo3*>(this)}});
}

ULONG SyncReader::Release() {
    ULONG left = refs_.release();
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT SyncReader::Open(LPCWSTR pwszFilename) {
    if (!pwszFilename) {
        return E_POINTER;
    }
    if (source_.file) {
        return ASF_E_INVALIDSTATE;
    }
    SourceFile opened;
    HRESULT hr = openSourceFile(pwszFilename, opened);
    if (FAILED(hr)) {
        return hr;
    }
    source_ = std::move(opened);
    reader_ = std::make_unique<asf::SampleReader>(*source_.file);
    for (std::size_t i = 0; i < source_.profile->streams.size(); ++i) {
        streams_[source_.profile->streams[i].number].profileIndex = i;
    }
    filterFor_ = -1;
    return S_OK;
}

HRESULT SyncReader::Close() {
    if (!source_.file) {
        return ASF_E_INVALIDSTATE;
    }
    pipeline_.reset();
    reader_.reset();
    streams_.clear();
    source_ = SourceFile();
    return S_OK;
}

HRESULT SyncReader::SetStreamsSelected(WORD cStreamCount, WORD* pwStreamNumbers,
                                       WMT_STREAM_SELECTION* pSelections) {
    if (!source_.file) {
        return ASF_E_INVALIDSTATE;
    }
    if (cStreamCount == 0 || !pwStreamNumbers || !pSelections) {
        return E_INVALIDARG;
    }
    for (WORD i = 0; i < cStreamCount; ++i) {
        if (!streams_.count(pwStreamNumbers[i]) || pSelections[i] < WMT_OFF ||
            pSelections[i] > WMT_ON) {
            return E_INVALIDARG;
        }
    }
    for (WORD i = 0; i < cStreamCount; ++i) {
        streams_[pwStreamNumbers[i]].selection = pSelections[i];
    }
    filterFor_ = -1;
    pipeline_.reset();
    return S_OK;
}

HRESULT SyncReader::SetReadStreamSamples(WORD wStreamNum, BOOL fCompressed) {
    if (!source_.file) {
        return ASF_E_INVALIDSTATE;
    }
    auto it = streams_.find(wStreamNum);
    if (it == streams_.end()) {
        return E_INVALIDARG;
    }
    it->second.compressed = fCompressed != FALSE;
    pipeline_.reset();
    return S_OK;
}

HRESULT SyncReader::SetOutputSetting(DWORD dwOutputNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                     const BYTE* pValue, WORD cbLength) {
    if (!source_.file) {
        return ASF_E_INVALIDSTATE;
    }
    if (!pszName || !pValue) {
        return E_POINTER;
    }
    auto it = std::find_if(streams_.begin(), streams_.end(), [&](const auto& entry) {
        return entry.second.profileIndex == dwOutputNum;
    });
    if (it == streams_.end() || std::u16string_view(pszName) != g_wszPictureSize ||
        Type != WMT_TYPE_DWORD || cbLength != sizeof(DWORD)) {
        return E_INVALIDARG;
    }
    const DWORD size = static_cast<DWORD>(asf::littleEndian(pValue, sizeof(DWORD)));
    const int width = static_cast<int>(size >> 16), height = static_cast<int>(size & 0xFFFF);
    if ((width == 0) != (height == 0)) {
        return E_INVALIDARG;
    }
    it->second.pictureWidth = width;
    it->second.pictureHeight = height;
    pipeline_.reset();
    return S_OK;
}

bool SyncReader::wanted(const asf::Sample& sample, WORD requested) const {
    if (requested != 0 && sample.stream != requested) {
        return false;
    }
    auto it = streams_.find(sample.stream);
    if (it == streams_.end() || it->second.selection == WMT_OFF) {
        return false;
    }
    return it->second.selection == WMT_ON || sample.cleanPoint;
}

void SyncReader::applyFilter(WORD requested) {
    if (filterFor_ == requested) {
        return;
    }
    std::set<std::uint8_t> filter;
    for (const auto& [number, state] : streams_) {
        if (state.selection != WMT_OFF && (requested == 0 || requested == number)) {
            filter.insert(static_cast<std::uint8_t>(number));
        }
    }
    reader_->setStreamFilter(filter);
    filterFor_ = requested;
}

HRESULT SyncReader::readNext(WORD requested, asf::Sample& sample) {
    applyFilter(requested);
    for (;;) {
        if (!reader_->next(sample)) {
            return reader_->status() == asf::Status::IoError ? HRESULT_FROM_WIN32(ERROR_READ_FAULT)
                                                             : NS_E_NO_MORE_SAMPLES;
        }
        if (wanted(sample, requested)) {
            break;
        }
    }
    return S_OK;
}

HRESULT SyncReader::nextDecoded(WORD stream, const asf::VideoFormat& format,
                                DecodePipeline::Frame& out) {
    if (!pipeline_ || pipelineStream_ != stream) {
        unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
        const StreamState& state = streams_[stream];
        pipeline_ = std::make_unique<DecodePipeline>(format, state.pictureWidth,
                                                     state.pictureHeight, cores, 2 * cores);
        pipelineStream_ = stream;
        pipelineEnd_ = S_OK;
    }
    while (!pipeline_->full() && pipelineEnd_ == S_OK) {
        asf::Sample sample;
        HRESULT hr = readNext(stream, sample);
        if (FAILED(hr)) {
            pipelineEnd_ = hr;
            break;
        }
        DecodePipeline::Frame meta;
        meta.time = source_.sampleTime(sample);
        meta.duration = source_.sampleDuration(sample);
        meta.flags = sample.cleanPoint ? WM_SF_CLEANPOINT : 0;
        meta.stream = sample.stream;
        pipeline_->submit(std::move(sample.data), std::move(meta));
    }
    if (pipeline_->empty()) {
        return pipelineEnd_;
    }
    out = pipeline_->takeOldest();
    if (out.hr == HRESULT_FROM_WIN32(ERROR_INVALID_DATA)) {
        // A key frame that does not decode (damaged data) is still a key frame of the file: it
        // comes as a plain grey picture, so the frames after it are read on.
        out.picture.assign(pipeline_->pictureBytes(), kPlainGrey);
        out.hr = S_OK;
    }
    return out.hr;
}

HRESULT SyncReader::GetNextSample(WORD wStreamNum, INSSBuffer** ppSample, QWORD* pcnsSampleTime,
                                  QWORD* pcnsDuration, DWORD* pdwFlags, DWORD* pdwOutputNum,
                                  WORD* pwStreamNum) {
    if (!ppSample) {
        return E_POINTER;
    }
    *ppSample = nullptr;
    if (!source_.file) {
        return ASF_E_INVALIDSTATE;
    }
    DecodePipeline::Frame frame;
    HRESULT hr;
    auto requested = streams_.find(wStreamNum);
    if (wStreamNum != 0 &&
        (requested == streams_.end() || requested->second.selection == WMT_OFF)) {
        return E_INVALIDARG;
    }
    const asf::Stream* stream = wStreamNum != 0 ? source_.stream(wStreamNum) : nullptr;
    if (stream && stream->properties.video && !requested->second.compressed &&
        requested->second.selection == WMT_CLEANPOINT_ONLY) {
        hr = nextDecoded(wStreamNum, *stream->properties.video, frame);
    } else {
        // Frames read ahead for decoding belong to another request; they are dropped.
        pipeline_.reset();
        asf::Sample sample;
        hr = readNext(wStreamNum, sample);
        if (SUCCEEDED(hr)) {
            frame.time = source_.sampleTime(sample);
            frame.duration = source_.sampleDuration(sample);
            frame.flags = sample.cleanPoint ? WM_SF_CLEANPOINT : 0;
            frame.stream = sample.stream;
            frame.picture = std::move(sample.data);
        }
    }
    if (FAILED(hr)) {
        return hr;
    }
    if (pcnsSampleTime) {
        *pcnsSampleTime = frame.time;
    }
    if (pcnsDuration) {
        *pcnsDuration = frame.duration;
    }
    if (pdwFlags) {
        *pdwFlags = frame.flags;
    }
    if (pdwOutputNum) {
        *pdwOutputNum = static_cast<DWORD>(streams_[frame.stream].profileIndex);
    }
    if (pwStreamNum) {
        *pwStreamNum = frame.stream;
    }
    *ppSample = SampleBuffer::create(std::move(frame.picture)).detach();
    return S_OK;
}

}  // namespace media
