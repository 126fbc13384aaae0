#include "cli/join_command.h"

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>

#include "asf/file.h"
#include "asf/media_time.h"
#include "cli/commands.h"
#include "cut/trimlet.h"
#include "media/header_attributes.h"
#include "media/source_file.h"
#include "media/source_info.h"
#include "media/wmsdk.h"
#include "platform/own_files.h"
#include "platform/text.h"

namespace cli {

namespace {

using namespace media;

std::string describeStreams(const asf::Header& header) {
    std::string numbers;
    for (const asf::Stream& s : header.streams) {
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(s.number);
    }
    return numbers.empty() ? "none" : numbers;
}

// Copies the first input's attributes (those a header stores), codec list and script commands.
HRESULT copyHeaderData(const asf::File& source, IWMHeaderInfo* to) {
    ComPtr<IWMHeaderInfo3> to3;
    HRESULT hr = ComPtr<IWMHeaderInfo>(to).as(IID_IWMHeaderInfo3, to3);
    const HeaderData data = buildHeaderData(source);
    for (std::size_t i = 0; SUCCEEDED(hr) && i < data.attributes.size(); ++i) {
        const Attribute& a = data.attributes[i];
        if (isDerivedAttribute(a.name) || a.value.size() > 0xFFFF) {
            continue;
        }
        hr = to->SetAttribute(a.stream, a.name.c_str(), a.type, a.value.data(),
                              static_cast<WORD>(a.value.size()));
        if (hr == E_INVALIDARG) {
            hr = S_OK;  // a value no header record holds; the cut engine skips these too
        }
    }
    for (std::size_t i = 0; SUCCEEDED(hr) && i < data.codecs.size(); ++i) {
        const CodecInfo& c = data.codecs[i];
        hr = to3->AddCodecInfo(c.name.c_str(), c.description.c_str(), c.type,
                               static_cast<WORD>(std::min<std::size_t>(c.info.size(), 0xFFFF)),
                               c.info.data());
    }
    for (std::size_t i = 0; SUCCEEDED(hr) && i < data.scripts.size(); ++i) {
        const ScriptCommand& s = data.scripts[i];
        hr = to->AddScript(s.type.c_str(), s.command.c_str(), s.time);
    }
    return hr;
}

// The shortest time a sample takes: one millisecond, the resolution of the times players read
// from the file's payloads.
constexpr QWORD kMinimumSampleLength = asf::kTicksPerMillisecond;

// How long a whole input lasts: its "Duration", the time its presentation ends (audio samples
// may run a little past it: they overlap what follows, as they did in the file they came from).
// When the header says less than the samples show, until the last sample's end; when it says
// much more, at most cut::kMaxTail past it, as a cut's output may run. A file cut short before
// it was read (fewer packets than it declares) ends at its last sample too.
QWORD inputLength(const asf::File& file, QWORD lastStart, QWORD lastEnd) {
    const QWORD declared = file.header().fileProperties.durationWithoutPreroll();
    if (file.truncated() && file.dataObject().sizeKnown) {
        return lastEnd;
    }
    return std::min(declared > lastStart ? declared : lastEnd, lastEnd + cut::kMaxTail);
}

// Writes the samples of one stretch with their times moved from `stretch.start` to `offset`;
// `end` and `last` become the latest end and the latest start of those written, in the input's
// times. `writing` says whether a failure came from the writer (else from the reader).
// `reached`, when given, hears the output time of each sample written.
HRESULT copySamples(IWMSyncReader* reader, IWMWriterAdvanced* writer, const Stretch& stretch,
                    QWORD offset, QWORD& end, QWORD& last, std::uint64_t& count, bool& writing,
                    const std::function<void(QWORD)>& reached) {
    ComPtr<IWMProfile> profile;
    HRESULT hr = ComPtr<IWMSyncReader>(reader).as(IID_IWMProfile, profile);
    DWORD streams = 0;
    if (SUCCEEDED(hr)) {
        hr = profile->GetStreamCount(&streams);
    }
    for (DWORD i = 0; SUCCEEDED(hr) && i < streams; ++i) {
        ComPtr<IWMStreamConfig> config;
        WORD number = 0;
        hr = profile->GetStream(i, config.put());
        if (SUCCEEDED(hr)) {
            hr = config->GetStreamNumber(&number);
        }
        if (SUCCEEDED(hr)) {
            hr = reader->SetReadStreamSamples(number, TRUE);
        }
    }
    end = last = stretch.start;
    std::map<WORD, QWORD> previous;  // the last sample time of each stream
    while (SUCCEEDED(hr)) {
        ComPtr<INSSBuffer> sample;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, output = 0;
        WORD stream = 0;
        hr = reader->GetNextSample(0, sample.put(), &time, &duration, &flags, &output, &stream);
        if (SUCCEEDED(hr) && time >= stretch.start && time < stretch.end) {
            // A sample runs at most to the end of its stretch, as in the cut engine.
            duration = std::min(duration, stretch.end - time);
            hr = writer->WriteStreamSample(stream, time - stretch.start + offset, 0, duration,
                                           flags, sample.get());
            writing = FAILED(hr);
            if (reached) {
                reached(time - stretch.start + offset);
            }
            // A sample without a duration (as live captures write) lasts until its stream's
            // next one would come, judged by the step from the one before; so the next input
            // never starts at its time, nor within the frame players round it to.
            QWORD length = duration;
            if (length == 0) {
                auto before = previous.find(stream);
                length = before != previous.end() && time > before->second ? time - before->second
                                                                           : kMinimumSampleLength;
            }
            previous[stream] = time;
            end = std::max(end, time + length);
            last = std::max(last, time);
            ++count;
        }
    }
    return hr == NS_E_NO_MORE_SAMPLES ? S_OK : hr;
}

HRESULT openSync(const std::string& path, ComPtr<IWMSyncReader>& reader) {
    HRESULT hr = WMCreateSyncReader(nullptr, 0, reader.put());
    return SUCCEEDED(hr) ? reader->Open(platform::utf8ToUtf16(path).c_str()) : hr;
}

}  // namespace

std::string streamMismatch(const std::string& first, const std::string& other) {
    asf::File a, b;
    if (a.open(first) != asf::Status::Ok || b.open(other) != asf::Status::Ok) {
        return "cannot be read";
    }
    const std::vector<asf::Stream>& x = a.header().streams;
    const std::vector<asf::Stream>& y = b.header().streams;
    if (x.size() != y.size()) {
        return "has streams " + describeStreams(b.header()) + ", the first input " +
               describeStreams(a.header());
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        const asf::StreamProperties& p = x[i].properties;
        const asf::StreamProperties& q = y[i].properties;
        const std::string which = "stream " + std::to_string(y[i].number);
        if (x[i].number != y[i].number) {
            return "has streams " + describeStreams(b.header()) + ", the first input " +
                   describeStreams(a.header());
        }
        if (p.streamType != q.streamType) {
            return which + " is of another type than in the first input";
        }
        if (p.video && q.video && p.video->compression != q.video->compression) {
            return which + " has another codec than in the first input";
        }
        if (p.audio && q.audio && p.audio->formatTag != q.audio->formatTag) {
            return which + " has another codec than in the first input";
        }
        if (p.typeSpecificData != q.typeSpecificData) {
            return which +
                   " has other format data than in the first input (size, rate or codec "
                   "settings)";
        }
        if (p.encrypted() || q.encrypted()) {
            return which + " is encrypted";
        }
    }
    return {};
}

// How long the output of the stretches will be, by their bounds and their inputs' headers.
QWORD expectedLength(const std::vector<Stretch>& stretches) {
    QWORD total = 0;
    for (const Stretch& stretch : stretches) {
        QWORD end = stretch.end;
        if (end == kToTheEnd) {
            asf::File file;
            end = file.open(stretch.path) == asf::Status::Ok
                      ? file.header().fileProperties.durationWithoutPreroll()
                      : 0;
        }
        total += end > stretch.start ? end - stretch.start : 0;
    }
    return total;
}

HRESULT writeStretches(const std::vector<Stretch>& stretches, const std::string& output,
                       std::uint64_t& samples, std::string& failed,
                       const std::function<void(double)>& progress) {
    std::function<void(QWORD)> reached;
    if (progress) {
        const QWORD total = expectedLength(stretches);
        reached = [total, &progress](QWORD time) {
            progress(total == 0 ? 0.0 : std::min(1.0, static_cast<double>(time) / total));
        };
    }
    asf::File first;
    asf::Status status = first.open(stretches.front().path);
    failed = stretches.front().path;
    if (status != asf::Status::Ok) {
        return hresultFromStatus(status);
    }
    ComPtr<IWMSyncReader> reader;
    ComPtr<IWMProfile> profile;
    ComPtr<IWMWriter> writer;
    ComPtr<IWMWriterAdvanced> advanced;
    ComPtr<IWMHeaderInfo> header;
    DWORD inputCount = 0;
    HRESULT hr = openSync(failed, reader);
    if (SUCCEEDED(hr)) {
        hr = reader.as(IID_IWMProfile, profile);
    }
    if (SUCCEEDED(hr)) {
        failed = output;
        hr = WMCreateWriter(nullptr, writer.put());
    }
    if (SUCCEEDED(hr)) {
        hr = writer.as(IID_IWMWriterAdvanced, advanced);
    }
    if (SUCCEEDED(hr)) {
        hr = writer.as(IID_IWMHeaderInfo, header);
    }
    if (SUCCEEDED(hr)) {
        hr = writer->SetProfile(profile.get());
    }
    if (SUCCEEDED(hr)) {
        hr = writer->GetInputCount(&inputCount);
    }
    for (DWORD i = 0; SUCCEEDED(hr) && i < inputCount; ++i) {
        hr = writer->SetInputProps(i, nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = copyHeaderData(first, header.get());
    }
    if (SUCCEEDED(hr)) {
        hr = writer->SetOutputFilename(platform::utf8ToUtf16(output).c_str());
    }
    if (SUCCEEDED(hr)) {
        hr = writer->BeginWriting();
    }
    QWORD offset = 0;
    for (std::size_t i = 0; SUCCEEDED(hr) && i < stretches.size(); ++i) {
        const Stretch& stretch = stretches[i];
        failed = stretch.path;
        asf::File file;
        status = file.open(stretch.path);
        ComPtr<IWMSyncReader> input;
        QWORD end = 0, last = 0;
        hr = status == asf::Status::Ok ? openSync(stretch.path, input) : hresultFromStatus(status);
        if (SUCCEEDED(hr)) {
            bool writing = false;
            hr = copySamples(input.get(), advanced.get(), stretch, offset, end, last, samples,
                             writing, reached);
            if (writing) {
                failed = output;
            }
        }
        offset += stretch.end != kToTheEnd ? stretch.end - stretch.start
                                           : inputLength(file, last, end) - stretch.start;
    }
    if (SUCCEEDED(hr)) {
        failed = output;
        hr = writer->EndWriting();
    }
    // On failure the writer, released unfinished, removes what it wrote.
    return hr;
}

int joinCommand(const std::vector<std::string>& inputs, const std::string& output,
                std::ostream& out, const std::function<void(double)>& progress) {
    // Each input opened once for the whole command: what is compared is what is joined.
    std::vector<std::unique_ptr<platform::HeldFile>> held;
    for (const std::string& input : inputs) {
        held.push_back(std::make_unique<platform::HeldFile>(input));
    }
    for (std::size_t i = 1; i < inputs.size(); ++i) {
        std::string mismatch = streamMismatch(held[0]->path(), held[i]->path());
        if (!mismatch.empty()) {
            std::cerr << "splicor-cli: " << inputs[i] << ": " << mismatch << "; not joined\n";
            return 1;
        }
    }
    std::vector<Stretch> stretches;
    for (const auto& input : held) {
        stretches.push_back({input->path(), 0, kToTheEnd});
    }
    std::uint64_t samples = 0;
    std::string failed;
    HRESULT hr = writeStretches(stretches, output, samples, failed, progress);
    if (FAILED(hr)) {
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (failed == held[i]->path()) {
                failed = inputs[i];
            }
        }
        return fail(failed, hr);
    }
    out << "joined " << inputs.size() << " files, " << samples << " samples\nwrote " << output
        << "\n";
    return 0;
}

}  // namespace cli
