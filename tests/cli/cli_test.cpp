// The reading side checked end to end against FFmpeg, on the generated media and on the corpus
// of real files from other encoders.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "cli/commands.h"
#include "media/wmsdk.h"
#include "platform/text.h"
#include "support/test_files.h"
#include "thumbs/thumb_document.h"

using testsupport::allMediaFiles;
using testsupport::lines;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

struct Entry {
    long long timeMs;  // ours: 100-ns units / 10000; FFmpeg's: pts in its 1/1000 time base
    std::string md5;
    bool key;
};

std::string name(const std::string& path) {
    return std::filesystem::path(path).filename();
}

// FFmpeg's samples of the audio and video streams, by its input stream index; false when
// FFmpeg cannot read the file. Payload digests come from framemd5; times from ffprobe, which
// shows the demuxer's times (framemd5 shifts streams with reordered pictures). FFmpeg does not
// tell the ASF stream numbers, so streams are matched by their content later.
bool ffmpegSamples(const std::string& file, std::map<int, std::vector<Entry>>& out) {
    int status = 0;
    std::string digests = runCommand("ffmpeg -v error -i " + shellQuote(file) +
                                         " -map 0:v? -map 0:a? -c copy -f framemd5 - 2>/dev/null",
                                     &status);
    if (status != 0) {
        return false;
    }
    std::vector<int> video, audio;
    for (const std::string& line :
         lines(runCommand("ffprobe -v error -show_entries stream=index,codec_type -of csv=p=0 " +
                          shellQuote(file) + " 2>/dev/null"))) {
        std::size_t comma = line.find(',');
        if (comma == std::string::npos) {
            continue;
        }
        std::string type = line.substr(comma + 1);
        if (type == "video") {
            video.push_back(std::stoi(line));
        } else if (type == "audio") {
            audio.push_back(std::stoi(line));
        }
    }
    // "-map 0:v? -map 0:a?" numbers the video streams first, then the audio streams.
    std::vector<int> outputToInput = video;
    outputToInput.insert(outputToInput.end(), audio.begin(), audio.end());

    std::map<int, std::vector<long long>> times;
    for (const std::string& line :
         lines(runCommand("ffprobe -v error -show_entries packet=stream_index,pts,dts -of "
                          "csv=p=0 " +
                          shellQuote(file) + " 2>/dev/null"))) {
        std::istringstream in(line);
        std::string index, pts, dts;
        std::getline(in, index, ',');
        std::getline(in, pts, ',');
        std::getline(in, dts, ',');
        times[std::stoi(index)].push_back(std::stoll(pts == "N/A" ? dts : pts));
    }
    for (const std::string& line : lines(digests)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream in(line);
        std::string fields[6];
        for (std::string& f : fields) {
            std::getline(in, f, ',');
            f.erase(0, f.find_first_not_of(' '));
        }
        int input = outputToInput.at(std::stoul(fields[0]));
        std::vector<Entry>& samples = out[input];
        const std::vector<long long>& t = times[input];
        long long time = samples.size() < t.size() ? t[samples.size()] : -1;
        samples.push_back({time, fields[5], false});
    }
    return !out.empty();
}

std::map<int, std::vector<Entry>> ourSamples(const std::string& file) {
    std::ostringstream listing;
    EXPECT_EQ(cli::packetsCommand(file, listing), 0) << name(file);
    std::map<int, std::vector<Entry>> out;
    for (const std::string& line : lines(listing.str())) {
        std::istringstream in(line);
        int stream, key;
        long long time, duration, size;
        std::string md5;
        in >> stream >> time >> duration >> key >> size >> md5;
        out[stream].push_back({time / 10000, md5, key != 0});
    }
    return out;
}

// Files FFmpeg reads differently from the ASF rules, with the reason. Both readers are
// compared on everything else.
const std::map<std::string, std::string> kFfmpegDiffers = {
    {"fate__wmv_drm.wmv",
     "DRM-protected: we refuse to read it, FFmpeg hands out the encrypted payloads"},
};

// Cut-off files whose last media object is incomplete: FFmpeg hands out the bytes it has as a
// sample; we drop the object, since a part of a frame is no frame.
const std::set<std::string> kFfmpegKeepsPartialLastObject = {
    "hachoir__matrix_ping_pong.wmv",
    "moon__timecode-short-broadcast.wmv",
};

}  // namespace

TEST(Packets, ListTheSameSamplesAsFfmpegForEveryFileItReads) {
    std::vector<std::string> files = allMediaFiles();
    if (files.empty()) {
        GTEST_SKIP() << "no media";
    }
    int compared = 0;
    for (const std::string& file : files) {
        std::map<int, std::vector<Entry>> theirs;
        if (!ffmpegSamples(file, theirs) || kFfmpegDiffers.count(name(file))) {
            continue;
        }
        std::map<int, std::vector<Entry>> ours = ourSamples(file);
        std::set<int> matched;
        for (const auto& [output, expected] : theirs) {
            // Our stream (not yet matched) that agrees longest with FFmpeg's samples of this
            // stream: streams may start with the same payloads.
            int stream = -1;
            std::size_t best = 0;
            for (const auto& [number, samples] : ours) {
                std::size_t same = 0;
                while (same < samples.size() && same < expected.size() &&
                       samples[same].md5 == expected[same].md5) {
                    ++same;
                }
                if (same > best && !matched.count(number)) {
                    best = same;
                    stream = number;
                }
            }
            matched.insert(stream);
            ASSERT_NE(stream, -1) << name(file) << ": no stream of ours matches FFmpeg's stream "
                                  << output;
            const std::vector<Entry>& got = ours[stream];
            std::size_t partial =
                kFfmpegKeepsPartialLastObject.count(name(file)) && got.size() + 1 == expected.size()
                    ? 1
                    : 0;
            ASSERT_EQ(got.size() + partial, expected.size()) << name(file) << " stream " << stream;
            for (std::size_t i = 0; i < got.size(); ++i) {
                ASSERT_EQ(got[i].md5, expected[i].md5)
                    << name(file) << " stream " << stream << " sample " << i;
                ASSERT_LE(std::llabs(got[i].timeMs - expected[i].timeMs), 1)
                    << name(file) << " stream " << stream << " sample " << i;
            }
        }
        ++compared;
    }
    EXPECT_GE(compared, 9);
}

namespace {

// FFmpeg's key-flagged packet times (ms) of the last video stream.
bool ffmpegKeyFrames(const std::string& file, std::vector<long long>& out) {
    int lastVideo = -1;
    for (const std::string& line :
         lines(runCommand("ffprobe -v error -show_entries stream=index,codec_type -of csv=p=0 " +
                          shellQuote(file) + " 2>/dev/null"))) {
        if (line.find(",video") != std::string::npos) {
            lastVideo = std::stoi(line);
        }
    }
    if (lastVideo < 0) {
        return false;
    }
    for (const std::string& line :
         lines(runCommand("ffprobe -v error -select_streams " + std::to_string(lastVideo) +
                          " -show_entries packet=pts,dts,flags -of csv=p=0 " + shellQuote(file) +
                          " 2>/dev/null"))) {
        std::istringstream in(line);
        std::string pts, dts, flags;
        std::getline(in, pts, ',');
        std::getline(in, dts, ',');
        std::getline(in, flags, ',');
        if (flags.find('K') != std::string::npos) {
            out.push_back(std::stoll(pts == "N/A" ? dts : pts));
        }
    }
    return true;
}

// Files whose key frames FFmpeg flags differently from the file's own key-frame bits.
const std::map<std::string, std::string> kFfmpegKeyFlagsDiffer = {
    {"moon__timecode-short-wmv9src.wmv",
     "the screen codec's parser marks every picture as a key frame; the file marks two"},
    {"fate__wmv_drm.wmv", "DRM-protected: we refuse to read it"},
    {"moon__timecode-short-broadcast.wmv",
     "the last key frame is cut off by the end of the file: FFmpeg hands out the 2328 bytes of "
     "its 6919 that are there as a key frame; we drop the incomplete object"},
};

}  // namespace

// Both ways of reading key frames (compressed for the key-frame list, decoded for thumbnails)
// find every key frame FFmpeg finds, also where the file's index would lead a reader astray:
// two key frames in one packet, and index entries that name an earlier key frame than the last
// one before their time (pictures reordered by B-frames).
TEST(Keyframes, TheListAndTheThumbnailsHoldEveryKeyFrameFfmpegReports) {
    int compared = 0;
    char pattern[] = "/tmp/splicor-keys-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::string thumbnails = std::string(pattern) + "/";
    for (const std::string& file : allMediaFiles()) {
        std::vector<long long> expected;
        if (kFfmpegKeyFlagsDiffer.count(name(file)) || !ffmpegKeyFrames(file, expected)) {
            continue;
        }
        std::ostringstream listing;
        ASSERT_EQ(cli::keyframesCommand(file, listing), 0) << name(file);
        std::vector<std::string> got = lines(listing.str());
        ASSERT_EQ(got.size(), expected.size()) << name(file);
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_LE(std::llabs(std::stoll(got[i]) / 10000 - expected[i]), 1)
                << name(file) << " key frame " << i;
        }
        thumbs::ThumbDocument document(file, thumbnails, 0, 0, nullptr);
        document.backgroundOnly = true;
        document.extract();
        ASSERT_TRUE(document.ready) << name(file);
        ASSERT_EQ(document.frameStarts.size(), expected.size()) << name(file);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(std::to_string(document.frameStarts[i]), got[i])
                << name(file) << " thumbnail " << i;
        }
        ++compared;
    }
    std::filesystem::remove_all(pattern);
    if (compared == 0) {
        GTEST_SKIP() << "no media";
    }
}

namespace {

struct Frame {
    media::QWORD time;
    media::DWORD length;
};

// Decodes the key frames of the last video stream the way a thumbnail document asks for them;
// the bitmap header of the stream's media type gives the picture size.
media::HRESULT decodeKeyFrames(const std::string& file, media::BITMAPINFOHEADER& bitmap,
                               std::vector<Frame>& frames) {
    using namespace media;
    ComPtr<IWMSyncReader> reader;
    HRESULT hr = WMCreateSyncReader(nullptr, 0, reader.put());
    if (SUCCEEDED(hr)) {
        hr = reader->Open(platform::utf8ToUtf16(file).c_str());
    }
    ComPtr<IWMProfile> profile;
    if (SUCCEEDED(hr)) {
        hr = reader.as(IID_IWMProfile, profile);
    }
    DWORD count = 0;
    if (SUCCEEDED(hr)) {
        hr = profile->GetStreamCount(&count);
    }
    WORD video = 0;
    for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        ComPtr<IWMStreamConfig> config;
        ComPtr<IWMMediaProps> props;
        WORD number = 0;
        DWORD size = 0;
        hr = profile->GetStream(i, config.put());
        if (SUCCEEDED(hr)) {
            hr = config->GetStreamNumber(&number);
        }
        if (SUCCEEDED(hr)) {
            hr = config.as(IID_IWMMediaProps, props);
        }
        if (SUCCEEDED(hr)) {
            hr = props->GetMediaType(nullptr, &size);
        }
        std::vector<std::uint64_t> block((size + 7) / 8);
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
        if (SUCCEEDED(hr)) {
            hr = props->GetMediaType(type, &size);
        }
        if (SUCCEEDED(hr) && type->majortype == WMMEDIATYPE_Video) {
            bitmap = reinterpret_cast<WMVIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
            video = number;
        }
    }
    if (SUCCEEDED(hr) && video == 0) {
        return E_INVALIDARG;
    }
    WMT_STREAM_SELECTION keysOnly = WMT_CLEANPOINT_ONLY;
    if (SUCCEEDED(hr)) {
        hr = reader->SetStreamsSelected(1, &video, &keysOnly);
    }
    while (SUCCEEDED(hr)) {
        ComPtr<INSSBuffer> sample;
        Frame frame{};
        QWORD duration;
        DWORD flags, output;
        WORD stream;
        BYTE* data;
        hr = reader->GetNextSample(video, sample.put(), &frame.time, &duration, &flags, &output,
                                   &stream);
        if (SUCCEEDED(hr)) {
            hr = sample->GetBufferAndLength(&data, &frame.length);
            frames.push_back(frame);
        }
    }
    return hr == NS_E_NO_MORE_SAMPLES ? S_OK : hr;
}

}  // namespace

TEST(SyncReader, DecodesEveryKeyFrameAtTheStreamsOwnSize) {
    int decoded = 0;
    for (const std::string& file : allMediaFiles()) {
        std::ostringstream keyframes;
        if (cli::keyframesCommand(file, keyframes) != 0) {
            continue;  // no video, or a file the reader refuses (checked elsewhere)
        }
        std::vector<std::string> times = lines(keyframes.str());
        media::BITMAPINFOHEADER bitmap{};
        std::vector<Frame> frames;
        ASSERT_EQ(decodeKeyFrames(file, bitmap, frames), media::S_OK) << name(file);
        ASSERT_EQ(frames.size(), times.size()) << name(file);
        std::size_t stride = (bitmap.biWidth * 3 + 3) / 4 * 4;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].length, stride * std::abs(bitmap.biHeight)) << name(file);
            EXPECT_EQ(std::to_string(frames[i].time), times[i]) << name(file);
        }
        ++decoded;
    }
    if (decoded == 0) {
        GTEST_SKIP() << "no media";
    }
}

TEST(Cli, FailsCleanlyOnFilesItCannotRead) {
    std::string dir = testsupport::corpusDir();
    std::string missing = "/nonexistent/clip.wmv";
    std::ostringstream out;
    EXPECT_EQ(cli::packetsCommand(missing, out), 1);
    EXPECT_EQ(cli::infoCommand(missing, out), 1);
    EXPECT_EQ(cli::keyframesCommand("/etc/passwd", out), 1);
    if (dir.empty()) {
        return;
    }
    // Protected content: shown by info, refused by the readers.
    std::ostringstream info;
    EXPECT_EQ(cli::infoCommand(dir + "/fate__wmv_drm.wmv", info), 0);
    EXPECT_NE(info.str().find("protected: yes"), std::string::npos);
    EXPECT_EQ(cli::packetsCommand(dir + "/fate__wmv_drm.wmv", out), 1);
    // A header without data, and a header without stream properties.
    EXPECT_EQ(cli::packetsCommand(dir + "/exiftool__ASF.wmv", out), 1);
    EXPECT_EQ(cli::packetsCommand(dir + "/mm__CWE-835.wma", out), 1);
}
