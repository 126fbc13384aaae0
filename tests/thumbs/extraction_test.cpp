// Extraction: the files it writes, its scaling, its thumbnails against FFmpeg's decode of the
// same key frames, and the command line's contact sheet of them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "asf/data_packet.h"
#include "asf/file.h"
#include "cli/commands.h"
#include "media/sample_buffer.h"
#include "support/test_files.h"
#include "thumbs/cache_file.h"
#include "thumbs/thumbs_test_support.h"

using testsupport::runCommand;
using testsupport::ScratchDir;
using testsupport::shellQuote;
using thumbs::ThumbDocument;

namespace {

constexpr std::size_t kRecord = platform::Bitmap::kRecordBytes;

// FFmpeg's decode of the key frames of the file's last video stream, each scaled to a thumbnail
// record by nearest neighbour (in integer arithmetic) and turned bottom-up.
std::vector<std::vector<std::uint8_t>> ffmpegThumbnails(const std::string& file) {
    auto sizes = testsupport::lines(runCommand(
        "ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=p=0 " +
        shellQuote(file)));
    const int width = std::stoi(sizes.back());
    const int height = std::stoi(sizes.back().substr(sizes.back().find(',') + 1));
    const std::string raw = runCommand("ffmpeg -v error -skip_frame nokey -i " + shellQuote(file) +
                                       " -map 0:v:" + std::to_string(sizes.size() - 1) +
                                       " -fps_mode passthrough -f rawvideo -pix_fmt bgr24 -");
    const std::size_t frameBytes = std::size_t(width) * height * 3;
    std::vector<std::vector<std::uint8_t>> thumbs;
    for (std::size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes) {
        std::vector<std::uint8_t> thumb(kRecord);
        for (std::size_t i = 0; i < kRecord; ++i) {
            const std::size_t x = i / 3 % 160, y = i / 480;
            const std::size_t row = height - 1 - y * height / 120;  // FFmpeg's rows run top-down
            thumb[i] =
                static_cast<std::uint8_t>(raw[at + (row * width + x * width / 160) * 3 + i % 3]);
        }
        thumbs.push_back(std::move(thumb));
    }
    return thumbs;
}

// Scales a picture whose pixels name their own column and row, and checks that thumbnail pixel
// (x, y) shows source pixel (x * xn / xd, y * yn / yd).
void expectMapping(int width, int height, std::size_t stride, int xn, int xd, int yn, int yd) {
    std::vector<std::uint8_t> source(stride * height, 0xEE);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &source[y * stride + 3 * x];
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(x >> 8);
            p[2] = static_cast<std::uint8_t>(y);
        }
    }
    std::vector<std::uint8_t> thumb(kRecord);
    ThumbDocument::scaleFrame(source.data(), thumb.data(), width, height, 160, 120);
    for (std::size_t i = 0; i < kRecord; i += 3) {
        const int x = int(i / 3 % 160), y = int(i / 480);
        ASSERT_TRUE((thumb[i] | thumb[i + 1] << 8) == x * xn / xd && thumb[i + 2] == y * yn / yd)
            << width << "x" << height << " at " << x << "," << y;
    }
}

}  // namespace

TEST(Extraction, ThreeKeyFramesGiveTheirIndexFileAndOneRecordEach) {
    ScratchDir dir;
    const std::string source = dir.path() + "keys.wmv";
    int status = 0;
    runCommand(
        "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=10:duration=6 "
        "-c:v wmv2 -g 1000 -force_key_frames 0,2,4.5 -f asf " +
            shellQuote(source),
        &status);
    ASSERT_EQ(status, 0);
    const std::string thumbDir = dir.path() + "thum/";
    std::filesystem::create_directory(thumbDir);

    auto document = thumbtest::extracted(source, thumbDir, false);
    ASSERT_TRUE(document->ready);
    // The last stretch runs to the end of the file (6 s), not where it starts.
    EXPECT_EQ(thumbtest::readFile(thumbDir + "keys.wmv-thum.txt"),
              source + "\r\n1\r\n3\r\n0\r\n20000000\r\n45000000\r\n60000000\r\n");
    EXPECT_EQ(document->frameEnds, (std::vector<std::uint64_t>{20000000, 45000000, 60000000}));
    auto records = thumbtest::records(thumbDir + "keys.wmv.thum");
    ASSERT_EQ(thumbtest::readFile(thumbDir + "keys.wmv.thum").size(), 3 * kRecord);
    ASSERT_EQ(document->createdBitmaps.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(thumbtest::pixelsOf(document->frameBitmaps[i]), records[i]);
    }
    document.reset();
    EXPECT_TRUE(thumbtest::namesIn(thumbDir).empty());
    // In the background only the cache file is written.
    document = thumbtest::extracted(source, thumbDir, true);
    EXPECT_TRUE(document->ready && document->createdBitmaps.empty());
    EXPECT_EQ(thumbtest::records(document->cacheFilePath()), records);
}

TEST(Extraction, AFileWithoutVideoLeavesNoDocumentAndNoFiles) {
    ScratchDir dir;
    for (const std::string& source :
         {thumbtest::testMedium("audio_only.wma"), dir.path() + "missing.wmv"}) {
        EXPECT_FALSE(thumbtest::extracted(source, dir.path(), false)->ready) << source;
        EXPECT_TRUE(thumbtest::namesIn(dir.path()).empty());
    }
}

TEST(Extraction, ASourceReplacedWhileItIsReadLeavesNoDocumentAndNoFiles) {
    ScratchDir dir;
    const std::string source = dir.path() + "clip.wmv";
    std::filesystem::copy_file(thumbtest::testMedium("wmv2_wmav2.wmv"), source);
    const std::string thumbDir = dir.path() + "thum/";
    std::filesystem::create_directory(thumbDir);
    auto document = std::make_unique<ThumbDocument>(source, thumbDir, 0, 0, nullptr);
    document->backgroundOnly = true;
    // Another video moved into place once the first thumbnail is made: what is read goes on
    // from the file opened, whose pictures the new one does not hold.
    bool replaced = false;
    document->extractionProgress = [&](int) {
        if (!replaced) {
            replaced = true;
            const std::string other = dir.path() + "other.wmv";
            std::filesystem::copy_file(thumbtest::testMedium("mp43_only.asf"), other);
            std::filesystem::rename(other, source);
        }
    };
    document->extract();
    ASSERT_TRUE(replaced);
    EXPECT_FALSE(document->ready);
    EXPECT_EQ(document->loadResult, ThumbDocument::kSourceChanged);
    document.reset();  // as the loader drops a document that failed
    EXPECT_TRUE(thumbtest::namesIn(thumbDir).empty()) << "an index would pass for the new file's";
}

TEST(Extraction, ScalingPicksExactlyTheNearestSourcePixels) {
    expectMapping(320, 240, 960, 2, 1, 2, 1);
    expectMapping(80, 60, 240, 1, 2, 1, 2);
    // 350 / 160 = 2.1875 = 35 / 16 exactly; rows of 1050 bytes are padded to 1052.
    expectMapping(350, 240, 1052, 35, 16, 2, 1);
}

TEST(Extraction, ASampleShorterThanItsPictureStoresNothing) {
    ScratchDir dir;
    ThumbDocument document("", dir.path(), 0, 0, nullptr);
    document.videoHeader.biWidth = 350;
    document.videoHeader.biHeight = 240;
    thumbs::CacheFile cacheFile;
    ASSERT_TRUE(cacheFile.create(dir.path() + "c.thum"));
    std::unique_ptr<platform::Bitmap> bitmap;
    for (std::size_t length : {1052 * 240 - 1, 1052 * 240}) {
        auto sample = media::SampleBuffer::create(std::vector<std::uint8_t>(length));
        bool whole = length == 1052 * 240;
        EXPECT_EQ(media::SUCCEEDED(document.storeFrame(sample, nullptr, bitmap, false, cacheFile)),
                  whole);
        EXPECT_EQ(bool(bitmap), whole);
        EXPECT_EQ(document.createdBitmaps.size(), whole ? 1u : 0u);
        EXPECT_EQ(thumbtest::readFile(dir.path() + "c.thum").size(), whole ? kRecord : 0);
    }
}

TEST(Extraction, ThumbnailsMatchFFmpegsDecodeOfTheSameKeyFrames) {
    std::vector<std::string> files;
    for (const char* name : {"wmv1_wmav1.wmv", "wmv2_wmav2.wmv", "mp43_only.asf", "two_video.wmv",
                             "odd_width.wmv", "long_gop.wmv", "demo.wmv"}) {
        files.push_back(thumbtest::testMedium(name));
    }
    for (const char* name : {"moon__timecode-short-wmv7.wmv", "moon__timecode-short-wmv9.wmv",
                             "moon__timecode-short-mpeg4.wmv", "wcs__seattle.wmv",
                             "mphq__elephant.asf", "moon__ElephantsDream.en_fr.wmv"}) {
        files.push_back(testsupport::corpusDir() + "/" + name);
    }
    ScratchDir dir;
    for (const std::string& file : files) {
        if (!std::filesystem::is_regular_file(file)) {
            continue;
        }
        SCOPED_TRACE(file);
        auto document = thumbtest::extracted(file, dir.path(), true);
        ASSERT_TRUE(document->ready);
        auto ours = thumbtest::records(document->cacheFilePath());
        auto theirs = ffmpegThumbnails(file);
        ASSERT_EQ(ours.size(), theirs.size());
        for (std::size_t i = 0; i < ours.size(); ++i) {
            double difference = 0, squares = 0;
            for (std::size_t b = 0; b < kRecord; ++b) {
                const int d = ours[i][b] - theirs[i][b];
                difference += std::abs(d);
                squares += d * d;
            }
            const double psnr = squares == 0 ? 99 : 10 * std::log10(65025.0 * kRecord / squares);
            EXPECT_LT(difference / kRecord, 3.0) << "key frame " << i;
            EXPECT_GT(psnr, 35.0) << "key frame " << i;
        }
    }
}

namespace {

// Overwrites `count` bytes of the data of the stream's n-th key frame (from its 100th byte on,
// across its fragments) in the file, leaving every packet and payload header as it was.
bool spoilKeyFrame(const std::string& path, std::size_t n, std::size_t count) {
    asf::File file;
    if (file.open(path) != asf::Status::Ok) {
        return false;
    }
    std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<std::uint8_t> buffer;
    std::map<std::uint32_t, std::size_t> keyObjects;  // object number -> key frame number
    std::uint64_t seed = 12345;
    std::size_t spoiled = 0;
    for (std::uint64_t packet = 0; packet < file.packetCount() && spoiled < count; ++packet) {
        asf::PacketInfo info;
        std::vector<asf::Payload> payloads;
        if (file.readPacket(packet, buffer) != asf::Status::Ok ||
            asf::parsePacket(buffer.data(), buffer.size(), info, payloads) != asf::Status::Ok) {
            return false;
        }
        for (const asf::Payload& p : payloads) {
            if (p.streamNumber != 1 || (p.offset == 0 && !p.keyFrame)) {
                continue;
            }
            if (p.offset == 0) {
                keyObjects.emplace(p.objectNumber, keyObjects.size());
            }
            auto key = keyObjects.find(p.objectNumber);
            if (key == keyObjects.end() || key->second != n) {
                continue;
            }
            for (std::size_t i = 0; i < p.data.size && spoiled < count; ++i) {
                if (p.offset + i < 100) {
                    continue;
                }
                seed = seed * 6364136223846793005u + 1442695040888963407u;
                out.seekp(static_cast<std::streamoff>(file.packetOffset(packet) +
                                                      (p.data.data + i - buffer.data())));
                out.put(static_cast<char>(seed >> 56));
                ++spoiled;
            }
        }
    }
    return spoiled == count && out.good();
}

}  // namespace

// 1000 bytes spoiled inside one of six key frames: that thumbnail is a plain grey picture and
// the others follow it, as FFmpeg still finds all six.
TEST(Extraction, ADamagedKeyFrameIsAPlainPictureAndTheRestFollow) {
    const std::string source = thumbtest::testMedium("wmv1_wmav1.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no test media";
    }
    ScratchDir dir;
    const std::string damaged = dir.path() + "damaged.wmv";
    std::filesystem::copy_file(source, damaged);
    ASSERT_TRUE(spoilKeyFrame(damaged, 2, 1000));
    const std::string keyPackets =
        runCommand("ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 " +
                   shellQuote(damaged) + " | grep -c K");
    ASSERT_EQ(keyPackets, "6\n");

    auto clean = thumbtest::extracted(source, dir.path(), true);
    auto document = thumbtest::extracted(damaged, dir.path(), true);
    ASSERT_TRUE(document->ready);
    EXPECT_EQ(document->frameStarts, clean->frameStarts);
    auto ours = thumbtest::records(document->cacheFilePath());
    auto theirs = thumbtest::records(clean->cacheFilePath());
    ASSERT_EQ(ours.size(), 6u);
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (i == 2) {
            EXPECT_EQ(ours[i], std::vector<std::uint8_t>(kRecord, 0x80));
        } else {
            EXPECT_EQ(ours[i], theirs[i]) << "key frame " << i;
        }
    }
}

// A header whose "Duration" ends at 3 s of an 8-second file: the last key frame's stretch still
// runs to the end of the samples, in the frames, the index file and the ranges a cut gets.
TEST(Extraction, AHeaderShorterThanTheSamplesStillEndsTheLastFrameWhereTheyEnd) {
    const std::string source = thumbtest::testMedium("wmv2_wmav2.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no test media";
    }
    ScratchDir dir;
    const std::string shortened = dir.path() + "short.wmv";
    std::string bytes = thumbtest::readFile(source);
    ASSERT_TRUE(testsupport::setHeaderDuration(bytes, 30000000));  // 3 s
    thumbtest::writeFile(shortened, bytes);

    // The latest of FFmpeg's packet times over every stream, and where those packets end (ms).
    long long lastMs = 0, samplesEndMs = 0;
    for (const std::string& line : testsupport::lines(
             runCommand("ffprobe -v error -show_entries packet=pts_time,duration_time -of "
                        "csv=p=0 " +
                        shellQuote(shortened)))) {
        const std::string duration = line.substr(line.find(',') + 1);
        lastMs = std::max(lastMs, std::llround(std::stod(line) * 1000));
        samplesEndMs = std::max(
            samplesEndMs,
            std::llround((std::stod(line) + (duration == "N/A" ? 0 : std::stod(duration))) * 1000));
    }
    ASSERT_GT(lastMs, 7900);

    auto document = thumbtest::extracted(shortened, dir.path(), true);
    ASSERT_TRUE(document->ready);
    ASSERT_EQ(document->frameStarts.size(), 4u);
    // Past the last sample, and not past where the samples end.
    EXPECT_GT(double(document->frameEnds.back()) / 10000, double(lastMs));
    EXPECT_LE(double(document->frameEnds.back()) / 10000, double(samplesEndMs) + 1);
    const std::string index = thumbtest::readFile(document->indexFilePath());
    EXPECT_NE(index.find("\r\n" + std::to_string(document->frameEnds.back()) + "\r\n"),
              std::string::npos);
    document->selectionAnchor = 0;
    document->selectionEnd = 3;
    thumbs::MediaTime* ranges = nullptr;
    std::int32_t count = 0;
    document->getRanges(&ranges, &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(ranges[0], document->frameStarts[0]);
    EXPECT_EQ(ranges[1], document->frameEnds.back());
    std::free(ranges);
}

TEST(Extraction, TheContactSheetHoldsEveryThumbnailInRowsOfTen) {
    const std::string source = thumbtest::testMedium("demo.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no test media";
    }
    ScratchDir dir;
    std::ostringstream out;
    ASSERT_EQ(cli::thumbsCommand(source, dir.path() + "sheet.png", out), 0);
    EXPECT_EQ(out.str(), "15 thumbnails\n");

    // FFmpeg reads the sheet back: 1600 x 240, top-down RGB; cells past the last are black.
    const std::string rgb =
        runCommand("ffmpeg -v error -i " + shellQuote(dir.path() + "sheet.png") +
                   " -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(rgb.size(), 1600u * 240 * 3);
    auto records =
        thumbtest::records(thumbtest::extracted(source, dir.path(), true)->cacheFilePath());
    for (std::size_t i = 0; i < 20 * kRecord; ++i) {
        const std::size_t cell = i / kRecord, x = i / 3 % 160, y = i % kRecord / 480;
        const std::size_t at = ((cell / 10 * 120 + y) * 1600 + cell % 10 * 160 + x) * 3 + i % 3;
        const int want = cell < 15 ? records[cell][((119 - y) * 160 + x) * 3 + 2 - i % 3] : 0;
        ASSERT_EQ(static_cast<std::uint8_t>(rgb[at]), want) << "cell " << cell;
    }
}
