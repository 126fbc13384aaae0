#include "media/sync_reader.h"

#include <algorithm>
#include <thread>

#include "asf/data_packet.h"
#include "media/sample_buffer.h"
#include "media/source_info.h"

namespace media {

HRESULT WMCreateSyncReader(IUnknown*, DWORD, IWMSyncReader** ppSyncReader) {
    if (!ppSyncReader) {
        return E_POINTER;
    }
    *ppSyncReader = new SyncReader();
    return S_OK;
}

HRESULT SyncReader::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IWMSyncReader) {
        *ppv = static_cast<IWMSyncReader*>(this);
    } else if (riid == IID_IWMHeaderInfo || riid == IID_IWMHeaderInfo2 ||
               riid == IID_IWMHeaderInfo3) {
        *ppv = static_cast<IWMHeaderInfo3*>(this);
    } else if (riid == IID_IWMProfile && source_.profile) {
        // The profile is an object of its own that holds the reader's description.
        *ppv = createProfile(source_.profile).detach();
        return S_OK;
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
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
    haveKeyTime_ = false;
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

namespace {

// The latest presentation time (ms) of the stream's payloads in packet n, or false when the
// packet holds none.
bool latestTimeIn(const asf::File& file, std::uint64_t n, std::uint8_t stream,
                  std::vector<std::uint8_t>& buffer, std::uint32_t& timeMs) {
    if (file.readPacket(n, buffer) != asf::Status::Ok) {
        return false;
    }
    asf::PacketInfo info;
    std::vector<asf::Payload> payloads;
    asf::parsePacket(buffer.data(), buffer.size(), info, payloads);
    bool found = false;
    for (const asf::Payload& p : payloads) {
        if (p.streamNumber == stream && p.hasTime) {
            timeMs = found ? std::max(timeMs, p.presentationTime) : p.presentationTime;
            found = true;
        }
    }
    return found;
}

}  // namespace

void SyncReader::skipToNextKeyFrame(WORD stream) {
    if (!haveKeyTime_) {
        return;
    }
    const asf::File& file = *source_.file;
    const asf::SimpleIndex* index = nullptr;
    for (const asf::SimpleIndex& candidate : file.simpleIndexes()) {
        if (candidate.streamNumber == stream) {
            index = &candidate;
        }
    }
    std::uint64_t intervalMs = index ? index->entryTimeInterval / 10000 : 0;
    if (intervalMs == 0 || index->entries.empty()) {
        return;
    }
    // Entry i names the packet of the last key frame at or before i * interval. The entries
    // that still name the key frame just delivered prove that no key frame lies in their
    // stretch; the next one lies after the last of them.
    const auto& entries = index->entries;
    std::uint64_t m = (lastKeyTime_ + intervalMs - 1) / intervalMs;
    if (m >= entries.size() || entries[m].packetNumber != lastKeyPacket_) {
        return;
    }
    std::uint64_t j = m;
    while (j + 1 < entries.size() && entries[j + 1].packetNumber == lastKeyPacket_) {
        ++j;
    }
    std::uint64_t threshold = j * intervalMs;  // no key frame up to this time
    std::uint64_t lo = reader_->nextPacket();
    std::uint64_t hi = j + 1 < entries.size() ? std::min<std::uint64_t>(entries[j + 1].packetNumber,
                                                                        file.packetCount())
                                              : file.packetCount();
    // Find the first packet holding a payload of the stream later than the threshold. Packets
    // without such payloads cannot start the next key frame.
    std::vector<std::uint8_t> buffer;
    std::uint64_t start = lo;
    while (lo < hi) {
        std::uint64_t mid = lo + (hi - lo) / 2;
        std::uint32_t t = 0;
        std::uint64_t probe = mid;
        while (probe < hi &&
               !latestTimeIn(file, probe, static_cast<std::uint8_t>(stream), buffer, t)) {
            ++probe;
        }
        if (probe == hi || t > threshold) {
            hi = mid;
        } else {
            lo = probe + 1;
        }
    }
    // Step back a little in case the stream's times are not in file order (reordered
    // pictures).
    std::uint64_t target = lo > start + 2 ? lo - 2 : start;
    if (target > start) {
        reader_->seekToPacket(target);
    }
}

HRESULT SyncReader::readNext(WORD requested, asf::Sample& sample) {
    if (requested != 0 && streams_[requested].selection == WMT_CLEANPOINT_ONLY) {
        skipToNextKeyFrame(requested);
    }
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
    if (sample.cleanPoint && streams_[sample.stream].selection == WMT_CLEANPOINT_ONLY) {
        lastKeyTime_ = sample.presentationTimeMs;
        lastKeyPacket_ = sample.startPacket;
        haveKeyTime_ = true;
    }
    return S_OK;
}

HRESULT SyncReader::nextDecoded(WORD stream, const asf::VideoFormat& format,
                                DecodePipeline::Frame& out) {
    if (!pipeline_ || pipelineStream_ != stream) {
        unsigned cores = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
        pipeline_ = std::make_unique<DecodePipeline>(format, cores, 2 * cores);
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
