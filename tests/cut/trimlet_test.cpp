// The cut engine on real files: what it keeps, how it shifts time, what it copies, and what it
// leaves behind when it fails.

#include "cut/trimlet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "asf/file.h"
#include "asf/guids.h"
#include "cli/commands.h"
#include "cli/cut_ranges.h"
#include "cut/output_files.h"
#include "media/header_data.h"
#include "media/source_file.h"
#include "platform/text.h"
#include "support/scratch.h"
#include "support/test_files.h"

namespace fs = std::filesystem;
using namespace media;
using testsupport::lines;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

struct Listed {
    int stream;
    QWORD time;
    QWORD duration;
    bool key;
    std::string md5;
};

std::vector<Listed> packets(const std::string& file) {
    std::ostringstream out;
    EXPECT_EQ(cli::packetsCommand(file, out), 0) << file;
    std::vector<Listed> all;
    for (const std::string& line : lines(out.str())) {
        std::istringstream in(line);
        Listed p{};
        int key;
        std::size_t size;
        in >> p.stream >> p.time >> p.duration >> key >> size >> p.md5;
        p.key = key != 0;
        all.push_back(p);
    }
    return all;
}

std::vector<QWORD> keyFrames(const std::string& file) {
    std::ostringstream out;
    EXPECT_EQ(cli::keyframesCommand(file, out), 0) << file;
    std::vector<QWORD> times;
    for (const std::string& line : lines(out.str())) {
        times.push_back(std::stoull(line));
    }
    return times;
}

QWORD durationOf(const std::string& file) {
    std::ostringstream out;
    cli::infoCommand(file, out);
    for (const std::string& line : lines(out.str())) {
        if (line.find("Duration = QWORD ") != std::string::npos) {
            return std::stoull(line.substr(line.rfind(' ') + 1));
        }
    }
    return 0;
}

// Runs one engine as the cut worker does; the engine's range starts go to *printed.
HRESULT cutFile(const std::string& source, const std::string& destination,
                const std::vector<std::pair<QWORD, QWORD>>& ranges, WORD keyStream,
                std::string* printed = nullptr, const std::string& temporary = "temp.wmv",
                std::vector<cut::Trimlet::SkippedAttribute>* skipped = nullptr) {
    std::ostringstream startTimes;
    const HRESULT hr =
        cut::runCut(source, destination, temporary, ranges, keyStream, startTimes, skipped);
    if (printed) {
        *printed = startTimes.str();
    }
    return hr;
}

// Every test works in a directory of its own, which is also where "temp.wmv" goes.
class Cut : public testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        dir_ = fs::temp_directory_path() /
               ("splicor-cut-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path previous_;
    fs::path dir_;
};

std::string mediaFile(const std::string& name) {
    std::string dir = testsupport::testMediaDir();
    return dir.empty() ? "" : dir + "/" + name;
}

std::string corpus(const std::string& name) {
    std::string dir = testsupport::corpusDir();
    return dir.empty() ? "" : dir + "/" + name;
}

bool hasWmaVoice(const std::string& file) {
    return runCommand("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " +
                      shellQuote(file))
               .find("wmavoice") != std::string::npos;
}

// The output decodes in FFmpeg and in GStreamer. The one exception is WMA Voice, whose decoder
// (libavcodec's, in both) cannot start at every frame of a stream: it reports "Not yet
// implemented" on any cut that does not begin at the stream's first frame, as it does on its own
// seeks in the source. For such files the other streams are checked in GStreamer.
void expectPlaysEverywhere(const std::string& file) {
    bool voice = hasWmaVoice(file);
    int status = 0;
    std::string errors =
        runCommand("ffmpeg -v error -i " + shellQuote(file) + " -f null - 2>&1", &status);
    EXPECT_EQ(status, 0) << file;
    for (const std::string& line : lines(errors)) {
        EXPECT_TRUE(voice && line.find("Not yet implemented in FFmpeg") != std::string::npos)
            << file << ": " << line;
    }
    if (packets(file).empty()) {
        return;  // GStreamer refuses any ASF file without data packets, FFmpeg's own ones too
    }
    // Every audio and video stream gets a branch of its own: a stream left unlinked fills its
    // queue and stalls the others.
    std::ostringstream info;
    cli::infoCommand(file, info);
    int audio = 0, video = 0;
    for (const std::string& line : lines(info.str())) {
        if (line.rfind("  #", 0) == 0) {
            audio += line.find(" audio ") != std::string::npos ? 1 : 0;
            video += line.find(" video ") != std::string::npos ? 1 : 0;
        }
    }
    std::string pipeline;
    if (voice) {
        pipeline = " ! asfdemux name=d";
        for (int i = 0; i < video; ++i) {
            pipeline += " d.video_" + std::to_string(i) + " ! queue ! decodebin ! fakesink";
        }
        for (int i = 0; i < audio; ++i) {
            pipeline += " d.audio_" + std::to_string(i) + " ! queue ! fakesink";
        }
    } else {
        pipeline = " ! decodebin name=d";
        for (int i = 0; i < std::max(1, audio + video); ++i) {
            pipeline += " d. ! queue ! fakesink";
        }
    }
    std::string messages = testsupport::runPeer(
        "gst-launch-1.0 -q filesrc location=" + shellQuote(file) + pipeline + " 2>&1", &status);
    EXPECT_EQ(status, 0) << file << "\n" << messages;
}

WORD lastVideoStream(const std::string& file) {
    std::ostringstream out;
    cli::infoCommand(file, out);
    WORD stream = 0;
    for (const std::string& line : lines(out.str())) {
        if (line.rfind("  #", 0) == 0 && line.find(" video ") != std::string::npos) {
            stream = static_cast<WORD>(std::stoi(line.substr(3)));
        }
    }
    return stream;
}

}  // namespace

// The samples a cut must hold: every sample of every stream timed inside a kept range, at its
// time less that range's shift, as (stream, md5, milliseconds).
using Kept = std::multiset<std::tuple<int, std::string, long long>>;

Kept expectedSamples(const std::vector<Listed>& source,
                     const std::vector<std::pair<QWORD, QWORD>>& ranges) {
    Kept kept;
    QWORD offset = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        offset = i == 0 ? ranges[0].first : offset + ranges[i].first - ranges[i - 1].second;
        for (const Listed& p : source) {
            if (p.time >= ranges[i].first && p.time < ranges[i].second) {
                kept.insert({p.stream, p.md5, static_cast<long long>((p.time - offset) / 10000)});
            }
        }
    }
    return kept;
}

// What of `want` is missing from `got`, and what `got` holds beyond it, a millisecond either
// way allowed. Streams are left out when `anyStream` (FFmpeg numbers them its own way).
std::string difference(Kept want, Kept got, bool anyStream) {
    auto strip = [&](Kept& k) {
        Kept out;
        for (const auto& [stream, md5, ms] : k) {
            out.insert({anyStream ? 0 : stream, md5, ms});
        }
        k = out;
    };
    strip(want);
    strip(got);
    std::ostringstream report;
    int missing = 0;
    for (const auto& [stream, md5, ms] : want) {
        auto hit = got.end();
        for (long long d : {0LL, -1LL, 1LL}) {
            hit = got.find({stream, md5, ms + d});
            if (hit != got.end()) {
                break;
            }
        }
        if (hit == got.end()) {
            if (++missing <= 3) {
                report << " missing stream " << stream << " at " << ms << " ms;";
            }
        } else {
            got.erase(hit);
        }
    }
    if (missing > 0) {
        report << " " << missing << " missing of " << want.size() << ";";
    }
    int extra = 0;
    for (const auto& [stream, md5, ms] : got) {
        if (++extra <= 3) {
            report << " extra stream " << stream << " at " << ms << " ms;";
        }
    }
    if (extra > 0) {
        report << " " << extra << " extra;";
    }
    return report.str();
}

// The output's packets as FFmpeg reads them: its framemd5 of every stream, copied, at the times
// the file gives (without -copyts FFmpeg moves them all by the first time it meets, which is an
// audio time in a file that sends seconds of audio before the video).
Kept ffmpegSamples(const std::string& file) {
    int status = 0;
    std::string text = runCommand("ffmpeg -v error -copyts -i " + shellQuote(file) +
                                      " -map 0 -c copy -f framemd5 - 2>/dev/null",
                                  &status);
    EXPECT_EQ(status, 0) << file;
    Kept kept;
    for (const std::string& line : lines(text)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        // stream, dts, pts, duration, size, md5 (times in ms)
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string f; std::getline(in, f, ',');) {
            fields.push_back(f.substr(f.find_first_not_of(' ')));
        }
        // For streams with frames out of order FFmpeg leaves the presentation time unset and
        // gives the file's time as the decoding time.
        if (fields.size() == 6) {
            long long pts = std::stoll(fields[2]);
            kept.insert({0, fields[5], pts == LLONG_MIN ? std::stoll(fields[1]) : pts});
        }
    }
    return kept;
}

// How far audio runs ahead of video along the file (positive) and behind it (negative), in
// seconds: the extremes, over every point of the file, of the latest audio time less the latest
// video time delivered so far. The streams' kinds come from `info`.
std::pair<double, double> audioLead(const std::string& file) {
    std::ostringstream info;
    cli::infoCommand(file, info);
    std::set<int> audio;
    for (const std::string& line : lines(info.str())) {
        if (line.rfind("  #", 0) == 0 && line.find(" audio ") != std::string::npos) {
            audio.insert(std::stoi(line.substr(3)));
        }
    }
    double most = 0, least = 0;
    long long a = -1, v = -1;
    for (const Listed& p : packets(file)) {
        (audio.count(p.stream) ? a : v) = static_cast<long long>(p.time);
        if (a >= 0 && v >= 0) {
            most = std::max(most, (a - v) / 1e7);
            least = std::min(least, (a - v) / 1e7);
        }
    }
    return {most, least};
}

// A sample as reinterleave holds it between reading and writing.
struct Held {
    double sendAt;
    WORD stream;
    QWORD time, duration;
    DWORD flags;
    ComPtr<INSSBuffer> buffer;
};

// FFmpeg's ASF muxer always interleaves by time (it writes a packet's decoding time as its
// presentation time and sorts by it, whatever -itsoffset, setts or max_interleave_delta say), so
// files that send audio ahead of or behind the video are made here: FFmpeg's file, every sample
// written again by our writer in an order where audio is sent `lead` seconds early (or late).
// `edit` may change the samples, in the order they are sent, before they are written.
void reinterleave(const std::string& source, const std::string& output, double lead,
                  const std::function<void(std::vector<Held>&)>& edit = {}) {
    ComPtr<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, reader.put()), S_OK);
    ASSERT_EQ(reader->Open(platform::utf8ToUtf16(source).c_str()), S_OK);
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(reader.as(IID_IWMProfile, profile), S_OK);
    DWORD count = 0;
    profile->GetStreamCount(&count);
    std::set<WORD> audio;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> config;
        ComPtr<IWMMediaProps> props;
        WORD number = 0;
        GUID type;
        profile->GetStream(i, config.put());
        config->GetStreamNumber(&number);
        config.as(IID_IWMMediaProps, props);
        props->GetType(&type);
        if (type == WMMEDIATYPE_Audio) {
            audio.insert(number);
        }
        reader->SetReadStreamSamples(number, TRUE);
    }
    std::vector<Held> all;
    for (;;) {
        Held h{};
        DWORD outputNumber = 0;
        if (FAILED(reader->GetNextSample(0, h.buffer.put(), &h.time, &h.duration, &h.flags,
                                         &outputNumber, &h.stream))) {
            break;
        }
        h.sendAt = h.time / 1e7 - (audio.count(h.stream) ? lead : 0);
        all.push_back(std::move(h));
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Held& x, const Held& y) { return x.sendAt < y.sendAt; });
    if (edit) {
        edit(all);
    }
    ComPtr<IWMWriter> writer;
    ComPtr<IWMWriterAdvanced> advanced;
    DWORD inputs = 0;
    ASSERT_EQ(WMCreateWriter(nullptr, writer.put()), S_OK);
    ASSERT_EQ(writer.as(IID_IWMWriterAdvanced, advanced), S_OK);
    ASSERT_EQ(writer->SetProfile(profile.get()), S_OK);
    writer->GetInputCount(&inputs);
    for (DWORD i = 0; i < inputs; ++i) {
        writer->SetInputProps(i, nullptr);
    }
    ASSERT_EQ(writer->SetOutputFilename(platform::utf8ToUtf16(output).c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    for (const Held& h : all) {
        ASSERT_EQ(
            advanced->WriteStreamSample(h.stream, h.time, 0, h.duration, h.flags, h.buffer.get()),
            S_OK);
    }
    ASSERT_EQ(writer->EndWriting(), S_OK);
}

TEST_F(Cut, KeepsEverySampleOfTheKeptStretchesAndNothingElse) {
    std::vector<std::string> sources;
    for (const std::string& file : testsupport::allMediaFiles()) {
        std::ostringstream ignored;
        testing::internal::CaptureStderr();
        const bool video = cli::keyframesCommand(file, ignored) == 0 && !ignored.str().empty();
        testing::internal::GetCapturedStderr();
        // A file whose length is unknown is refused (tested elsewhere).
        if (video && durationOf(file) > 0) {
            sources.push_back(file);
        }
    }
    // Audio sent 1.5 s ahead of the video and behind it; and, in a longer file, 12 s: further
    // than the reader's start at the first range looks back (the preroll, 3.1 s, and 5 s more).
    std::vector<std::pair<std::string, double>> leads;
    if (!mediaFile("wmv2_wmav2.wmv").empty()) {
        leads = {{mediaFile("wmv2_wmav2.wmv"), 1.5}, {mediaFile("wmv2_wmav2.wmv"), -1.5}};
        const std::string longer = path("thirty-seconds.wmv");
        int status = 0;
        runCommand(
            "ffmpeg -v error -f lavfi -i testsrc2=size=176x144:rate=25:duration=30 -f lavfi "
            "-i sine=frequency=440:sample_rate=44100:duration=30 -ac 2 -map 0:v -map 1:a "
            "-c:v wmv2 -b:v 200k -g 50 -c:a wmav2 -b:a 64k -packet_size 3200 " +
                shellQuote(longer),
            &status);
        ASSERT_EQ(status, 0);
        leads.push_back({longer, 12});
        leads.push_back({longer, -12});
    }
    for (const auto& [original, lead] : leads) {
        std::string file = path((lead > 0 ? "audio-ahead-" : "audio-behind-") +
                                std::to_string(static_cast<int>(std::abs(lead))) + ".wmv");
        reinterleave(original, file, lead);
        auto [most, least] = audioLead(file);
        if (lead > 0) {
            EXPECT_GT(most, lead - 0.1) << file;
        } else {
            EXPECT_LT(least, lead + 0.1) << file;
        }
        // FFmpeg reads the same order: its first packets are the leading stream's alone.
        std::string order = runCommand(
            "ffprobe -v error -show_entries packet=stream_index "
            "-of csv=p=0 " +
            shellQuote(file) + " | head -20 | sort -u | wc -l");
        EXPECT_EQ(order, "1\n") << file;
        sources.push_back(file);
    }
    if (sources.empty()) {
        GTEST_SKIP() << "no media";
    }
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        const std::vector<QWORD> keys = keyFrames(source);
        const std::vector<Listed> in = packets(source);
        asf::File opened;
        const bool truncated = opened.open(source) == asf::Status::Ok && opened.truncated() &&
                               opened.dataObject().sizeKnown;
        // A file cut short ends where its samples do, whatever its header says: all of what is
        // there can be kept.
        QWORD duration = durationOf(source);
        if (truncated) {
            duration = 0;
            for (const Listed& p : in) {
                duration = std::max(duration, p.time + std::max<QWORD>(p.duration, 10000));
            }
        }
        const std::size_t last = keys.size() - 1;
        auto frames = [&](std::size_t first, std::size_t lastFrame) {
            auto range = cli::frameRange(first, lastFrame, keys, duration);
            return range ? *range : std::pair<QWORD, QWORD>{0, 0};
        };
        std::map<std::string, std::vector<std::pair<QWORD, QWORD>>> shapes = {
            {"whole file", {frames(0, last)}}, {"last key frame", {frames(last, last)}}};
        if (keys.size() >= 2) {
            shapes["adjacent runs as two ranges"] = {frames(0, 0), frames(1, 1)};
        }
        if (keys.size() >= 3) {
            shapes["one run in the middle"] = {frames(1, 1)};
            shapes["two separate runs"] = {frames(0, 0), frames(2, 2)};
        }
        if (keys.size() >= 4) {
            // The reader starts past the packets sent well before the first range.
            shapes["from the middle on"] = {frames(keys.size() / 2, last)};
        }
        if (truncated) {
            // Past what is there, as the header's duration would have it: the cut fails.
            std::string out = path("out.wmv");
            EXPECT_EQ(
                cutFile(source, out, {{keys[last], durationOf(source)}}, lastVideoStream(source)),
                ASF_E_NODATAOBJECT);
            EXPECT_FALSE(fs::exists(out));
        }
        std::map<std::string, long long> ffmpegShift;
        {
            std::map<std::string, long long> ours;
            for (const Listed& p : in) {
                ours.emplace(p.md5, static_cast<long long>(p.time / 10000));
            }
            for (const auto& [stream, md5, ms] : ffmpegSamples(source)) {
                if (ours.count(md5)) {
                    ffmpegShift.emplace(md5, ms - ours[md5]);
                }
            }
        }
        for (const auto& [shape, ranges] : shapes) {
            SCOPED_TRACE(shape);
            std::string out = path("out.wmv");
            ASSERT_EQ(cutFile(source, out, ranges, lastVideoStream(source)), S_OK);
            // A stretch to the end of the file holds every sample from its start on, also one
            // the header's duration would leave out.
            std::vector<std::pair<QWORD, QWORD>> wanted = ranges;
            if (wanted.back().second == frames(last, last).second) {
                wanted.back().second = UINT64_MAX;
            }
            Kept want = expectedSamples(in, wanted), got;
            for (const Listed& p : packets(out)) {
                got.insert({p.stream, p.md5, static_cast<long long>(p.time / 10000)});
            }
            EXPECT_EQ(difference(want, got, false), "");
            // FFmpeg times some streams its own way (VC-1 with B-frames by decoding time,
            // earlier by the reordering delay, unless the file starts on a key frame at 0); the
            // source shows by how much.
            Kept wantByFfmpeg;
            for (const auto& [stream, md5, ms] : want) {
                auto shift = ffmpegShift.find(md5);
                wantByFfmpeg.insert(
                    {0, md5, ms + (shift == ffmpegShift.end() ? 0 : shift->second)});
            }
            const Kept byFfmpeg = ffmpegSamples(out);
            const std::string shifted = difference(wantByFfmpeg, byFfmpeg, true);
            EXPECT_TRUE(shifted.empty() || difference(want, byFfmpeg, true).empty()) << shifted;
            // The output lasts as long as the stretches it keeps.
            QWORD kept = 0;
            for (const auto& r : ranges) {
                kept += r.second - r.first;
            }
            if (!got.empty()) {
                EXPECT_EQ(durationOf(out), kept);
            }
            // The key stream opens the output at 0.
            if (!got.empty()) {
                long long first = LLONG_MAX;
                for (const Listed& p : packets(out)) {
                    if (p.stream == lastVideoStream(source)) {
                        first = std::min<long long>(first, static_cast<long long>(p.time));
                    }
                }
                EXPECT_EQ(first, 0);
            }
            fs::remove(out);
        }
    }
}

TEST_F(Cut, CopiesAttributesCodecListAndScriptsWithTheirSourceTimes) {
    // Every readable file, those with language-specific and repeated attributes among them.
    for (const std::string& source : testsupport::allMediaFiles()) {
        std::ostringstream listing;
        testing::internal::CaptureStderr();
        const bool readable = cli::packetsCommand(source, listing) == 0;
        testing::internal::GetCapturedStderr();
        asf::File opened;
        if (!readable || listing.str().empty() || durationOf(source) == 0 ||
            (opened.open(source) == asf::Status::Ok && opened.truncated())) {
            continue;
        }
        SCOPED_TRACE(source);
        std::vector<Listed> in = packets(source);
        ASSERT_FALSE(in.empty());
        std::string out = path("out.wmv");
        ASSERT_EQ(cutFile(source, out, {{0, durationOf(source) / 2}}, in[0].stream), S_OK);
        std::ostringstream before, after;
        cli::infoCommand(source, before);
        cli::infoCommand(out, after);
        auto section = [](const std::string& text) {
            std::string kept;
            bool on = false;
            for (const std::string& line : lines(text)) {
                if (line == "attributes:" || line == "codecs:" || line == "script commands:") {
                    on = true;
                } else if (line == "markers:") {
                    on = false;
                }
                // Derived values describe the new file, not the source.
                static const char* derived[] = {"Duration",  "Bitrate",  "Seekable",
                                                "Stridable", "FileSize", "Broadcast"};
                bool skip = false;
                for (const char* d : derived) {
                    skip |= line.find(std::string("] ") + d + " =") != std::string::npos;
                }
                if (on && !skip) {
                    kept += line + "\n";
                }
            }
            return kept;
        };
        EXPECT_EQ(section(after.str()), section(before.str()));
        fs::remove(out);
    }
}

TEST_F(Cut, RangesThatCannotOpenFailTheCutAndLeaveTheDestination) {
    std::string source = mediaFile("wmv2_wmav2.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    std::vector<QWORD> keys = keyFrames(source);
    WORD key = lastVideoStream(source);
    // A start between key frames never opens, and neither does any later range (a restored job
    // whose source was replaced since); nor does one past the end, here past what 32 bits of
    // milliseconds hold. Every range start is listed, in whole milliseconds, of which the low
    // 32 bits.
    const QWORD far = ((QWORD{1} << 32) + 5) * 10000 + 9999;
    const std::string between = std::to_string((keys[1] + 10000) / 10000);
    const std::string out = path("out.wmv");
    for (auto [ranges, listed] :
         std::vector<std::pair<std::vector<std::pair<QWORD, QWORD>>, std::string>>{
             {{{keys[1] + 10000, keys[2]}, {keys[2], keys[3]}},
              between + "\n" + std::to_string(keys[2] / 10000) + "\n"},
             {{{keys[0], keys[1]}, {keys[1] + 10000, keys[2]}},
              std::to_string(keys[0] / 10000) + "\n" + between + "\n"},
             {{{far, far + 10000000}}, "5\n"}}) {
        testsupport::writeFile(out, "precious");
        std::string printed;
        EXPECT_EQ(cutFile(source, out, ranges, key, &printed), NS_E_INVALID_REQUEST);
        EXPECT_EQ(printed, listed);
        EXPECT_EQ(testsupport::readFile(out), "precious");
        EXPECT_EQ(leftovers(), std::vector<std::string>{"out.wmv"});
    }
    // No ranges at all ask for nothing: a valid file without samples.
    fs::remove(out);
    ASSERT_EQ(cutFile(source, out, {}, key), S_OK);
    EXPECT_TRUE(packets(out).empty());
    expectPlaysEverywhere(out);
}

TEST_F(Cut, AFrameTimedAtARangeStartAndSentBeforeItsKeyFrameDoesNotShutTheRange) {
    const std::string original = mediaFile("wmv2_wmav2.wmv");
    if (original.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::vector<QWORD> keys = keyFrames(original);
    const WORD key = lastVideoStream(original);
    ASSERT_GE(keys.size(), 3u);
    // The video frame sent just before the second key frame carries that key frame's time, as
    // a muxer that rounds or repeats time stamps leaves it; or a time far past every other (a
    // damaged time stamp).
    for (const QWORD retimed : {keys[1], keys.back() + QWORD{10000000000}}) {
        const std::string source = path("retimed.wmv");
        reinterleave(original, source, 0, [&](std::vector<Held>& all) {
            for (std::size_t i = 1; i < all.size(); ++i) {
                if (all[i].stream == key && all[i].time == keys[1]) {
                    std::size_t before = i;
                    while (before-- > 0 && all[before].stream != key) {
                    }
                    ASSERT_LT(before, i);
                    all[before].time = retimed;
                    return;
                }
            }
            FAIL() << "no key frame at " << keys[1];
        });
        const std::vector<std::pair<QWORD, QWORD>> ranges{{keys[1], keys[2]}};
        const std::string out = path("out.wmv");
        fs::remove(out);
        ASSERT_EQ(cutFile(source, out, ranges, key), S_OK) << retimed;
        EXPECT_EQ(difference(expectedSamples(packets(source), ranges),
                             expectedSamples(packets(out), {{0, ~0ull}}), false),
                  "")
            << retimed;
    }
}

// A video stream that plays last but whose packets end long before the file's (sent 20 s ahead
// of the audio, and ending earlier in the file), in a file whose header says it ends with the
// audio: "to the end" still reaches the last video frame.
TEST_F(Cut, AStreamThatEndsLastButIsSentEarlyStillEndsTheFile) {
    const std::string original = mediaFile("demo.wmv");  // 30 s
    if (original.empty()) {
        GTEST_SKIP() << "no media";
    }
    const WORD video = lastVideoStream(original);
    const std::string source = path("video-ends-last.wmv");
    reinterleave(original, source, 0, [&](std::vector<Held>& all) {
        all.erase(
            std::remove_if(all.begin(), all.end(),
                           [&](const Held& h) { return h.stream == video && h.time >= 200000000; }),
            all.end());
        for (Held& h : all) {
            if (h.stream == video) {
                h.time += 200000000;
            }
        }
    });
    std::string bytes = testsupport::readFile(source);
    ASSERT_TRUE(testsupport::setHeaderDuration(bytes, 300000000));
    testsupport::writeFile(source, bytes);
    const std::vector<Listed> in = packets(source);
    ASSERT_FALSE(in.empty());
    ASSERT_NE(in.back().stream, video) << "the audio is sent last";
    std::ostringstream printed;
    testing::internal::CaptureStdout();
    ASSERT_EQ(cli::cutCommand({source, path("out.wmv"), "35-"}, printed), 0);
    testing::internal::GetCapturedStdout();
    double from = 0;
    ASSERT_EQ(std::sscanf(printed.str().c_str(), "keeping %lf s", &from), 1) << printed.str();
    const QWORD start = static_cast<QWORD>(std::llround(from * 1000)) * 10000;
    EXPECT_EQ(difference(expectedSamples(in, {{start, ~0ull}}),
                         expectedSamples(packets(path("out.wmv")), {{0, ~0ull}}), false),
              "");
}

TEST_F(Cut, AFailedCutLeavesTheDestinationAndNoTemporaryFile) {
    std::string destination = path("keep.wmv");
    std::ofstream(destination) << "precious";
    std::ofstream(path("temp.wmv")) << "not ours";
    std::vector<std::string> missing = {path("missing.wmv")};
    if (!corpus("moon__timecode-short-broadcast.wmv").empty()) {
        // Its header gives a duration of 0.
        missing.push_back(corpus("moon__timecode-short-broadcast.wmv"));
    }
    missing.push_back("/etc/passwd");
    for (const std::string& source : missing) {
        HRESULT hr = cutFile(source, destination, {{0, 10000000}}, 1);
        EXPECT_TRUE(FAILED(hr)) << source;
        std::ifstream keep(destination), temp(path("temp.wmv"));
        std::string text;
        std::getline(keep, text);
        EXPECT_EQ(text, "precious");
        std::getline(temp, text);
        EXPECT_EQ(text, "not ours");
        EXPECT_EQ(leftovers(), (std::vector<std::string>{"keep.wmv", "temp.wmv"}));
    }
    if (!corpus("moon__timecode-short-broadcast.wmv").empty()) {
        EXPECT_EQ(cutFile(corpus("moon__timecode-short-broadcast.wmv"), destination, {}, 1),
                  E_INVALIDARG);
    }
    // A good cut beside a file named like its temporary file leaves that file alone too; one
    // that may not replace the destination keeps it and fails.
    std::string source = mediaFile("wmv1_wmav1.wmv");
    if (!source.empty()) {
        std::ostringstream starts;
        EXPECT_EQ(cut::runCut(source, destination, "temp.wmv", {{0, 20000000}},
                              lastVideoStream(source), starts, nullptr, false),
                  HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
        EXPECT_EQ(testsupport::readFile(destination), "precious");
        EXPECT_EQ(leftovers(), (std::vector<std::string>{"keep.wmv", "temp.wmv"}));
        ASSERT_EQ(cutFile(source, destination, {{0, 20000000}}, lastVideoStream(source)), S_OK);
        std::ifstream temp(path("temp.wmv"));
        std::string text;
        std::getline(temp, text);
        EXPECT_EQ(text, "not ours");
        EXPECT_EQ(leftovers(), (std::vector<std::string>{"keep.wmv", "temp.wmv"}));
        EXPECT_FALSE(packets(destination).empty());
    }
}

TEST_F(Cut, TheFinishedOutputIsRenamedIntoPlaceOrCopiedAcrossFileSystems) {
    auto text = [](const std::string& file) {
        std::ifstream in(file);
        std::string line;
        std::getline(in, line);
        return line;
    };
    const std::string destination = path("out.wmv");
    std::vector<std::string> folders = {path("")};
    if (fs::is_directory("/dev/shm")) {
        folders.push_back("/dev/shm/");  // another file system: renaming is refused there
    }
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        std::ofstream(destination) << "old";
        cut::TemporaryFile temp;
        ASSERT_TRUE(temp.reserve(folder + "splicor-move-test.wmv"));
        std::ofstream(temp.path()) << "new";
        bool moved = true;
        ASSERT_EQ(cut::moveOver(temp.path(), destination, moved), 0);
        EXPECT_EQ(text(destination), "new");
        EXPECT_EQ(moved, folder == path(""));
        EXPECT_EQ(fs::exists(temp.path()), !moved);
        if (moved) {
            temp.release();
        }
        EXPECT_EQ(leftovers(), std::vector<std::string>{"out.wmv"});
    }
    // Unless it may replace, the move keeps a destination that is there by now, on either file
    // system, and leaves no partial copy.
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        cut::TemporaryFile temp;
        ASSERT_TRUE(temp.reserve(folder + "splicor-move-test.wmv"));
        std::ofstream(temp.path()) << "newer";
        bool moved = true;
        EXPECT_EQ(cut::moveOver(temp.path(), destination, moved, false), EEXIST);
        EXPECT_FALSE(moved);
        EXPECT_EQ(text(destination), "new");
        EXPECT_TRUE(fs::exists(temp.path()));
    }
    EXPECT_EQ(leftovers(), std::vector<std::string>{"out.wmv"});
    // A temporary that is gone fails the move and leaves the destination as it was.
    bool moved = true;
    EXPECT_EQ(cut::moveOver(path("gone.wmv"), destination, moved), ENOENT);
    EXPECT_FALSE(moved);
    EXPECT_EQ(text(destination), "new");
}

TEST(Trimlet, OneObjectBehindBothCallbackInterfaces) {
    std::ostringstream startTimes;
    cut::Trimlet* engine = new cut::Trimlet(startTimes);
    void* p = nullptr;
    EXPECT_EQ(engine->QueryInterface(IID_IWMReaderCallbackAdvanced, nullptr), E_INVALIDARG);
    ASSERT_EQ(engine->QueryInterface(IID_IWMReaderCallbackAdvanced, &p), S_OK);
    auto* advanced = static_cast<IWMReaderCallbackAdvanced*>(p);
    EXPECT_EQ(advanced, static_cast<IWMReaderCallbackAdvanced*>(engine));
    EXPECT_EQ(engine->refCount, 2u);
    for (const IID* iid : {&IID_IUnknown, &IID_IWMStatusCallback, &IID_IWMReaderCallback}) {
        ASSERT_EQ(advanced->QueryInterface(*iid, &p), S_OK);
        EXPECT_EQ(p, static_cast<IWMReaderCallback*>(engine));
        static_cast<IUnknown*>(p)->Release();
    }
    EXPECT_EQ(advanced->Release(), 1u);
    p = &p;
    EXPECT_EQ(engine->QueryInterface(IID_IWMReader, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    INSSBuffer* buffer = nullptr;
    EXPECT_EQ(engine->AllocateForStream(1, 10, &buffer, nullptr), E_NOTIMPL);
    EXPECT_EQ(engine->AllocateForOutput(0, 10, &buffer, nullptr), E_NOTIMPL);
    delete engine;  // the first reference is the owner's, released by deleting
}

// What `splicor-cli cut SOURCE OUTPUT RANGES...` prints; the cut must succeed.
std::string cutPrinted(const std::string& source, const std::string& output,
                       const std::vector<std::string>& ranges) {
    std::vector<std::string> args = {source, output};
    args.insert(args.end(), ranges.begin(), ranges.end());
    std::ostringstream printed;
    fs::remove(output);
    testing::internal::CaptureStdout();
    EXPECT_EQ(cli::cutCommand(args, printed), 0) << ranges[0];
    testing::internal::GetCapturedStdout();
    return printed.str();
}

TEST_F(Cut, CommandLineSnapsRangesAndRefusesTooMany) {
    std::string source = mediaFile("wmv2_wmav2.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    std::ostringstream out;
    int rc = cli::cutCommand({source, path("out.wmv"), "2.5-4.5"}, out);
    ASSERT_EQ(rc, 0);
    // Key frames every 2 s from 0.046 s: 2.5-4.5 becomes the stretch from 2.046 s to 6.046 s.
    EXPECT_NE(out.str().find("keeping 2.046 s to 6.046 s"), std::string::npos) << out.str();
    expectPlaysEverywhere(path("out.wmv"));
    // The key frames are listed only as far as the ranges need, and they snap as with the whole
    // list: an end on a key frame, the later of two ranges, an end past the last key frame.
    const std::vector<std::pair<std::vector<std::string>, std::string>> snapped = {
        {{"4.046-6.046"}, "keeping 4.046 s to 6.046 s\n"},
        {{"0.5-1", "3-3.5"}, "keeping 0.046 s to 2.046 s\nkeeping 2.046 s to 4.046 s\n"},
        {{"4.1-6.0461"}, "keeping 4.046 s to 8.046 s\n"},
        {{"5-"}, "keeping 4.046 s to 8.046 s\n"},
        {{"--frames", "1-2"}, "keeping 2.046 s to 6.046 s\n"}};
    for (const auto& [ranges, kept] : snapped) {
        EXPECT_EQ(cutPrinted(source, path("snapped.wmv"), ranges),
                  kept + "wrote " + path("snapped.wmv") + "\n");
    }
    std::vector<std::string> many = {source, path("many.wmv")};
    for (int i = 0; i < 101; ++i) {
        many.push_back("--frames");
        many.push_back("0-0");
    }
    EXPECT_EQ(cli::cutCommand(many, out), 1);
    EXPECT_EQ(cli::cutCommand({source, path("x.wmv"), "4-5", "1-2"}, out), 1);
    EXPECT_EQ(cli::cutCommand({source, source, "0-1"}, out), 1);
    EXPECT_FALSE(fs::exists(path("many.wmv")));
}

// Time ranges snap as they would over the whole key-frame list, although only the key frames
// around the ranges' ends are read: on every file with video (long groups of pictures, B-frames,
// audio sent ahead or behind), ranges at several places, one and two at a time.
TEST_F(Cut, CommandLineRangesSnapAsOverTheWholeKeyFrameList) {
    std::size_t checked = 0;
    for (const std::string& source : testsupport::allMediaFiles()) {
        cli::KeyFrames all;
        // (A file of unknown length cannot be cut at all.)
        if (FAILED(cli::readKeyFrames(source, all)) || all.times.size() < 2 || all.duration == 0) {
            continue;
        }
        SCOPED_TRACE(source);
        const QWORD length = media::lastStretchEnd(all.duration, all.samplesEnd, all.cutShort);
        auto at = [&](double part) { return asf::secondsText(static_cast<QWORD>(length * part)); };
        for (const std::vector<std::string>& ranges : std::vector<std::vector<std::string>>{
                 {at(0.37) + "-" + at(0.71)},
                 {at(0.9) + "-" + at(0.95)},
                 {at(0.05) + "-" + at(0.2), at(0.6) + "-" + at(0.8)}}) {
            std::string expected;
            QWORD previousEnd = 0;
            for (const std::string& text : ranges) {
                const auto snapped = cli::snapRange(*cli::parseTimeRange(text), all.times, length);
                ASSERT_TRUE(snapped) << text;
                if (snapped->first < previousEnd) {
                    expected.clear();  // ranges that overlap once snapped are refused
                    break;
                }
                previousEnd = snapped->second;
                expected += "keeping " + asf::secondsText(snapped->first) + " s to " +
                            asf::secondsText(snapped->second) + " s\n";
            }
            if (expected.empty()) {
                continue;
            }
            EXPECT_EQ(cutPrinted(source, path("snapped.wmv"), ranges).substr(0, expected.size()),
                      expected)
                << ranges[0];
        }
        ++checked;
    }
    EXPECT_GE(checked, 8u);
}

// Writes a copy of `source` through our writer with a cover picture too big for the ordinary
// header records and a genre given twice.
void withRichAttributes(const std::string& source, const std::string& output) {
    ComPtr<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, reader.put()), S_OK);
    ASSERT_EQ(reader->Open(platform::utf8ToUtf16(source).c_str()), S_OK);
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(reader.as(IID_IWMProfile, profile), S_OK);
    ComPtr<IWMWriter> writer;
    ComPtr<IWMWriterAdvanced> advanced;
    ComPtr<IWMHeaderInfo3> header;
    DWORD inputs = 0, streams = 0;
    ASSERT_EQ(WMCreateWriter(nullptr, writer.put()), S_OK);
    ASSERT_EQ(writer.as(IID_IWMWriterAdvanced, advanced), S_OK);
    ASSERT_EQ(writer.as(IID_IWMHeaderInfo3, header), S_OK);
    ASSERT_EQ(writer->SetProfile(profile.get()), S_OK);
    writer->GetInputCount(&inputs);
    for (DWORD i = 0; i < inputs; ++i) {
        writer->SetInputProps(i, nullptr);
    }
    std::vector<BYTE> picture(100000);
    for (std::size_t i = 0; i < picture.size(); ++i) {
        picture[i] = static_cast<BYTE>(i * 7);
    }
    WORD index = 0;
    ASSERT_EQ(header->AddAttribute(0, u"WM/Picture", &index, WMT_TYPE_BINARY, 0, picture.data(),
                                   static_cast<DWORD>(picture.size())),
              S_OK);
    for (const std::u16string& genre : {std::u16string(u"Rock"), std::u16string(u"Jazz")}) {
        std::vector<BYTE> value = attributeString(genre);
        ASSERT_EQ(header->AddAttribute(0, u"WM/Genre", &index, WMT_TYPE_STRING, 0, value.data(),
                                       static_cast<DWORD>(value.size())),
                  S_OK);
    }
    ASSERT_EQ(writer->SetOutputFilename(platform::utf8ToUtf16(output).c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    profile->GetStreamCount(&streams);
    for (DWORD i = 0; i < streams; ++i) {
        ComPtr<IWMStreamConfig> config;
        WORD number = 0;
        profile->GetStream(i, config.put());
        config->GetStreamNumber(&number);
        reader->SetReadStreamSamples(number, TRUE);
    }
    for (;;) {
        ComPtr<INSSBuffer> buffer;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, outputNumber = 0;
        WORD stream = 0;
        if (FAILED(reader->GetNextSample(0, buffer.put(), &time, &duration, &flags, &outputNumber,
                                         &stream))) {
            break;
        }
        ASSERT_EQ(advanced->WriteStreamSample(stream, time, 0, duration, flags, buffer.get()),
                  S_OK);
    }
    ASSERT_EQ(writer->EndWriting(), S_OK);
}

std::vector<std::string> attributeLines(const std::string& file, const std::string& name) {
    std::ostringstream info;
    cli::infoCommand(file, info);
    std::vector<std::string> found;
    for (const std::string& line : lines(info.str())) {
        if (line.find("] " + name + " = ") != std::string::npos) {
            found.push_back(line);
        }
    }
    return found;
}

TEST_F(Cut, AttributesOfAnySizeAndEveryValueOfARepeatedNameComeThrough) {
    std::string media = mediaFile("wmv1_wmav1.wmv");
    if (media.empty()) {
        GTEST_SKIP() << "no media";
    }
    std::string source = path("rich.wmv");
    withRichAttributes(media, source);
    ASSERT_EQ(attributeLines(source, "WM/Genre").size(), 2u);
    std::vector<cut::Trimlet::SkippedAttribute> skipped;
    std::string out = path("out.wmv");
    ASSERT_EQ(cutFile(source, out, {{0, durationOf(source)}}, lastVideoStream(source), nullptr,
                      "temp.wmv", &skipped),
              S_OK);
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(attributeLines(out, "WM/Picture"),
              std::vector<std::string>{"  [0] WM/Picture = BINARY 100000 bytes"});
    EXPECT_EQ(attributeLines(out, "WM/Genre"),
              (std::vector<std::string>{"  [0] WM/Genre = STRING \"Rock\"",
                                        "  [0] WM/Genre = STRING \"Jazz\""}));
    expectPlaysEverywhere(out);
}

TEST_F(Cut, TheTemporaryFileGoesBesideTheDestinationWhenItsFolderCannotTakeIt) {
    std::string source = mediaFile("wmv1_wmav1.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    fs::create_directories(path("out"));
    // No one, not even root, may create files in /proc.
    ASSERT_EQ(cutFile(source, path("out/a.wmv"), {{0, 20000000}}, lastVideoStream(source), nullptr,
                      "/proc/temp.wmv"),
              S_OK);
    EXPECT_FALSE(packets(path("out/a.wmv")).empty());
    EXPECT_EQ(leftovers(), std::vector<std::string>{"out"});
    EXPECT_EQ(fs::directory_iterator(path("out"))->path().filename(), "a.wmv");
    // A destination folder that is not there, or is a file, is named before anything is read
    // or written.
    for (const char* destination : {"missing/b.wmv", "out/a.wmv/b.wmv"}) {
        EXPECT_EQ(cutFile(source, path(destination), {{0, 20000000}}, lastVideoStream(source)),
                  HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            << destination;
    }
    EXPECT_EQ(leftovers(), std::vector<std::string>{"out"});
    // The command line never writes into the directory it was started in.
    fs::current_path("/proc");
    std::ostringstream said;
    int rc = cli::cutCommand({source, path("out/c.wmv"), "0-2"}, said);
    fs::current_path(dir_);
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(packets(path("out/c.wmv")).empty());
    // A destination name as long as the file system takes (250 bytes): the names of the
    // temporary and of the partial copy beside it fit too, in the window's path and the
    // command line's.
    const std::string longName = path("out/") + std::string(246, 'n') + ".wmv";
    EXPECT_EQ(cutFile(source, longName, {{0, 20000000}}, lastVideoStream(source)), S_OK);
    EXPECT_FALSE(packets(longName).empty());
    fs::remove(longName);
    rc = cli::cutCommand({source, longName, "0-2"}, said);
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(packets(longName).empty());
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path("out"))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.wmv", "c.wmv",
                                               longName.substr(longName.rfind('/') + 1)}));
}

TEST_F(Cut, TheCommandLineSaysWhyItRefusesASourceOfUnknownLength) {
    std::string source = corpus("moon__timecode-short-broadcast.wmv");
    if (source.empty() || !fs::exists(source)) {
        GTEST_SKIP() << "no corpus";
    }
    std::ostringstream said;
    testing::internal::CaptureStderr();
    int rc = cli::cutCommand({source, path("out.wmv"), "0-1"}, said);
    std::string error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, 1);
    EXPECT_NE(error.find("length is unknown"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(path("out.wmv")));
}

// The byte offset of the first video stream's picture width in the file, or with audio, of the
// first audio stream's format block.
std::uint64_t formatOffset(const std::string& file, bool audio = false) {
    asf::File f;
    EXPECT_EQ(f.open(file), asf::Status::Ok);
    for (const asf::Stream& s : f.header().streams) {
        // Object header 24, fixed fields 54; for video then encoded size 8, flags 1, format
        // size 2, bitmap header size 4.
        if (audio ? s.isAudio() : s.isVideo()) {
            return s.propertiesOffset + 24 + 54 + (audio ? 0 : 8 + 1 + 2 + 4);
        }
    }
    return 0;
}

void patchFile(const std::string& file, std::uint64_t at, const std::vector<char>& bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(at));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(Cut, DamagedSourcesAreRefusedOrLeaveTheirDamageBehind) {
    std::string media = mediaFile("wmv1_wmav1.wmv");
    if (media.empty()) {
        GTEST_SKIP() << "no media";
    }
    // A picture of width 0, or of a million pixels a side, and audio formats FFmpeg refuses to
    // decode or demux (damage seen in mutated copies): no channels, a sample rate past 2^31, a
    // byte rate no audio has, block alignment 0, more extra bytes declared than the block
    // holds.
    struct Damage {
        bool audio;
        std::uint64_t offset;
        std::uint32_t value;
        int bytes;
    };
    for (const Damage& d :
         {Damage{false, 0, 0, 4}, Damage{false, 0, 1000000, 4}, Damage{true, 2, 0, 2},
          Damage{true, 4, 3942667810u, 4}, Damage{true, 8, 3103792960u, 4}, Damage{true, 12, 0, 2},
          Damage{true, 16, 94, 2}}) {
        std::string source = path("bad.wmv");
        fs::copy_file(media, source, fs::copy_options::overwrite_existing);
        std::uint64_t at = formatOffset(source, d.audio);
        ASSERT_GT(at, 0u);
        std::vector<char> bytes;
        for (int i = 0; i < d.bytes; ++i) {
            bytes.push_back(static_cast<char>(d.value >> (8 * i)));
        }
        patchFile(source, at + d.offset, bytes);
        EXPECT_EQ(cutFile(source, path("out.wmv"), {{0, 10000000}}, 1), ASF_E_BADMEDIATYPE)
            << d.audio << " " << d.offset;
        EXPECT_FALSE(fs::exists(path("out.wmv")));
        fs::remove(source);
    }
    // A header object cut short (an Extended Stream Properties Object of its 24-byte head
    // alone) is not copied into the output.
    std::string corpusFile = corpus("moon__timecode-short-wmv8.wmv");
    if (corpusFile.empty() || !fs::exists(corpusFile)) {
        return;
    }
    std::ifstream in(corpusFile, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    asf::File f;
    ASSERT_EQ(f.open(corpusFile), asf::Status::Ok);
    const asf::RawObject* extension = nullptr;
    for (const asf::RawObject& raw : f.header().objects) {
        if (raw.guid == asf::kHeaderExtensionObject) {
            extension = &raw;
        }
    }
    ASSERT_NE(extension, nullptr);
    auto add = [&](std::uint64_t at, std::uint64_t size, std::uint64_t amount) {
        std::uint64_t v = 0;
        for (std::uint64_t i = size; i-- > 0;) {
            v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
        }
        v += amount;
        for (std::uint64_t i = 0; i < size; ++i) {
            bytes[at + i] = static_cast<char>(v >> (8 * i));
        }
    };
    std::vector<char> stub(24);
    std::copy_n(asf::kExtendedStreamPropertiesObject.bytes().data(), 16, stub.begin());
    stub[16] = 24;
    const std::uint64_t at = extension->offset + 46;
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), stub.begin(), stub.end());
    add(16, 8, 24);                      // the Header Object's size
    add(extension->offset + 16, 8, 24);  // the Header Extension's size
    add(extension->offset + 42, 4, 24);  // and its data size
    std::string source = path("stub.wmv");
    std::ofstream(source, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::vector<QWORD> keys = keyFrames(source);
    ASSERT_FALSE(keys.empty());
    std::string out = path("out.wmv");
    ASSERT_EQ(cutFile(source, out, {{keys[0], durationOf(source)}}, lastVideoStream(source)), S_OK);
    asf::File written;
    ASSERT_EQ(written.open(out), asf::Status::Ok);
    EXPECT_TRUE(written.header().problems.empty());
    expectPlaysEverywhere(out);
}

TEST_F(Cut, MultiBitrateOutputsSayTheSameAboutSeekingEverywhere) {
    for (const std::string& source :
         {corpus("hachoir__matrix_ping_pong.wmv"), mediaFile("two_video.wmv")}) {
        if (source.empty() || !fs::exists(source)) {
            continue;
        }
        SCOPED_TRACE(source);
        std::vector<QWORD> keys = keyFrames(source);
        std::string out = path("out.wmv");
        // (The multi-bitrate file is cut short after 2.8 s.)
        ASSERT_EQ(cutFile(source, out, {{keys[0], keys[0] + 15000000}}, lastVideoStream(source)),
                  S_OK);
        std::ostringstream info;
        cli::infoCommand(out, info);
        const std::string text = info.str();
        EXPECT_EQ(text.find(": 0 entries"), std::string::npos) << text;
        const bool flag = text.find("seekable yes") != std::string::npos;
        const bool attribute = text.find("[0] Seekable = BOOL true") != std::string::npos;
        EXPECT_EQ(flag, attribute) << text;
        fs::remove(out);
    }
}

// GStreamer's plain `decodebin ! fakesink` now and then never ends on short files with two
// streams, whoever wrote them (the sources, FFmpeg's copies, and FFmpeg's cut of the same stretch
// as often as ours): the sink's end of stream reaches the pipeline, which keeps it, as it takes
// itself for not yet playing. The streaming thread that completes the move to PAUSED posts that
// state on the bus, gst-launch sets PLAYING at once, and only then does the first thread mark the
// pipeline as not playing (GstBin sets that mark after posting); nothing looks at the kept end of
// stream again. So a run of that pipeline passes when it ends, or when it hangs with that mark:
// the sink has taken every sample and posted its end of stream, and the pipeline never passed it
// on. A file that holds data back (a stream waiting for ever in decodebin's queues) leaves the
// sink short of its end of stream. With every stream given a sink it must end every time.
TEST_F(Cut, GStreamerNeverStallsOnShortCuts) {
    std::string source = mediaFile("wmv2_wmav2.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    std::vector<QWORD> keys = keyFrames(source);
    std::string tail = path("tail.wmv"), whole = path("whole.wmv");
    ASSERT_EQ(cutFile(source, tail, {{keys.back(), durationOf(source)}}, lastVideoStream(source)),
              S_OK);
    ASSERT_EQ(cutFile(source, whole, {{keys[0], durationOf(source)}}, lastVideoStream(source)),
              S_OK);
    const std::string log = path("gst.log");
    for (const std::string& file : {tail, whole}) {
        for (int run = 0; run < 5; ++run) {
            int status = 0;
            std::string said =
                runCommand("timeout 30 gst-launch-1.0 -q filesrc location=" + shellQuote(file) +
                               " ! decodebin name=d d. ! queue ! fakesink d. ! "
                               "queue ! fakesink 2>&1",
                           &status);
            ASSERT_EQ(status, 0) << file << " run " << run << "\n" << said;
            runCommand(
                "GST_DEBUG=bin:5 GST_DEBUG_NO_COLOR=1 timeout 5 gst-launch-1.0 -q filesrc "
                "location=" +
                    shellQuote(file) + " ! decodebin ! fakesink >" + shellQuote(log) + " 2>&1",
                &status);
            const std::string trace = runCommand("cat " + shellQuote(log));
            if (status != 0) {
                EXPECT_EQ(status, 124) << file << " run " << run << "\n" << trace.substr(0, 2000);
                EXPECT_NE(trace.find("eos from fakesink0"), std::string::npos)
                    << file << " run " << run << ": the sink never had its end of stream";
                EXPECT_EQ(trace.find("all sinks posted EOS"), std::string::npos) << file;
            }
        }
    }
    fs::remove(log);
}
