#include "media/keyframe_decoder.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace media {

namespace {

// Larger pictures are taken for a damaged header rather than a real stream.
constexpr int64_t kMaxDimension = 16384;
// Codec set-up data is a sequence header, a palette or a parameter-set record: a few bytes to a
// few kilobytes. More than this means a broken stream header.
constexpr size_t kMaxExtradataSize = size_t{1} << 20;
// libavcodec copies each packet into a padded buffer whose size must fit in an int.
constexpr size_t kMaxFrameSize = INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE;

constexpr uint32_t fourccOf(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

struct CodecForFourcc {
    uint32_t fourcc;  // upper case
    AVCodecID codec;
};

// The video codecs found in ASF files, keyed by their upper-case FourCC.
constexpr CodecForFourcc kCodecs[] = {
    {fourccOf("WMV1"), AV_CODEC_ID_WMV1},      {fourccOf("WMV2"), AV_CODEC_ID_WMV2},
    {fourccOf("WMV3"), AV_CODEC_ID_WMV3},      {fourccOf("WMVP"), AV_CODEC_ID_WMV3IMAGE},
    {fourccOf("WVC1"), AV_CODEC_ID_VC1},       {fourccOf("WMVA"), AV_CODEC_ID_VC1},
    {fourccOf("WVP2"), AV_CODEC_ID_VC1IMAGE},  {fourccOf("MSS1"), AV_CODEC_ID_MSS1},
    {fourccOf("MSS2"), AV_CODEC_ID_MSS2},      {fourccOf("MP43"), AV_CODEC_ID_MSMPEG4V3},
    {fourccOf("DIV3"), AV_CODEC_ID_MSMPEG4V3}, {fourccOf("DIV4"), AV_CODEC_ID_MSMPEG4V3},
    {fourccOf("DIV5"), AV_CODEC_ID_MSMPEG4V3}, {fourccOf("DIV6"), AV_CODEC_ID_MSMPEG4V3},
    {fourccOf("MPG3"), AV_CODEC_ID_MSMPEG4V3}, {fourccOf("DVX3"), AV_CODEC_ID_MSMPEG4V3},
    {fourccOf("AP41"), AV_CODEC_ID_MSMPEG4V3}, {fourccOf("COL1"), AV_CODEC_ID_MSMPEG4V3},
    {fourccOf("MP42"), AV_CODEC_ID_MSMPEG4V2}, {fourccOf("DIV2"), AV_CODEC_ID_MSMPEG4V2},
    {fourccOf("MPG4"), AV_CODEC_ID_MSMPEG4V1}, {fourccOf("MP41"), AV_CODEC_ID_MSMPEG4V1},
    {fourccOf("DIV1"), AV_CODEC_ID_MSMPEG4V1}, {fourccOf("MP4S"), AV_CODEC_ID_MPEG4},
    {fourccOf("M4S2"), AV_CODEC_ID_MPEG4},     {fourccOf("MP4V"), AV_CODEC_ID_MPEG4},
    {fourccOf("XVID"), AV_CODEC_ID_MPEG4},     {fourccOf("DIVX"), AV_CODEC_ID_MPEG4},
    {fourccOf("DX50"), AV_CODEC_ID_MPEG4},     {fourccOf("FMP4"), AV_CODEC_ID_MPEG4},
    {fourccOf("H264"), AV_CODEC_ID_H264},      {fourccOf("X264"), AV_CODEC_ID_H264},
    {fourccOf("AVC1"), AV_CODEC_ID_H264},      {fourccOf("MJPG"), AV_CODEC_ID_MJPEG},
};

uint32_t upperCase(uint32_t fourcc) {
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t c = (fourcc >> shift) & 0xFF;
        if (c >= 'a' && c <= 'z') {
            c -= 'a' - 'A';
        }
        result |= c << shift;
    }
    return result;
}

AVCodecID codecFor(uint32_t fourcc) {
    const uint32_t key = upperCase(fourcc);
    for (const CodecForFourcc& entry : kCodecs) {
        if (entry.fourcc == key) {
            return entry.codec;
        }
    }
    return AV_CODEC_ID_NONE;
}

int fromAvError(int error) {
    return error == AVERROR(ENOMEM) ? kDecodeOutOfMemory : kDecodeFailed;
}

// The scaler's name for a picture's YUV matrix; BT.601 when the stream does not say.
int scalerColorspace(int colorspace) {
    switch (colorspace) {
        case AVCOL_SPC_BT709:
            return SWS_CS_ITU709;
        case AVCOL_SPC_FCC:
            return SWS_CS_FCC;
        case AVCOL_SPC_SMPTE240M:
            return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return SWS_CS_BT2020;
        default:
            return SWS_CS_DEFAULT;
    }
}

// The full-range ("J") YUV formats are the plain ones plus a range flag; the scaler wants the
// flag set explicitly and warns about the old formats.
AVPixelFormat withoutRange(AVPixelFormat format, bool& fullRange) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
            fullRange = true;
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            fullRange = true;
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P:
            fullRange = true;
            return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P:
            fullRange = true;
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P:
            fullRange = true;
            return AV_PIX_FMT_YUV411P;
        default:
            return format;
    }
}

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
struct AvMemoryDeleter {
    void operator()(uint8_t* memory) const { av_free(memory); }
};

// What a scaler was built for; a picture that differs in any of these needs a new one.
struct ScalerInput {
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    bool fullRange = false;
    int colorspace = SWS_CS_DEFAULT;

    bool operator==(const ScalerInput& other) const {
        return width == other.width && height == other.height && format == other.format &&
               fullRange == other.fullRange && colorspace == other.colorspace;
    }
};

}  // namespace

struct KeyFrameDecoder::Impl {
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec;
    std::unique_ptr<AVPacket, PacketDeleter> packet;
    // The first picture the current frame produced; unreferenced after each decode().
    std::unique_ptr<AVFrame, FrameDeleter> picture;
    // Receives any further pictures, which are dropped.
    std::unique_ptr<AVFrame, FrameDeleter> spare;

    // Built for the last picture's input format; reused while that stays the same.
    std::unique_ptr<SwsContext, ScalerDeleter> scaler;
    ScalerInput scalerInput;

    // The scaler writes top-down rows here, spaced wider than the output's: its vector code
    // writes whole groups of pixels past a row's end, and leaves out a row's last pixels when
    // the stride has no room for such a group.
    std::unique_ptr<uint8_t, AvMemoryDeleter> bgr;
    int bgrStride = 0;

    int width = 0;
    int height = 0;
    size_t stride = 0;

    void close();
    int decodePicture(const uint8_t* data, size_t size);
    int receivePictures();
    int prepareScaler(const AVFrame& frame);
    int convert(std::vector<uint8_t>& out);
};

void KeyFrameDecoder::Impl::close() {
    codec.reset();
    packet.reset();
    picture.reset();
    spare.reset();
    scaler.reset();
    scalerInput = ScalerInput();
    bgr.reset();
    bgrStride = 0;
    width = 0;
    height = 0;
    stride = 0;
}

// Receives what the codec has ready, keeping the first picture. Returns 0 once the codec wants
// more input or has nothing more to give, or a libav error.
int KeyFrameDecoder::Impl::receivePictures() {
    for (;;) {
        AVFrame* target = picture->buf[0] ? spare.get() : picture.get();
        const int result = avcodec_receive_frame(codec.get(), target);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return 0;
        }
        if (result < 0) {
            return result;
        }
        av_frame_unref(spare.get());
    }
}

// Runs one frame through the codec and leaves the codec empty again: a codec with reordering
// delay gives the picture only when drained, and the flush drops the references so that the
// next key frame starts from nothing.
int KeyFrameDecoder::Impl::decodePicture(const uint8_t* data, size_t size) {
    // The packet does not own the bytes, so libavcodec copies them into a padded buffer.
    packet->data = const_cast<uint8_t*>(data);
    packet->size = static_cast<int>(size);
    packet->flags = AV_PKT_FLAG_KEY;
    int result = avcodec_send_packet(codec.get(), packet.get());
    packet->data = nullptr;
    packet->size = 0;
    if (result >= 0) {
        result = receivePictures();
    }
    if (avcodec_send_packet(codec.get(), nullptr) >= 0) {
        const int drained = receivePictures();
        if (result >= 0) {
            result = drained;
        }
    }
    avcodec_flush_buffers(codec.get());

    const AVFrame& frame = *picture;
    if (!frame.buf[0] || !frame.data[0] || frame.width <= 0 || frame.height <= 0 ||
        frame.format < 0) {
        av_frame_unref(picture.get());
        return result < 0 ? fromAvError(result) : kDecodeNoPicture;
    }
    // A picture with concealed parts came from damaged or cut-off data, and one that is not
    // intra-coded only holds changes to a picture we do not have: neither shows the frame.
    const bool intra = frame.key_frame || frame.pict_type == AV_PICTURE_TYPE_I;
    if (frame.decode_error_flags != 0 || (frame.flags & AV_FRAME_FLAG_CORRUPT) || !intra) {
        av_frame_unref(picture.get());
        return kDecodeFailed;
    }
    return kDecodeOk;
}

int KeyFrameDecoder::Impl::prepareScaler(const AVFrame& frame) {
    ScalerInput input;
    input.width = frame.width;
    input.height = frame.height;
    input.fullRange = frame.color_range == AVCOL_RANGE_JPEG;
    input.format = withoutRange(static_cast<AVPixelFormat>(frame.format), input.fullRange);
    input.colorspace = scalerColorspace(frame.colorspace);
    if (scaler && input == scalerInput) {
        return kDecodeOk;
    }
    scaler.reset(sws_getContext(input.width, input.height, input.format, width, height,
                                AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) {
        return kDecodeFailed;
    }
    // Left alone, the scaler takes every YUV picture for limited-range BT.601.
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(input.format);
    if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB)) {
        sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(input.colorspace),
                                 input.fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                                 1 << 16, 1 << 16);
    }
    scalerInput = input;
    return kDecodeOk;
}

int KeyFrameDecoder::Impl::convert(std::vector<uint8_t>& out) {
    int result = prepareScaler(*picture);
    if (result != kDecodeOk) {
        return result;
    }
    const size_t rowBytes = size_t(width) * 3;
    if (!bgr) {
        // One extra row as well: some converters work on two rows at a time.
        bgrStride = static_cast<int>((rowBytes + 64 + 63) & ~size_t{63});
        bgr.reset(static_cast<uint8_t*>(av_malloc(size_t(bgrStride) * (size_t(height) + 1))));
        if (!bgr) {
            return kDecodeOutOfMemory;
        }
    }
    uint8_t* destination[4] = {bgr.get(), nullptr, nullptr, nullptr};
    int destinationStride[4] = {bgrStride, 0, 0, 0};
    if (sws_scale(scaler.get(), picture->data, picture->linesize, 0, picture->height, destination,
                  destinationStride) != height) {
        return kDecodeFailed;
    }
    try {
        out.resize(stride * size_t(height));
    } catch (const std::bad_alloc&) {
        return kDecodeOutOfMemory;
    }
    // Bottom-up: the picture's top row goes last.
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.data() + stride * size_t(height - 1 - y);
        std::memcpy(row, bgr.get() + size_t(bgrStride) * size_t(y), rowBytes);
        std::memset(row + rowBytes, 0, stride - rowBytes);
    }
    return kDecodeOk;
}

const char* decodeErrorText(int code) {
    switch (code) {
        case kDecodeOk:
            return "no error";
        case kDecodeUnknownCodec:
            return "the video codec is not supported";
        case kDecodeBadFormat:
            return "the video format is invalid";
        case kDecodeFailed:
            return "the video frame could not be decoded";
        case kDecodeNoPicture:
            return "the video frame holds no picture";
        case kDecodeOutOfMemory:
            return "out of memory while decoding a video frame";
        default:
            return "unknown decoding error";
    }
}

KeyFrameDecoder::KeyFrameDecoder() : impl(std::make_unique<Impl>()) {
    // A damaged frame is reported through our result codes; the library's own messages would
    // only clutter the terminal of every program that reads media.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

KeyFrameDecoder::~KeyFrameDecoder() = default;

int KeyFrameDecoder::open(uint32_t fourcc, int32_t width, int32_t height, const uint8_t* extradata,
                          size_t extradataSize) {
    impl->close();
    const AVCodecID codecId = codecFor(fourcc);
    const AVCodec* decoder = codecId == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(codecId);
    if (!decoder) {
        return kDecodeUnknownCodec;
    }
    const int64_t absHeight = std::abs(int64_t{height});
    if (width <= 0 || width > kMaxDimension || absHeight == 0 || absHeight > kMaxDimension ||
        extradataSize > kMaxExtradataSize || (extradataSize > 0 && !extradata)) {
        return kDecodeBadFormat;
    }

    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec(avcodec_alloc_context3(decoder));
    impl->packet.reset(av_packet_alloc());
    impl->picture.reset(av_frame_alloc());
    impl->spare.reset(av_frame_alloc());
    if (!codec || !impl->packet || !impl->picture || !impl->spare) {
        impl->close();
        return kDecodeOutOfMemory;
    }
    codec->codec_tag = fourcc;
    codec->width = width;
    codec->height = static_cast<int>(absHeight);
    // Frame threads only add delay when every frame is decoded on its own.
    codec->thread_count = 1;
    // Random bytes often pass for a frame of the msmpeg4 family; also requiring the picture to
    // end where its data ends rejects most of them, and every real key frame we have passes.
    codec->err_recognition |= AV_EF_BUFFER | AV_EF_EXPLODE;
    if (extradataSize > 0) {
        codec->extradata =
            static_cast<uint8_t*>(av_mallocz(extradataSize + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!codec->extradata) {
            impl->close();
            return kDecodeOutOfMemory;
        }
        std::memcpy(codec->extradata, extradata, extradataSize);
        codec->extradata_size = static_cast<int>(extradataSize);
    }
    const int result = avcodec_open2(codec.get(), decoder, nullptr);
    if (result < 0) {
        impl->close();
        return fromAvError(result);
    }
    impl->codec = std::move(codec);
    impl->width = width;
    impl->height = static_cast<int>(absHeight);
    impl->stride = (size_t(width) * 3 + 3) & ~size_t{3};
    return kDecodeOk;
}

int KeyFrameDecoder::decode(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    if (!impl->codec) {
        return kDecodeFailed;
    }
    if (!data || size == 0) {
        return kDecodeNoPicture;
    }
    if (size > kMaxFrameSize) {
        return kDecodeFailed;
    }
    int result = impl->decodePicture(data, size);
    if (result == kDecodeOk) {
        result = impl->convert(out);
    }
    av_frame_unref(impl->picture.get());
    return result;
}

int KeyFrameDecoder::width() const {
    return impl->width;
}

int KeyFrameDecoder::height() const {
    return impl->height;
}

size_t KeyFrameDecoder::stride() const {
    return impl->stride;
}

bool KeyFrameDecoder::supports(uint32_t fourcc) {
    const AVCodecID codecId = codecFor(fourcc);
    return codecId != AV_CODEC_ID_NONE && avcodec_find_decoder(codecId) != nullptr;
}

}  // namespace media
