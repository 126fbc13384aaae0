#include "cut/trimlet.h"

#include <sys/stat.h>

#include <algorithm>
#include <boost/shared_ptr.hpp>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "cut/output_files.h"
#include "media/header_attributes.h"
#include "media/source_file.h"
#include "media/writer.h"
#include "platform/files.h"
#include "platform/text.h"

namespace cut {

using namespace media;

namespace {

// The reader is paced one second of media at a time.
constexpr QWORD kStep = asf::kTicksPerSecond;
// More than any codec sends a frame ahead of an earlier-timed one by.
constexpr QWORD kReorder = kStep;

template <class T>
void releaseIfSet(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Whether the folder that is to hold the destination is there.
HRESULT checkDestinationFolder(const std::string& destination) {
    struct stat info;
    if (::stat(platform::folderOf(destination).c_str(), &info) != 0) {
        return hresultFromFolderErrno(errno);
    }
    return S_ISDIR(info.st_mode) ? S_OK : hresultFromFolderErrno(ENOTDIR);
}

}  // namespace

Trimlet::Trimlet(std::ostream& startTimes) : startTimes_(startTimes) {}

Trimlet::~Trimlet() {
    // The reader may still be delivering (the last range done, time simply no longer
    // granted). Closing it waits for its thread, so no callback arrives after this point.
    if (reader) {
        reader->Close();
    }
    releaseIfSet(profile);
    releaseIfSet(readerHeader);
    releaseIfSet(readerAdvanced);
    releaseIfSet(reader);
    releaseIfSet(writerHeader);
    releaseIfSet(writerAdvanced);
    releaseIfSet(writer);
    std::free(streamTypes);
    std::free(streamNumbers);
    delete doneEvent;
}

HRESULT Trimlet::run(std::string tempName, std::string destination,
                     boost::shared_array<WCHAR> source, boost::shared_array<WCHAR> tempNameWide,
                     boost::shared_array<QWORD> starts, boost::shared_array<QWORD> ends,
                     std::int32_t count, WORD key) {
    keyStream = key;
    sourcePath_ = source ? std::u16string(source.get()) : std::u16string();
    writer = nullptr;
    writerAdvanced = nullptr;
    writerHeader = nullptr;
    reader = nullptr;
    readerAdvanced = nullptr;
    readerHeader = nullptr;
    profile = nullptr;
    streamCount = 0;
    streamTypes = nullptr;
    streamNumbers = nullptr;
    doneEvent = nullptr;

    if (count < 0) {
        count = 0;
    }
    if (count > kMaxRanges) {
        count = kMaxRanges;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        rangeStarts[i] = starts[i];
        rangeEnds[i] = ends[i];
        startTimes_ << static_cast<std::uint32_t>(asf::toMilliseconds(rangeStarts[i])) << '\n';
    }
    startTimes_.flush();
    rangeCount = count;
    // Ranges follow one another; one that does not start after the previous one's end, or
    // holds nothing, could never open, and neither could any after it.
    writableRanges = 0;
    while (writableRanges < rangeCount && rangeStarts[writableRanges] < rangeEnds[writableRanges] &&
           (writableRanges == 0 || rangeStarts[writableRanges] >= rangeEnds[writableRanges - 1])) {
        QWORD offset = writableRanges == 0
                           ? rangeStarts[0]
                           : rangeOffsets[writableRanges - 1] +
                                 (rangeStarts[writableRanges] - rangeEnds[writableRanges - 1]);
        rangeOffsets[writableRanges] = offset;
        ++writableRanges;
    }
    // A first range that starts at 0 is open from the first sample on.
    rangeIndex = writableRanges > 0 && rangeStarts[0] == 0 ? 1 : 0;
    doneEvent = new platform::Event();

    // A destination in a folder that is not there is reported before anything is read.
    RETURN_IF_FAILED(checkDestinationFolder(destination));
    // The output is written to a temporary file of our own, never over a file that was there
    // before: when the name is taken, a numbered name beside it is used. When the temporary's
    // folder cannot take it (read-only, not there), it goes beside the destination instead, so
    // a cut never fails for where the program happened to be started.
    TemporaryFile temp;
    // lateTemporary_ points at `temp` only while it lives.
    struct Forget {
        Trimlet* engine;
        ~Forget() { engine->lateTemporary_ = nullptr; }
    } forget{this};
    std::u16string outputName;
    if (nameTemporaryLate) {
        lateName_ = TemporaryFile::freeName(tempName);
        lateTemporary_ = &temp;
        outputName = platform::utf8ToUtf16(lateName_);
    } else {
        if (!temp.reserve(tempName)) {
            const int error = errno;
            const std::string fallback = temporaryBeside(destination);
            if (fallback == tempName || !temp.reserve(fallback)) {
                return hresultFromErrno(fallback == tempName ? error : errno);
            }
        }
        outputName = temp.path() == tempName ? std::u16string(tempNameWide.get())
                                             : platform::utf8ToUtf16(temp.path());
    }
    RETURN_IF_FAILED(openSource(source.get()));
    RETURN_IF_FAILED(readStreams());
    RETURN_IF_FAILED(createWriter(outputName.c_str()));
    RETURN_IF_FAILED(copyAttributes());
    RETURN_IF_FAILED(copyCodecInfo());
    RETURN_IF_FAILED(copyScripts());
    RETURN_IF_FAILED(transfer());
    // A range that never opened was asked for and is not in the output: the cut failed, and
    // whatever is at the destination stays.
    if (rangeIndex < rangeCount) {
        return NS_E_INVALID_REQUEST;
    }
    RETURN_IF_FAILED(finishOutput(outputName.c_str()));
    // Only a finished output reaches the destination; the temporary file goes either way.
    bool moved = false;
    const HRESULT hr =
        hresultFromErrno(moveOver(temp.path(), destination, moved, replaceDestination));
    if (moved) {
        temp.release();
    }
    return hr;
}

HRESULT Trimlet::waitDone() {
    doneEvent->wait();
    return result.load();
}

void Trimlet::setResult(HRESULT hr) {
    HRESULT current = result.load();
    while (!FAILED(current) && !result.compare_exchange_weak(current, hr)) {
    }
}

HRESULT Trimlet::openSource(const WCHAR* source) {
    RETURN_IF_FAILED(WMCreateReader(nullptr, 0, &reader));
    RETURN_IF_FAILED(
        reader->QueryInterface(IID_IWMReaderAdvanced, reinterpret_cast<void**>(&readerAdvanced)));
    RETURN_IF_FAILED(
        reader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&readerHeader)));
    result = S_OK;
    RETURN_IF_FAILED(reader->Open(source, this, nullptr));
    RETURN_IF_FAILED(waitDone());
    WORD stream = 0;
    WORD length = sizeof duration;
    WMT_ATTR_DATATYPE type;
    RETURN_IF_FAILED(readerHeader->GetAttributeByName(&stream, u"Duration", &type,
                                                      reinterpret_cast<BYTE*>(&duration), &length));
    if (duration == 0) {
        return E_INVALIDARG;
    }
    RETURN_IF_FAILED(readerAdvanced->SetUserProvidedClock(TRUE));
    return readerAdvanced->SetManualStreamSelection(TRUE);
}

HRESULT Trimlet::readStreams() {
    RETURN_IF_FAILED(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)));
    DWORD count = 0;
    RETURN_IF_FAILED(profile->GetStreamCount(&count));
    streamCount = count;
    streamTypes = static_cast<GUID*>(std::malloc(sizeof(GUID) * (streamCount ? streamCount : 1)));
    streamNumbers = static_cast<WORD*>(std::malloc(sizeof(WORD) * (streamCount ? streamCount : 1)));
    if (!streamTypes || !streamNumbers) {
        return E_OUTOFMEMORY;
    }
    for (std::uint32_t i = 0; i < streamCount; ++i) {
        ComPtr<IWMStreamConfig> config;
        ComPtr<IWMMediaProps> props;
        RETURN_IF_FAILED(profile->GetStream(i, config.put()));
        RETURN_IF_FAILED(config->GetStreamNumber(&streamNumbers[i]));
        RETURN_IF_FAILED(readerAdvanced->SetReceiveStreamSamples(streamNumbers[i], TRUE));
        RETURN_IF_FAILED(config.as(IID_IWMMediaProps, props));
        RETURN_IF_FAILED(props->GetType(&streamTypes[i]));
    }
    // Without the key stream no range opens but one that starts at 0.
    bool keyFound = false;
    for (std::uint32_t i = 0; i < streamCount; ++i) {
        keyFound |= streamNumbers[i] == keyStream;
    }
    if (!keyFound && writableRanges > rangeIndex) {
        writableRanges = rangeIndex;
    }
    return S_OK;
}

HRESULT Trimlet::createWriter(const WCHAR* output) {
    RETURN_IF_FAILED(WMCreateWriter(nullptr, &writer));
    RETURN_IF_FAILED(
        writer->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void**>(&writerAdvanced)));
    RETURN_IF_FAILED(
        writer->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&writerHeader)));
    RETURN_IF_FAILED(writer->SetProfile(profile));
    DWORD inputs = 0;
    RETURN_IF_FAILED(writer->GetInputCount(&inputs));
    for (DWORD i = 0; i < inputs; ++i) {
        RETURN_IF_FAILED(writer->SetInputProps(i, nullptr));
    }
    return writer->SetOutputFilename(output);
}

HRESULT Trimlet::copyAttributes() {
    // Through the extended header interface, so that values of any length come through, with
    // their language, and a name given several times keeps every value.
    ComPtr<IWMHeaderInfo3> from, to;
    HRESULT hr = readerHeader->QueryInterface(IID_IWMHeaderInfo3, from.putVoid());
    if (SUCCEEDED(hr)) {
        hr = writerHeader->QueryInterface(IID_IWMHeaderInfo3, to.putVoid());
    }
    if (FAILED(hr)) {
        return hr;
    }
    for (std::uint32_t k = 0; k <= streamCount; ++k) {
        WORD stream = k < streamCount ? streamNumbers[k] : 0;
        WORD count = 0;
        hr = from->GetAttributeCountEx(stream, &count);
        if (FAILED(hr)) {
            return hr;
        }
        for (WORD j = 0; j < count; ++j) {
            WORD nameLength = 0, language = 0;
            DWORD valueLength = 0;
            WMT_ATTR_DATATYPE type;
            hr = from->GetAttributeByIndexEx(stream, j, nullptr, &nameLength, &type, &language,
                                             nullptr, &valueLength);
            std::vector<WCHAR> name;
            std::vector<BYTE> value;
            if (SUCCEEDED(hr)) {
                try {
                    name.resize(nameLength ? nameLength : 1);
                    value.resize(valueLength ? valueLength : 1);
                } catch (const std::bad_alloc&) {
                    return E_OUTOFMEMORY;
                }
                hr = from->GetAttributeByIndexEx(stream, j, name.data(), &nameLength, &type,
                                                 &language, value.data(), &valueLength);
            }
            WORD index = 0;
            if (SUCCEEDED(hr)) {
                hr = to->AddAttribute(stream, name.data(), &index, type, language, value.data(),
                                      valueLength);
            }
            if (hr == E_OUTOFMEMORY) {
                return hr;
            }
            // The values the writer makes itself (duration, bit rate, ...) are refused as a
            // matter of course; anything else that cannot be copied is left out and named.
            const std::u16string text(name.empty() ? u"" : name.data());
            if (FAILED(hr) && !(hr == E_INVALIDARG && isDerivedAttribute(text))) {
                skippedAttributes.push_back({stream, platform::utf16ToUtf8(text), hr});
            }
        }
    }
    return S_OK;
}

HRESULT Trimlet::copyCodecInfo() {
    ComPtr<IWMHeaderInfo3> from, to;
    HRESULT hr = readerHeader->QueryInterface(IID_IWMHeaderInfo3, from.putVoid());
    if (SUCCEEDED(hr)) {
        hr = writerHeader->QueryInterface(IID_IWMHeaderInfo3, to.putVoid());
    }
    DWORD count = 0;
    if (SUCCEEDED(hr)) {
        hr = from->GetCodecInfoCount(&count);
    }
    for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        WORD nameLength = 0, descriptionLength = 0, infoLength = 0;
        WMT_CODEC_INFO_TYPE type;
        hr = from->GetCodecInfo(i, &nameLength, nullptr, &descriptionLength, nullptr, &type,
                                &infoLength, nullptr);
        if (FAILED(hr)) {
            break;
        }
        std::vector<WCHAR> name, description;
        std::vector<BYTE> info;
        try {
            name.resize(nameLength ? nameLength : 1);
            description.resize(descriptionLength ? descriptionLength : 1);
            info.resize(infoLength ? infoLength : 1);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        hr = from->GetCodecInfo(i, &nameLength, name.data(), &descriptionLength, description.data(),
                                &type, &infoLength, info.data());
        if (SUCCEEDED(hr)) {
            hr = to->AddCodecInfo(name.data(), description.data(), type, infoLength, info.data());
        }
    }
    return hr;
}

HRESULT Trimlet::copyScripts() {
    WORD count = 0;
    HRESULT hr = readerHeader->GetScriptCount(&count);
    for (WORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        WORD typeLength = 0, commandLength = 0;
        QWORD time = 0;
        hr = readerHeader->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &time);
        if (FAILED(hr)) {
            break;
        }
        std::vector<WCHAR> type, command;
        try {
            type.resize(typeLength ? typeLength : 1);
            command.resize(commandLength ? commandLength : 1);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        hr = readerHeader->GetScript(i, type.data(), &typeLength, command.data(), &commandLength,
                                     &time);
        if (SUCCEEDED(hr)) {
            hr = writerHeader->AddScript(type.data(), command.data(), time);
        }
    }
    return hr;
}

HRESULT Trimlet::transfer() {
    HRESULT hr = writer->BeginWriting();
    if (FAILED(hr)) {
        return hr;
    }
    result = S_OK;
    finished = false;
    doneEvent->reset();
    // Nothing before the first range is written: the reader starts there.
    const QWORD from = rangeIndex == 0 && writableRanges > 0 ? rangeStarts[0] : 0;
    hr = reader->Start(from, 0, 1.0f, nullptr);
    if (SUCCEEDED(hr)) {
        hr = waitDone();
    }
    // The output lasts as long as the ranges written, even where their last samples end
    // before the range does.
    ComPtr<WriterLength> length;
    if (SUCCEEDED(hr) && rangeIndex > 0 &&
        SUCCEEDED(writer->QueryInterface(IID_WriterLength, length.putVoid()))) {
        // A header whose duration is far beyond the samples (damaged, or made up) does not
        // make the output claim it: a stretch may outlast its last sample by a frame or a
        // still picture, not by more than kMaxTail.
        const QWORD kept = rangeEnds[rangeIndex - 1] - rangeOffsets[rangeIndex - 1];
        hr = length->SetMinimumDuration(std::min(kept, writtenEnd + kMaxTail));
    }
    // The finished output takes its name now, where it was left till the end.
    if (SUCCEEDED(hr) && lateTemporary_ && !lateTemporary_->claim(lateName_)) {
        hr = hresultFromErrno(errno);
    }
    if (SUCCEEDED(hr)) {
        hr = writer->EndWriting();
    }
    return hr;
}

HRESULT Trimlet::finishOutput(const WCHAR* output) {
    ComPtr<IWMMetadataEditor> editor;
    RETURN_IF_FAILED(WMCreateEditor(editor.put()));
    RETURN_IF_FAILED(editor->Open(output));
    ComPtr<IWMHeaderInfo> header;
    RETURN_IF_FAILED(editor.as(IID_IWMHeaderInfo, header));
    RETURN_IF_FAILED(editor->Flush());
    return editor->Close();
}

HRESULT Trimlet::QueryInterface(const IID& riid, void** ppvObject) {
    if (!ppvObject) {
        return E_INVALIDARG;
    }
    return queryInterface(
        riid, ppvObject,
        {{{IID_IWMStatusCallback, IID_IWMReaderCallback, IID_IUnknown},
          static_cast<IWMReaderCallback*>(this)},
         {{IID_IWMReaderCallbackAdvanced}, static_cast<IWMReaderCallbackAdvanced*>(this)}});
}

ULONG Trimlet::AddRef() {
    return ++refCount;
}

ULONG Trimlet::Release() {
    ULONG left = --refCount;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT Trimlet::OnStatus(WMT_STATUS Status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) {
    if (FAILED(result.load())) {
        signalDone();
        return S_OK;
    }
    // A file cut short fails the cut only where it lacks what the ranges keep: streams that
    // ended early (the other streams of a multi-bitrate file) may have run the reading to the
    // end of what is there.
    if (Status == WMT_END_OF_FILE && hr == ASF_E_NODATAOBJECT && dataReachesPastEveryRange()) {
        hr = S_OK;
    }
    if (FAILED(hr)) {
        setResult(hr);
        signalDone();
        return S_OK;
    }
    switch (Status) {
        case WMT_OPENED:
            setResult(S_OK);
            signalDone();
            break;
        case WMT_END_OF_FILE:
            finished = true;
            setResult(S_OK);
            signalDone();
            break;
        case WMT_STARTED: {
            nextDeliverTime = kStep;
            HRESULT d = readerAdvanced->DeliverTime(kStep);
            if (FAILED(d)) {
                setResult(d);
                signalDone();
            }
            break;
        }
        default:
            break;
    }
    return S_OK;
}

HRESULT Trimlet::OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) {
    // Every stream delivers compressed samples; a decoded one means the reader was not set up
    // as this engine needs.
    setResult(E_UNEXPECTED);
    signalDone();
    return S_OK;
}

HRESULT Trimlet::OnStreamSample(WORD wStreamNum, QWORD t, QWORD d, DWORD flags, INSSBuffer* pSample,
                                void*) {
    if (FAILED(result.load()) || finished) {
        return S_OK;  // the job has ended; what still arrives is not written
    }
    const WORD s = wStreamNum & 0x7F;
    streamLatest[s] = streamSeen[s] ? std::max(streamLatest[s], t) : t;
    streamSeen[s] = true;
    if (wStreamNum == keyStream && rangeIndex < writableRanges && t >= rangeStarts[rangeIndex]) {
        keyStreamReached(t, flags);
    }
    const std::int32_t range = rangeOf(t);
    if (range < 0) {
        return S_OK;
    }
    if (range >= rangeIndex) {
        // Sent ahead of the key frame that opens its range.
        try {
            pending.push_back({range, wStreamNum, t, d, flags, ComPtr<INSSBuffer>(pSample)});
        } catch (const std::bad_alloc&) {
            setResult(E_OUTOFMEMORY);
            signalDone();
        }
        return S_OK;
    }
    writeSample(range, wStreamNum, t, d, flags, pSample);
    return S_OK;
}

std::int32_t Trimlet::rangeOf(QWORD t) const {
    // The writable ranges are ordered and do not overlap.
    const QWORD* end = std::upper_bound(rangeEnds, rangeEnds + writableRanges, t);
    const std::int32_t i = static_cast<std::int32_t>(end - rangeEnds);
    return i < writableRanges && t >= rangeStarts[i] ? i : -1;
}

void Trimlet::keyStreamReached(QWORD t, DWORD flags) {
    const std::int32_t range = rangeIndex;
    if (t == rangeStarts[range] && !(flags & WM_SF_CLEANPOINT)) {
        // Another frame timed at the start, sent before the clean point that opens the range:
        // it waits with the other samples of the range.
        return;
    }
    if (!(flags & WM_SF_CLEANPOINT) && t - rangeStarts[range] > kReorder) {
        // Timed further past the start than any codec reorders by: a damaged time stamp, not a
        // sign that the key frame is missing (the frames right after it would say that).
        return;
    }
    if (!(flags & WM_SF_CLEANPOINT) || t != rangeStarts[range]) {
        // The range cannot open on this stream: it and every later one are left out.
        writableRanges = range;
        pending.clear();
        return;
    }
    rangeIndex = range + 1;
    std::vector<Pending> waiting;
    waiting.swap(pending);
    for (Pending& p : waiting) {
        if (p.range == range) {
            writeSample(range, p.stream, p.time, p.duration, p.flags, p.buffer.get());
        } else {
            pending.push_back(std::move(p));
        }
    }
}

void Trimlet::writeSample(std::int32_t range, WORD stream, QWORD t, QWORD d, DWORD flags,
                          INSSBuffer* buffer) {
    if (FAILED(result.load())) {
        return;
    }
    const QWORD out = t - rangeOffsets[range];
    const QWORD endOut = rangeEnds[range] - rangeOffsets[range];
    // A sample that runs past its range's end is cut short there.
    if (d > endOut - out) {
        d = endOut - out;
    }
    writtenEnd = std::max(writtenEnd, out + d);
    if (progress && writableRanges > 0) {
        // How much of the output's length is written, by the time its samples reach.
        const QWORD total = rangeEnds[writableRanges - 1] - rangeOffsets[writableRanges - 1];
        const int percent =
            total == 0 ? 100 : static_cast<int>(std::min<QWORD>(writtenEnd, total) * 100 / total);
        if (percent != reportedPercent_) {
            reportedPercent_ = percent;
            progress(percent);
        }
    }
    HRESULT hr = writerAdvanced->WriteStreamSample(stream, out, 0, d, flags, buffer);
    if (FAILED(hr)) {
        setResult(hr);
        signalDone();
    }
}

bool Trimlet::everyRangeDone() const {
    if (writableRanges == 0) {
        return true;
    }
    // Within a stream, samples may come out of presentation order by a few frames.
    const QWORD until = rangeEnds[writableRanges - 1] + kStep;
    for (std::uint32_t i = 0; i < streamCount; ++i) {
        const WORD s = streamNumbers[i] & 0x7F;
        if (!streamSeen[s] || streamLatest[s] < until) {
            return false;
        }
    }
    return true;
}

bool Trimlet::dataReachesPastEveryRange() const {
    if (writableRanges == 0) {
        return true;
    }
    const QWORD until = rangeEnds[writableRanges - 1] + kStep;
    for (std::uint32_t i = 0; i < streamCount; ++i) {
        const WORD s = streamNumbers[i] & 0x7F;
        if (streamSeen[s] && streamLatest[s] >= until) {
            return true;
        }
    }
    // What the file held when it was opened (a file cut short while it is read holds less).
    QWORD samplesEnd = 0;
    bool cutShort = false;
    return SUCCEEDED(media::readSamplesEnd(sourcePath_, samplesEnd, &cutShort)) && cutShort &&
           rangeEnds[writableRanges - 1] <= samplesEnd;
}

HRESULT Trimlet::OnTime(QWORD, void*) {
    if (finished) {
        return S_OK;
    }
    nextDeliverTime += kStep;
    if (everyRangeDone()) {
        setResult(S_OK);
        finished = true;
        signalDone();
        return S_OK;
    }
    HRESULT hr = readerAdvanced->DeliverTime(nextDeliverTime);
    if (FAILED(hr)) {
        setResult(hr);
        signalDone();
    }
    return S_OK;
}

HRESULT Trimlet::OnStreamSelection(WORD, WORD*, WMT_STREAM_SELECTION*, void*) {
    return S_OK;
}

HRESULT Trimlet::OnOutputPropsChanged(DWORD, WM_MEDIA_TYPE*, void*) {
    return S_OK;
}

HRESULT Trimlet::AllocateForStream(WORD, DWORD, INSSBuffer**, void*) {
    return E_NOTIMPL;
}

HRESULT Trimlet::AllocateForOutput(DWORD, DWORD, INSSBuffer**, void*) {
    return E_NOTIMPL;
}

namespace {

// `text` as a terminated wide string in a shared array, as the engine takes paths.
boost::shared_array<WCHAR> wide(const std::string& text) {
    const std::u16string converted = platform::utf8ToUtf16(text);
    boost::shared_array<WCHAR> out(new WCHAR[converted.size() + 1]);
    std::copy(converted.begin(), converted.end(), out.get());
    out[converted.size()] = 0;
    return out;
}

}  // namespace

HRESULT runCut(const std::string& source, const std::string& destination,
               const std::string& temporary, const std::vector<asf::TimeRange>& ranges,
               WORD keyStream, std::ostream& startTimes,
               std::vector<Trimlet::SkippedAttribute>* skipped, bool replace,
               std::function<void(int)> progress, bool nameTemporaryLate) {
    const std::size_t count = std::min(ranges.size(), static_cast<std::size_t>(kMaxRanges));
    boost::shared_array<QWORD> starts(new QWORD[kMaxRanges]());
    boost::shared_array<QWORD> ends(new QWORD[kMaxRanges]());
    for (std::size_t i = 0; i < count; ++i) {
        starts[i] = ranges[i].first;
        ends[i] = ranges[i].second;
    }
    boost::shared_ptr<Trimlet> engine(new Trimlet(startTimes));
    engine->replaceDestination = replace;
    engine->progress = std::move(progress);
    engine->nameTemporaryLate = nameTemporaryLate;
    const HRESULT hr = engine->run(temporary, destination, wide(source), wide(temporary), starts,
                                   ends, static_cast<std::int32_t>(count), keyStream);
    if (skipped) {
        *skipped = engine->skippedAttributes;
    }
    return hr;
}

}  // namespace cut
