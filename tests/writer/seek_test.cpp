// Copies are seekable: FFmpeg, asked for a time in the middle, starts at the key frame the
// copy's Simple Index names for that time (not merely some earlier key frame), and GStreamer
// reports the copy seekable.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "asf/file.h"
#include "asf/sample_reader.h"
#include "harness/remux.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

struct Seekable {
    std::string source;
    std::string copy;
};

// Files with one video stream and key frames every 2 s, every 10 s, and at scene cuts, copied
// once per run.
const std::vector<Seekable>& copies() {
    static std::vector<Seekable> out;
    if (!out.empty()) {
        return out;
    }
    const std::string media = testsupport::testMediaDir();
    const std::string corpus = testsupport::corpusDir();
    for (const std::string& source :
         {media + "/demo.wmv", media + "/long_gop.wmv", corpus + "/moon__ElephantsDream.en_fr.wmv",
          corpus + "/wpftest__red2SecondsGreen30.wmv"}) {
        if (!std::filesystem::exists(source)) {
            continue;
        }
        Seekable s{source, writertest::scratchDir() + "/seek-" +
                               std::filesystem::path(source).filename().string()};
        EXPECT_EQ(remux::remuxFile(s.source, s.copy).hr, 0) << source;
        out.push_back(s);
    }
    return out;
}

// Media times (ms) of the key frames of the indexed video stream.
std::vector<int64_t> keyFrames(const asf::File& file) {
    std::vector<int64_t> times;
    asf::SampleReader reader(file);
    reader.setStreamFilter({file.simpleIndexes().at(0).streamNumber});
    asf::Sample sample;
    while (reader.next(sample)) {
        if (sample.cleanPoint) {
            times.push_back(int64_t{sample.presentationTimeMs} - int64_t(file.header().preroll()));
        }
    }
    return times;
}

// The media time (ms) of the key frame the file's Simple Index names for a time (ms).
int64_t indexedKeyFrame(const asf::File& file, int64_t timeMs) {
    const asf::SimpleIndex& index = file.simpleIndexes().at(0);
    const uint64_t preroll = file.header().preroll();
    const uint64_t entry = std::min<uint64_t>((timeMs + preroll) * 10000 / index.entryTimeInterval,
                                              index.entries.size() - 1);
    const uint64_t packet = index.entries[entry].packetNumber;
    asf::SampleReader reader(file);
    reader.setStreamFilter({index.streamNumber});
    reader.seekToPacket(packet);
    asf::Sample sample;
    while (reader.next(sample)) {
        if (sample.cleanPoint && sample.startPacket == packet) {
            return int64_t{sample.presentationTimeMs} - int64_t(preroll);
        }
    }
    return -1;
}

}  // namespace

TEST(Seeking, FfmpegStartsAtTheKeyFrameTheSimpleIndexNames) {
    const std::vector<Seekable>& files = copies();
    if (files.empty()) {
        GTEST_SKIP() << "no media";
    }
    int distinguishing = 0;
    for (const Seekable& s : files) {
        SCOPED_TRACE(s.source);
        asf::File file;
        ASSERT_EQ(file.open(s.copy), asf::Status::Ok);
        ASSERT_EQ(file.simpleIndexes().size(), 1u);
        const int64_t duration = file.header().fileProperties.durationWithoutPreroll() / 10000;
        const int64_t preroll = static_cast<int64_t>(file.header().preroll());
        std::vector<int64_t> times;
        for (double fraction : {0.3, 0.5, 0.8}) {
            times.push_back(static_cast<int64_t>(duration * fraction));
        }
        // Index entries fall on whole seconds of the presentation: just after a key frame in
        // the middle of the file, the entry still names the key frame before it, where a search
        // by time alone would find this one.
        const std::vector<int64_t> keys = keyFrames(file);
        int64_t between = -1;
        for (std::size_t k = keys.size() / 3; k < keys.size() && between < 0; ++k) {
            const int64_t nextEntry = (keys[k] + preroll + 999) / 1000 * 1000 - preroll;
            if (k > 0 && nextEntry - keys[k] >= 20) {
                between = (keys[k] + nextEntry) / 2;
                times.push_back(between);
            }
        }
        distinguishing += between >= 0 ? 1 : 0;
        for (int64_t t : times) {
            SCOPED_TRACE("seek to " + std::to_string(t) + " ms");
            const int64_t expected = indexedKeyFrame(file, t);
            ASSERT_GE(expected, 0);
            if (t == between) {
                EXPECT_LT(expected, *std::prev(std::upper_bound(keys.begin(), keys.end(), t)));
            }
            const std::string first = runCommand(
                "ffprobe -v error -read_intervals " + std::to_string(t / 1000.0) +
                "%+#1 -select_streams v:0 -show_entries packet=pts_time,flags -of csv=p=0 " +
                shellQuote(s.copy));
            ASSERT_GT(first.size(), 3u) << first;
            EXPECT_EQ(std::llround(std::stod(first) * 1000), expected) << first;
            EXPECT_EQ(first.substr(first.find(',') + 1, 1), "K");
        }
    }
    // (Files whose key frames fall on whole seconds of the presentation offer no such time.)
    EXPECT_GT(distinguishing, 0);
}

TEST(Seeking, GStreamerFindsTheCopiesSeekable) {
    if (!writertest::haveTool("gst-discoverer-1.0")) {
        GTEST_SKIP() << "gst-discoverer-1.0 is not installed";
    }
    for (const Seekable& s : copies()) {
        SCOPED_TRACE(s.source);
        const std::string report =
            runCommand("gst-discoverer-1.0 -v " + shellQuote(s.copy) + " 2>&1");
        EXPECT_NE(report.find("Seekable: yes"), std::string::npos) << report;
    }
}
