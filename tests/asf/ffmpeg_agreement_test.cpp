// The samples our reader yields must be the packets FFmpeg's ASF demuxer yields: same count,
// same bytes, same times, in the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "asf/ffmpeg_reference.h"
#include "asf/file.h"
#include "asf/guids.h"
#include "asf/sample_reader.h"
#include "asf/test_support.h"
#include "media/md5.h"
#include "support/test_files.h"

namespace {

using asf_test::FfmpegReference;
using asf_test::ReferenceFrame;

struct Digest {
    int64_t timeMs = 0;  // presentation time less the preroll
    bool cleanPoint = false;
    size_t size = 0;
    std::string md5;
};

struct OurSamples {
    std::map<uint8_t, std::vector<Digest>> byStream;
    std::vector<std::pair<uint8_t, size_t>> order;  // stream and size, in delivery order
};

OurSamples readAll(const asf::File& file) {
    OurSamples out;
    asf::SampleReader reader(file);
    asf::Sample s;
    const int64_t preroll = static_cast<int64_t>(file.header().preroll());
    while (reader.next(s)) {
        Digest d;
        d.timeMs = int64_t{s.presentationTimeMs} - preroll;
        d.cleanPoint = s.cleanPoint;
        d.size = s.data.size();
        d.md5 = media::md5Hex(s.data.data(), s.data.size());
        out.byStream[s.stream].push_back(d);
        out.order.emplace_back(s.stream, s.data.size());
    }
    EXPECT_EQ(reader.status(), asf::Status::Ok);
    return out;
}

std::string ffmpegType(const asf::Stream& stream) {
    const asf::Guid& type = stream.properties.streamType;
    if (type == asf::kStreamTypeAudio) {
        return "audio";
    }
    if (type == asf::kStreamTypeVideo || type == asf::kStreamTypeJfif) {
        return "video";
    }
    if (type == asf::kStreamTypeCommand) {
        return "data";
    }
    return "";
}

// FFmpeg numbers its streams in the order their Stream Properties Objects appear in the header
// bytes, those embedded in Extended Stream Properties included: it reads the Header
// Extension's children in line with the others.
std::vector<uint8_t> ffmpegStreamOrder(const asf::Header& header) {
    std::vector<const asf::Stream*> streams;
    for (const asf::Stream& s : header.streams) {
        if (!ffmpegType(s).empty()) {
            streams.push_back(&s);
        }
    }
    std::sort(streams.begin(), streams.end(), [](const asf::Stream* a, const asf::Stream* b) {
        return a->propertiesOffset < b->propertiesOffset;
    });
    std::vector<uint8_t> numbers;
    for (const asf::Stream* s : streams) {
        numbers.push_back(s->number);
    }
    return numbers;
}

// Compares one file. Where a file is cut in the middle of an object, FFmpeg returns the bytes
// that are there as a shorter packet (fate__wmv_drm.wmv ends with a 289-byte piece of a larger
// frame, hachoir__matrix_ping_pong.wmv with a 178-byte piece of audio); we drop an object that
// never completes. So on a truncated file FFmpeg may have one more sample at the end of a
// stream; everything before agrees.
constexpr size_t kMaxTailDifference = 1;

void compareWithFfmpeg(const std::string& path, const FfmpegReference& ref) {
    SCOPED_TRACE(path);
    asf::File file;
    ASSERT_EQ(file.open(path), asf::Status::Ok);
    const OurSamples ours = readAll(file);
    const std::vector<uint8_t> order = ffmpegStreamOrder(file.header());
    ASSERT_EQ(order.size(), ref.inputTypes.size()) << "stream count differs from ffprobe's";
    for (size_t i = 0; i < order.size(); ++i) {
        ASSERT_EQ(ffmpegType(*file.header().findStream(order[i])), ref.inputTypes[i]);
    }
    for (size_t out = 0; out < ref.outputs.size(); ++out) {
        const uint8_t number = order[static_cast<size_t>(ref.outputInputs[out])];
        SCOPED_TRACE("ASF stream " + std::to_string(number));
        const auto found = ours.byStream.find(number);
        std::vector<Digest> mine =
            found == ours.byStream.end() ? std::vector<Digest>() : found->second;
        // Stream copy in the ffmpeg tool drops a video stream's packets before its first key
        // frame (unless told -copyinkf).
        if (ref.inputTypes[static_cast<size_t>(ref.outputInputs[out])] == "video") {
            auto firstKey = std::find_if(mine.begin(), mine.end(),
                                         [](const Digest& d) { return d.cleanPoint; });
            mine.erase(mine.begin(), firstKey);
        }
        const std::vector<ReferenceFrame>& theirs = ref.outputs[out];
        if (file.truncated()) {
            ASSERT_LE(mine.size(), theirs.size());
            EXPECT_LE(theirs.size() - mine.size(), kMaxTailDifference);
        } else {
            ASSERT_EQ(mine.size(), theirs.size());
        }
        for (size_t i = 0; i < mine.size(); ++i) {
            ASSERT_EQ(mine[i].md5, theirs[i].md5) << "sample " << i << " of " << mine.size();
            ASSERT_LE(std::abs(mine[i].timeMs - (theirs[i].dtsMs + ref.startTimeMs)), 1)
                << "sample " << i;
        }
    }
}

// Compares the order of delivery across streams with FFmpeg's demuxer (as ffprobe lists it).
void compareOrderWithFfprobe(const std::string& path) {
    SCOPED_TRACE(path);
    asf::File file;
    ASSERT_EQ(file.open(path), asf::Status::Ok);
    const OurSamples ours = readAll(file);
    const std::vector<uint8_t> order = ffmpegStreamOrder(file.header());
    const auto theirs = asf_test::runFfprobePackets(path);
    std::vector<std::pair<uint8_t, size_t>> mine;
    for (const auto& [stream, size] : ours.order) {
        if (std::find(order.begin(), order.end(), stream) != order.end()) {
            mine.emplace_back(stream, size);
        }
    }
    if (file.truncated()) {
        ASSERT_LE(mine.size(), theirs.size());
        EXPECT_LE(theirs.size() - mine.size(), kMaxTailDifference * order.size());
    } else {
        ASSERT_EQ(mine.size(), theirs.size());
    }
    for (size_t i = 0; i < mine.size(); ++i) {
        const size_t index = static_cast<size_t>(theirs[i].stream);
        ASSERT_LT(index, order.size());
        ASSERT_EQ(mine[i].first, order[index]) << "packet " << i;
        ASSERT_EQ(static_cast<int64_t>(mine[i].second), theirs[i].size) << "packet " << i;
    }
}

TEST(FfmpegAgreement, GeneratedMediaSamplesMatchFramemd5) {
    const auto files = asf_test::mediaFiles();
    ASSERT_FALSE(files.empty()) << "no test media in " << testsupport::testMediaDir();
    for (const std::string& path : files) {
        const FfmpegReference ref = asf_test::runFramemd5(path);
        ASSERT_TRUE(ref.readable) << path;
        compareWithFfmpeg(path, ref);
        compareOrderWithFfprobe(path);
    }
}

TEST(FfmpegAgreement, CorpusSamplesMatchFramemd5) {
    if (!asf_test::corpusAvailable()) {
        GTEST_SKIP() << "corpus not available";
    }
    int compared = 0;
    for (const std::string& path : asf_test::corpusFiles()) {
        const FfmpegReference ref = asf_test::runFramemd5(path);
        if (!ref.readable) {
            continue;  // FFmpeg refuses it too (checked by the bad-input tests)
        }
        compareWithFfmpeg(path, ref);
        compareOrderWithFfprobe(path);
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
