#include "media/keyframe_decoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "asf/stream_properties.h"
#include "support/scratch.h"

using media::KeyFrameDecoder;

namespace {

// Damaged frames make libavcodec complain at length; the results are what the tests check.
[[maybe_unused]] const bool libavQuiet = (av_log_set_level(AV_LOG_FATAL), true);

std::string corpusPath(const char* name) {
    const char* folder = std::getenv("SPLICOR_CORPUS");
    if (folder && *folder) {
        return std::string(folder) + "/" + name;
    }
    // The configured corpus, for when the environment does not reach the test.
    const bool configured = std::filesystem::is_directory(SPLICOR_CONFIGURED_CORPUS);
    return configured ? std::string(SPLICOR_CONFIGURED_CORPUS) + "/" + name : std::string();
}

struct KeyFrame {
    std::vector<uint8_t> data;
    std::vector<uint8_t> picture;  // from the full decode: BGR, top-down, rows of width * 3
};

// A video stream as libavformat reads it (the tests do not depend on our own ASF reader). Its
// key frames are the packets flagged key that libavcodec, decoding the whole stream in order,
// also calls key frames (MSS2 gets every packet flagged).
struct Stream {
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> extradata;
    std::vector<KeyFrame> keyFrames;
    std::vector<uint8_t> predicted;  // the first P-frame
};

// Converts through rows with room to spare: the scaler's vector code writes whole groups of
// pixels past a row's end and leaves out a row's last pixels when the stride is too tight.
std::vector<uint8_t> toBgr(const AVFrame& frame, int width, int height) {
    SwsContext* scaler =
        sws_getContext(frame.width, frame.height, AVPixelFormat(frame.format), width, height,
                       AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    const int spaced = width * 3 + 128;
    std::vector<uint8_t> rows(size_t(spaced) * (height + 2));
    uint8_t* planes[4] = {rows.data()};
    int strides[4] = {spaced};
    sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides);
    sws_freeContext(scaler);
    std::vector<uint8_t> bgr;
    for (int y = 0; y < height; ++y) {
        bgr.insert(bgr.end(), &rows[size_t(spaced) * y], &rows[size_t(spaced) * y + width * 3]);
    }
    return bgr;
}

// streamIndex -1 picks the file's main video stream.
Stream readStream(const std::string& path, int streamIndex) {
    Stream stream;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return stream;
    }
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, streamIndex, -1, nullptr, 0);
    const AVCodecParameters& parameters = *format->streams[std::max(index, 0)]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters.codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, &parameters);
    EXPECT_EQ(avcodec_open2(codec, decoder, nullptr), 0) << path;
    stream.fourcc = parameters.codec_tag;
    stream.width = parameters.width;
    stream.height = parameters.height;
    stream.extradata.assign(parameters.extradata, parameters.extradata + parameters.extradata_size);

    // The packet's number travels through the decoder as its time stamp, so that reordered
    // pictures find their packet.
    std::map<int64_t, std::pair<std::vector<uint8_t>, bool>> packets;  // data, flagged key
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    for (bool more = true; more;) {
        more = av_read_frame(format, packet) >= 0;
        if (more && packet->stream_index != index) {
            av_packet_unref(packet);
            continue;
        }
        if (more) {
            packet->pts = packet->dts = int64_t(packets.size());
            packets[packet->pts] = {{packet->data, packet->data + packet->size},
                                    (packet->flags & AV_PKT_FLAG_KEY) != 0};
        }
        avcodec_send_packet(codec, more ? packet : nullptr);
        av_packet_unref(packet);
        while (avcodec_receive_frame(codec, frame) == 0) {
            const auto& source = packets[frame->pts];
            if (source.second && frame->key_frame) {
                stream.keyFrames.push_back(
                    {source.first, toBgr(*frame, stream.width, stream.height)});
            } else if (frame->pict_type == AV_PICTURE_TYPE_P && stream.predicted.empty()) {
                stream.predicted = source.first;
            }
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return stream;
}

// Compares our bottom-up, padded bitmap with a reference picture. They agree when the mean
// difference is below 1, under 0.1 % of the bytes are off by more than 24, and padding is zero.
std::string differences(const std::vector<uint8_t>& bitmap, size_t stride,
                        const std::vector<uint8_t>& picture, int width, int height) {
    const size_t rowBytes = size_t(width) * 3;
    if (bitmap.size() != stride * height || picture.size() != rowBytes * height) {
        return "sizes differ";
    }
    uint64_t sum = 0, large = 0;
    std::string first;
    for (int y = 0; y < height; ++y) {
        const uint8_t* ours = &bitmap[stride * (height - 1 - y)];
        if (std::any_of(ours + rowBytes, ours + stride, [](uint8_t byte) { return byte != 0; })) {
            return "padding not zero in picture row " + std::to_string(y);
        }
        for (size_t x = 0; x < rowBytes; ++x) {
            const int difference = std::abs(ours[x] - picture[rowBytes * y + x]);
            sum += difference;
            if (difference > 24 && large++ == 0) {
                first = "first at picture row " + std::to_string(y) + ", byte " +
                        std::to_string(x) + "; ";
            }
        }
    }
    const double bytes = double(rowBytes) * height;
    if (sum < bytes && large < bytes / 1000) {
        return std::string();
    }
    return first + "mean " + std::to_string(sum / bytes) + ", " + std::to_string(large) + " large";
}

struct FileCase {
    const char* file;
    bool inCorpus;    // else made by make_test_media.sh
    int streamIndex;  // -1: the main video stream
    const char* codec;
    size_t keyFrames;  // true key frames in the file
};

std::ostream& operator<<(std::ostream& out, const FileCase& c) {
    return c.streamIndex < 0 ? out << c.file : out << c.file << " stream " << c.streamIndex;
}

class KeyFrameDecoderOnFile : public testing::TestWithParam<FileCase> {
protected:
    void SetUp() override {
        const FileCase& c = GetParam();
        const char* media = std::getenv("SPLICOR_TEST_MEDIA");
        const std::string path =
            c.inCorpus ? corpusPath(c.file) : std::string(media ? media : ".") + "/" + c.file;
        if (path.empty()) {
            GTEST_SKIP() << "no corpus: SPLICOR_CORPUS is not set";
        }
        stream = readStream(path, c.streamIndex);
        ASSERT_EQ(stream.fourcc, asf::fourccCode(c.codec));
        ASSERT_EQ(stream.keyFrames.size(), c.keyFrames);
        ASSERT_EQ(decoder.open(stream.fourcc, stream.width, stream.height, stream.extradata.data(),
                               stream.extradata.size()),
                  media::DecodeError::Ok);
    }

    std::string decodesLikeReference(const KeyFrame& frame) {
        if (decoder.decode(frame.data.data(), frame.data.size(), bitmap) !=
            media::DecodeError::Ok) {
            return "not decoded";
        }
        return differences(bitmap, decoder.stride(), frame.picture, stream.width, stream.height);
    }

    Stream stream;
    KeyFrameDecoder decoder;
    std::vector<uint8_t> bitmap;
};

}  // namespace

// Last to first, so every frame follows a different one than in the file; with B-frames (WVC1,
// MP4S) the picture only comes out when the decoder is drained.
TEST_P(KeyFrameDecoderOnFile, DecodesEveryKeyFrameToThePictureOfAFullDecode) {
    EXPECT_EQ(decoder.width(), stream.width);
    EXPECT_EQ(decoder.height(), stream.height);
    EXPECT_EQ(decoder.stride(), size_t(stream.width * 3 + 3) / 4 * 4);
    for (size_t i = stream.keyFrames.size(); i-- > 0;) {
        EXPECT_EQ(decodesLikeReference(stream.keyFrames[i]), "") << "key frame " << i;
    }
}

// Nothing may crash or spoil the next good frame. Some random bytes pass for a frame of codecs
// without checksums, so for them any result will do.
TEST_P(KeyFrameDecoderOnFile, RejectsDamagedFramesAndRecovers) {
    const std::vector<uint8_t>& good = stream.keyFrames.back().data;
    EXPECT_EQ(decoder.decode(good.data(), 0, bitmap), media::DecodeError::NoPicture);
    EXPECT_EQ(decoder.decode(nullptr, 100, bitmap), media::DecodeError::NoPicture);
    EXPECT_NE(decoder.decode(good.data(), good.size() / 2, bitmap), media::DecodeError::Ok)
        << "cut off";
    EXPECT_NE(decoder.decode(good.data(), 16, bitmap), media::DecodeError::Ok) << "cut off";
    if (!stream.predicted.empty()) {
        EXPECT_EQ(decoder.decode(stream.predicted.data(), stream.predicted.size(), bitmap),
                  media::DecodeError::Failed)
            << "a P-frame alone";
    }
    std::mt19937 random(1234);
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> junk(good.size() >> (round % 4));
        std::generate(junk.begin(), junk.end(), [&] { return uint8_t(random()); });
        const media::DecodeError result = decoder.decode(junk.data(), junk.size(), bitmap);
        EXPECT_TRUE(result == media::DecodeError::Failed ||
                    result == media::DecodeError::NoPicture ||
                    (result == media::DecodeError::Ok &&
                     bitmap.size() == decoder.stride() * decoder.height()))
            << static_cast<int>(result);
    }
    EXPECT_EQ(decodesLikeReference(stream.keyFrames.back()), "");
}

INSTANTIATE_TEST_SUITE_P(GeneratedMedia, KeyFrameDecoderOnFile,
                         testing::Values(FileCase{"wmv1_wmav1.wmv", false, -1, "WMV1", 6},
                                         FileCase{"wmv2_wmav2.wmv", false, -1, "WMV2", 4},
                                         FileCase{"mp43_only.asf", false, -1, "MP43", 5},
                                         FileCase{"odd_width.wmv", false, -1, "WMV2", 3},
                                         FileCase{"two_video.wmv", false, 1, "WMV1", 2}));

INSTANTIATE_TEST_SUITE_P(
    Corpus, KeyFrameDecoderOnFile,
    testing::Values(FileCase{"moon__timecode-short-wmv7.wmv", true, -1, "WMV1", 2},
                    FileCase{"moon__timecode-short-wmv8.wmv", true, -1, "WMV2", 2},
                    FileCase{"moon__timecode-short-wmv9.wmv", true, -1, "WMV3", 2},
                    FileCase{"moon__timecode-short-wmv9src.wmv", true, -1, "MSS2", 2},
                    FileCase{"moon__timecode-short-mpeg4.wmv", true, -1, "MP4S", 2},
                    FileCase{"moon__embedded-script-commands.wmv", true, -1, "WVC1", 2},
                    FileCase{"moon__ElephantsDream.en_fr.wmv", true, -1, "WMV3", 8},
                    FileCase{"mphq__elephant.asf", true, -1, "MP43", 4}));

TEST(KeyFrameDecoder, RefusesUnknownCodecsAndImpossibleSizes) {
    KeyFrameDecoder decoder;
    std::vector<uint8_t> bitmap;
    const uint8_t byte = 0;
    EXPECT_EQ(decoder.decode(&byte, 1, bitmap), media::DecodeError::Failed) << "not open";
    EXPECT_EQ(decoder.open(asf::fourccCode("ABCD"), 320, 240, nullptr, 0),
              media::DecodeError::UnknownCodec);
    EXPECT_EQ(decoder.open(0, 320, 240, nullptr, 0), media::DecodeError::UnknownCodec);
    EXPECT_FALSE(KeyFrameDecoder::supports(asf::fourccCode("ABCD")));
    for (const char* name : {"WMV3", "wmv3", "Wvc1", "mp43", "div3", "xvid", "MSS2", "h264"}) {
        EXPECT_TRUE(KeyFrameDecoder::supports(asf::fourccCode(name))) << name;
    }
    const int32_t sizes[][2] = {{0, 240},      {320, 0},         {-320, 240},     {16385, 240},
                                {320, -16385}, {320, INT32_MIN}, {INT32_MIN, 240}};
    for (const auto& size : sizes) {
        EXPECT_EQ(decoder.open(asf::fourccCode("WMV2"), size[0], size[1], nullptr, 0),
                  media::DecodeError::BadFormat)
            << size[0] << " x " << size[1];
        EXPECT_EQ(decoder.decode(&byte, 1, bitmap), media::DecodeError::Failed);
    }
    EXPECT_EQ(decoder.open(asf::fourccCode("WMV1"), 320, 240, nullptr, 5),
              media::DecodeError::BadFormat);
}

// Independent of the reference decode: the colours put in come out, as blue, green, red bytes,
// bottom row first, for widths whose rows end inside the scaler's groups of pixels and for
// MPEG-4 frames of another size than the header's, which must come out at the header's size.
TEST(KeyFrameDecoder, ReturnsTheColoursPutInBottomRowFirstAtTheHeaderSize) {
    const testsupport::ScratchDir folder("decoder");
    struct Case {
        const char* codec;
        int codedWidth, codedHeight, width, height;
    };
    for (const Case& c : {Case{"wmv1", 162, 120, 162, 120}, Case{"wmv1", 346, 96, 346, 96},
                          Case{"wmv1", 34, 66, 34, 66}, Case{"mpeg4", 176, 144, 88, 72},
                          Case{"mpeg4", 160, 128, 321, 257}}) {
        const std::string file = folder / (c.codec + std::to_string(c.codedWidth) + ".wmv");
        SCOPED_TRACE(file + " as " + std::to_string(c.width) + " x " + std::to_string(c.height));
        // Red-orange above row 32, blue below.
        const std::string command =
            "ffmpeg -nostdin -v error -y -f lavfi -i color=c=0xBC662C:s=" +
            std::to_string(c.codedWidth) + "x" + std::to_string(c.codedHeight) +
            ",drawbox=y=32:w=iw:h=ih:color=0x1E519F:t=fill -frames:v 1 -c:v " + c.codec +
            " -f asf " + file;
        ASSERT_EQ(std::system(command.c_str()), 0);
        const Stream stream = readStream(file, -1);
        ASSERT_EQ(stream.keyFrames.size(), 1u);
        KeyFrameDecoder decoder;
        // A negative height only marks a top-down bitmap header.
        ASSERT_EQ(decoder.open(stream.fourcc, c.width, -c.height, stream.extradata.data(),
                               stream.extradata.size()),
                  media::DecodeError::Ok);
        std::vector<uint8_t> bitmap(decoder.stride() * c.height, 0xAB);  // padding must be cleared
        const std::vector<uint8_t>& data = stream.keyFrames[0].data;
        ASSERT_EQ(decoder.decode(data.data(), data.size(), bitmap), media::DecodeError::Ok);
        const size_t stride = decoder.stride();
        ASSERT_EQ(bitmap.size(), stride * c.height);

        const int split = 32 * c.height / c.codedHeight;
        const int blur = 8 * c.height / c.codedHeight + 2;  // rows around the edge
        const uint8_t orange[3] = {0x2C, 0x66, 0xBC};
        const uint8_t blue[3] = {0x9F, 0x51, 0x1E};
        std::vector<uint8_t> expected;  // top-down, like a reference picture
        for (int y = 0; y < c.height; ++y) {
            const uint8_t* ours = &bitmap[stride * (c.height - 1 - y)];
            for (int x = 0; x < c.width; ++x) {
                const uint8_t* colour = std::abs(y - split) < blur ? ours + x * 3
                                        : y < split                ? orange
                                                                   : blue;
                expected.insert(expected.end(), colour, colour + 3);
            }
        }
        EXPECT_EQ(differences(bitmap, stride, expected, c.width, c.height), "");
    }
}
