// The cut engine on real files: what it keeps, how it shifts time, what it copies, and what it
// leaves behind when it fails.

#include "cut/trimlet.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/shared_ptr.hpp>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/commands.h"
#include "platform/text.h"
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

boost::shared_array<WCHAR> wide(const std::string& text) {
    std::u16string w = platform::utf8ToUtf16(text);
    boost::shared_array<WCHAR> out(new WCHAR[w.size() + 1]);
    std::copy(w.begin(), w.end(), out.get());
    out[w.size()] = 0;
    return out;
}

// Runs one engine as the cut worker does; the diagnostic lines go to *printed.
HRESULT cutFile(const std::string& source, const std::string& destination,
                const std::vector<std::pair<QWORD, QWORD>>& ranges, WORD keyStream,
                std::string* printed = nullptr) {
    boost::shared_array<QWORD> starts(new QWORD[cut::kMaxRanges]());
    boost::shared_array<QWORD> ends(new QWORD[cut::kMaxRanges]());
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        starts[i] = ranges[i].first;
        ends[i] = ranges[i].second;
    }
    testing::internal::CaptureStdout();
    HRESULT hr;
    {
        boost::shared_ptr<cut::Trimlet> engine(new cut::Trimlet());
        hr = engine->run("temp.wmv", destination, wide(source), wide("temp.wmv"), starts, ends,
                         static_cast<std::int32_t>(ranges.size()), keyStream);
    }
    std::string out = testing::internal::GetCapturedStdout();
    if (printed) {
        *printed = out;
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

TEST_F(Cut, KeepsExactlyTheKeptStretchesWithTheirTimesShifted) {
    std::vector<std::string> sources = {mediaFile("wmv2_wmav2.wmv"),
                                        mediaFile("wmv1_wmav1.wmv"),
                                        mediaFile("two_video.wmv"),
                                        mediaFile("all_key_small_packets.wmv"),
                                        corpus("wpftest__red2SecondsGreen30.wmv"),
                                        corpus("moon__ElephantsDream.en_fr.wmv"),
                                        corpus("wcs__seattle.wmv"),
                                        corpus("mphq__elephant.asf"),
                                        corpus("moon__embedded-script-commands.wmv"),
                                        corpus("wcs__smooth.wmv")};
    int cut = 0;
    for (const std::string& source : sources) {
        if (source.empty() || !fs::exists(source)) {
            continue;
        }
        SCOPED_TRACE(source);
        std::vector<QWORD> keys = keyFrames(source);
        if (keys.size() < 3) {
            continue;
        }
        QWORD duration = durationOf(source);
        WORD key = lastVideoStream(source);
        // The second key frame's stretch, and the last key frame's stretch to the end.
        std::vector<std::pair<QWORD, QWORD>> ranges = {{keys[1], keys[2]}, {keys.back(), duration}};
        std::string out = path("out.wmv");
        std::string printed;
        ASSERT_EQ(cutFile(source, out, ranges, key, &printed), S_OK);
        EXPECT_EQ(printed, std::to_string(keys[1] / 10000) + "\n" +
                               std::to_string(keys.back() / 10000) + "\n");
        EXPECT_EQ(leftovers(), std::vector<std::string>{"out.wmv"});
        expectPlaysEverywhere(out);

        QWORD offsets[2] = {keys[1], keys[1] + (keys.back() - keys[2])};
        QWORD firstLength = keys[2] - keys[1];
        std::vector<Listed> in = packets(source), got = packets(out);
        ASSERT_FALSE(got.empty());
        // The key stream: exactly its samples of the two stretches, in order, the first one the
        // clean point the range starts at. A stretch opens at that clean point and closes at
        // the first sample of any stream timed at or after its end.
        std::vector<Listed> expectedKey, gotKey;
        std::size_t open = 0;
        bool inside = false;
        for (const Listed& p : in) {
            if (inside && p.time >= ranges[open].second) {
                inside = false;
                ++open;
            }
            if (!inside && open < ranges.size() && p.stream == key && p.key &&
                p.time == ranges[open].first) {
                inside = true;
            }
            if (inside && p.stream == key) {
                expectedKey.push_back(p);
            }
        }
        for (const Listed& p : got) {
            if (p.stream == key) {
                gotKey.push_back(p);
            }
        }
        ASSERT_EQ(gotKey.size(), expectedKey.size());
        EXPECT_TRUE(gotKey.front().key);
        EXPECT_EQ(gotKey.front().time, 0u);
        for (std::size_t i = 0; i < gotKey.size(); ++i) {
            EXPECT_EQ(gotKey[i].md5, expectedKey[i].md5) << i;
        }
        // Every stream: each sample is a source sample of the same stream, moved by its range's
        // offset, so audio and video keep their timing to the millisecond.
        std::map<int, std::size_t> cursor;
        for (const Listed& p : got) {
            QWORD offset = offsets[p.time < firstLength ? 0 : 1];
            bool found = false;
            // Payloads repeat (silence), so the match is the next one with this payload at the
            // shifted time.
            for (std::size_t& i = cursor[p.stream]; i < in.size(); ++i) {
                if (in[i].stream == p.stream && in[i].md5 == p.md5 && in[i].time >= offset &&
                    std::llabs(static_cast<long long>(in[i].time - offset) -
                               static_cast<long long>(p.time)) <= 10000) {
                    found = true;
                    ++i;
                    break;
                }
            }
            EXPECT_TRUE(found) << "stream " << p.stream << " sample at " << p.time;
        }
        fs::remove(out);
        ++cut;
    }
    if (cut == 0) {
        GTEST_SKIP() << "no media";
    }
}

TEST_F(Cut, CopiesAttributesCodecListAndScriptsWithTheirSourceTimes) {
    for (const std::string& source : {corpus("wcs__house.wma"), mediaFile("wmv2_wmav2.wmv")}) {
        if (source.empty() || !fs::exists(source)) {
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

TEST_F(Cut, RangesThatCannotOpenWriteNothingButAValidFile) {
    std::string source = mediaFile("wmv2_wmav2.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    std::vector<QWORD> keys = keyFrames(source);
    WORD key = lastVideoStream(source);
    // A start between key frames never opens, and neither does any later range.
    for (auto ranges : std::vector<std::vector<std::pair<QWORD, QWORD>>>{
             {{keys[1] + 10000, keys[2]}, {keys[2], keys[3]}}, {}}) {
        std::string out = path("out.wmv");
        ASSERT_EQ(cutFile(source, out, ranges, key), S_OK);
        EXPECT_TRUE(packets(out).empty());
        expectPlaysEverywhere(out);
        fs::remove(out);
    }
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
    // A good cut beside a file named like its temporary file leaves that file alone too.
    std::string source = mediaFile("wmv1_wmav1.wmv");
    if (!source.empty()) {
        ASSERT_EQ(cutFile(source, destination, {{0, 20000000}}, lastVideoStream(source)), S_OK);
        std::ifstream temp(path("temp.wmv"));
        std::string text;
        std::getline(temp, text);
        EXPECT_EQ(text, "not ours");
        EXPECT_EQ(leftovers(), (std::vector<std::string>{"keep.wmv", "temp.wmv"}));
        EXPECT_FALSE(packets(destination).empty());
    }
}

TEST(Trimlet, OneObjectBehindBothCallbackInterfaces) {
    cut::Trimlet* engine = new cut::Trimlet();
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

TEST_F(Cut, CommandLineSnapsRangesAndRefusesTooMany) {
    std::string source = mediaFile("wmv2_wmav2.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    std::ostringstream out;
    testing::internal::CaptureStdout();
    int rc = cli::cutCommand({source, path("out.wmv"), "2.5-4.5"}, out);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(rc, 0);
    // Key frames every 2 s from 0.046 s: 2.5-4.5 becomes the stretch from 2.046 s to 6.046 s.
    EXPECT_NE(out.str().find("keeping 2.046 s to 6.046 s"), std::string::npos) << out.str();
    expectPlaysEverywhere(path("out.wmv"));
    std::vector<std::string> many = {source, path("many.wmv")};
    for (int i = 0; i < 101; ++i) {
        many.push_back("--frames");
        many.push_back("0-0");
    }
    EXPECT_EQ(cli::cutCommand(many, out), 2);
    EXPECT_EQ(cli::cutCommand({source, path("x.wmv"), "4-5", "1-2"}, out), 2);
    EXPECT_EQ(cli::cutCommand({source, source, "0-1"}, out), 1);
    EXPECT_FALSE(fs::exists(path("many.wmv")));
}
