#include "media/keyframe_decoder.h"

#include <algorithm>
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

#include "asf/stream_properties.h"

namespace media {

namespace {

// Larger pictures are taken for a damaged header rather than a real stream.
constexpr int64_t kMaxDimension = 16384;
// Codec set-up data is a sequence header, a palette or a parameter-set record: a few bytes to a
// few kilobytes. More than this means a broken stream header.
constexpr size_t kMaxExtradataSize = size_t{1} << 20;
// libavcodec copies each packet into a padded buffer whose size must fit in an int.
constexpr size_t kMaxFrameSize = INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE;

struct CodecForFourcc {
    uint32_t fourcc;  // upper case
    AVCodecID codec;
};

// The video codecs found in ASF files, keyed by their upper-case FourCC.
constexpr CodecForFourcc kCodecs[] = {
    {asf::fourccCode("WMV1"), AV_CODEC_ID_WMV1},
    {asf::fourccCode("WMV2"), AV_CODEC_ID_WMV2},
    {asf::fourccCode("WMV3"), AV_CODEC_ID_WMV3},
    {asf::fourccCode("WMVP"), AV_CODEC_ID_WMV3IMAGE},
    {asf::fourccCode("WVC1"), AV_CODEC_ID_VC1},
    {asf::fourccCode("WMVA"), AV_CODEC_ID_VC1},
    {asf::fourccCode("WVP2"), AV_CODEC_ID_VC1IMAGE},
    {asf::fourccCode("MSS1"), AV_CODEC_ID_MSS1},
    {asf::fourccCode("MSS2"), AV_CODEC_ID_MSS2},
    {asf::fourccCode("MP43"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("DIV3"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("DIV4"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("DIV5"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("DIV6"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("MPG3"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("DVX3"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("AP41"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("COL1"), AV_CODEC_ID_MSMPEG4V3},
    {asf::fourccCode("MP42"), AV_CODEC_ID_MSMPEG4V2},
    {asf::fourccCode("DIV2"), AV_CODEC_ID_MSMPEG4V2},
    {asf::fourccCode("MPG4"), AV_CODEC_ID_MSMPEG4V1},
    {asf::fourccCode("MP41"), AV_CODEC_ID_MSMPEG4V1},
    {asf::fourccCode("DIV1"), AV_CODEC_ID_MSMPEG4V1},
    {asf::fourccCode("MP4S"), AV_CODEC_ID_MPEG4},
    {asf::fourccCode("M4S2"), AV_CODEC_ID_MPEG4},
    {asf::fourccCode("MP4V"), AV_CODEC_ID_MPEG4},
    {asf::fourccCode("XVID"), AV_CODEC_ID_MPEG4},
    {asf::fourccCode("DIVX"), AV_CODEC_ID_MPEG4},
    {asf::fourccCode("DX50"), AV_CODEC_ID_MPEG4},
    {asf::fourccCode("FMP4"), AV_CODEC_ID_MPEG4},
    {asf::fourccCode("H264"), AV_CODEC_ID_H264},
    {asf::fourccCode("X264"), AV_CODEC_ID_H264},
    {asf::fourccCode("AVC1"), AV_CODEC_ID_H264},
    {asf::fourccCode("MJPG"), AV_CODEC_ID_MJPEG},
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

DecodeError fromAvError(int error) {
    return error == AVERROR(ENOMEM) ? DecodeError::OutOfMemory : DecodeError::Failed;
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

// A scaler and what it was built for; rebuilt when a picture differs in any of these.
struct Scaler {
    std::unique_ptr<SwsContext, ScalerDeleter> context;
    ScalerInput input;
    int outputWidth = 0;
    int outputHeight = 0;
};

// Whether the picture format is 8-bit YUV with one plane per component, whose samples can be
// picked one by one.
bool isPlanarYuv8(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (!d || d->nb_components != 3 ||
        (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                     AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BE)) ||
        !(d->flags & AV_PIX_FMT_FLAG_PLANAR)) {
        return false;
    }
    for (int c = 0; c < 3; ++c) {
        if (d->comp[c].plane != c || d->comp[c].depth != 8 || d->comp[c].step != 1 ||
            d->comp[c].shift != 0 || d->comp[c].offset != 0) {
            return false;
        }
    }
    return true;
}

// Source index of each output position, nearest neighbour: trunc(i * from / to).
void pickPositions(int from, int to, std::vector<int>& positions) {
    positions.resize(size_t(to));
    const double step = static_cast<double>(from) / to;
    for (int i = 0; i < to; ++i) {
        positions[size_t(i)] = std::min(from - 1, static_cast<int>(step * i));
    }
}

}  // namespace

struct KeyFrameDecoder::Impl {
    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec;
    std::unique_ptr<AVPacket, PacketDeleter> packet;
    // The first picture the current frame produced; unreferenced after each decode().
    std::unique_ptr<AVFrame, FrameDeleter> picture;
    // Receives any further pictures, which are dropped.
    std::unique_ptr<AVFrame, FrameDeleter> spare;

    // Converts a whole decoded picture to BGR at the stream's size.
    Scaler scaler;
    // Converts the picked pixels (a YUV 4:4:4 picture at the output size) to BGR.
    Scaler pickedScaler;

    // The scaler writes top-down rows here, spaced wider than the output's: its vector code
    // writes whole groups of pixels past a row's end, and leaves out a row's last pixels when
    // the stride has no room for such a group.
    std::unique_ptr<uint8_t, AvMemoryDeleter> bgr;
    int bgrStride = 0;
    // The picked pixels, three planes of pickedStride * (height + 1) bytes.
    std::unique_ptr<uint8_t, AvMemoryDeleter> picked;
    int pickedStride = 0;
    // A whole picture at the stream's size, when the output is smaller and cannot be picked
    // from the planes.
    std::vector<uint8_t> whole;

    int streamWidth = 0;
    int streamHeight = 0;
    int width = 0;  // the output's
    int height = 0;
    size_t stride = 0;
    bool direct = true;

    void close();
    DecodeError decodePicture(const uint8_t* data, size_t size);
    int receivePictures();
    DecodeError prepareScaler(Scaler& target, AVPixelFormat format, int inputWidth, int inputHeight,
                              int outputWidth, int outputHeight);
    DecodeError toBgr(Scaler& target, const uint8_t* const data[4], const int linesize[4],
                      int inputHeight, int outputWidth, int outputHeight, size_t outStride,
                      std::vector<uint8_t>& out);
    DecodeError convertWhole(int outputWidth, int outputHeight, size_t outStride,
                             std::vector<uint8_t>& out);
    DecodeError convertPicked(std::vector<uint8_t>& out);
    DecodeError convert(std::vector<uint8_t>& out);
};

void KeyFrameDecoder::Impl::close() {
    codec.reset();
    packet.reset();
    picture.reset();
    spare.reset();
    scaler = Scaler();
    pickedScaler = Scaler();
    bgr.reset();
    bgrStride = 0;
    picked.reset();
    pickedStride = 0;
    whole = std::vector<uint8_t>();
    streamWidth = 0;
    streamHeight = 0;
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
DecodeError KeyFrameDecoder::Impl::decodePicture(const uint8_t* data, size_t size) {
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
        return result < 0 ? fromAvError(result) : DecodeError::NoPicture;
    }
    // A picture with concealed parts came from damaged or cut-off data, and one that is not
    // intra-coded only holds changes to a picture we do not have: neither shows the frame.
    const bool intra = frame.key_frame || frame.pict_type == AV_PICTURE_TYPE_I;
    if (frame.decode_error_flags != 0 || (frame.flags & AV_FRAME_FLAG_CORRUPT) || !intra) {
        av_frame_unref(picture.get());
        return DecodeError::Failed;
    }
    return DecodeError::Ok;
}

DecodeError KeyFrameDecoder::Impl::prepareScaler(Scaler& target, AVPixelFormat format,
                                                 int inputWidth, int inputHeight, int outputWidth,
                                                 int outputHeight) {
    const AVFrame& frame = *picture;
    ScalerInput input;
    input.width = inputWidth;
    input.height = inputHeight;
    input.fullRange = frame.color_range == AVCOL_RANGE_JPEG;
    input.format = withoutRange(format, input.fullRange);
    input.colorspace = scalerColorspace(frame.colorspace);
    if (target.context && input == target.input && target.outputWidth == outputWidth &&
        target.outputHeight == outputHeight) {
        return DecodeError::Ok;
    }
    // A picture converted at its own size is taken pixel for pixel; the fast bilinear filter
    // would blend each pixel with its neighbour.
    const int method =
        input.width == outputWidth && input.height == outputHeight ? SWS_POINT : SWS_FAST_BILINEAR;
    target.context.reset(sws_getContext(input.width, input.height, input.format, outputWidth,
                                        outputHeight, AV_PIX_FMT_BGR24, method, nullptr, nullptr,
                                        nullptr));
    if (!target.context) {
        return DecodeError::Failed;
    }
    // Left alone, the scaler takes every YUV picture for limited-range BT.601.
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(input.format);
    if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB)) {
        sws_setColorspaceDetails(target.context.get(), sws_getCoefficients(input.colorspace),
                                 input.fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 1, 0,
                                 1 << 16, 1 << 16);
    }
    target.input = input;
    target.outputWidth = outputWidth;
    target.outputHeight = outputHeight;
    return DecodeError::Ok;
}

// Scales the picture with the prepared scaler into `out` as bottom-up rows of outStride bytes.
DecodeError KeyFrameDecoder::Impl::toBgr(Scaler& target, const uint8_t* const data[4],
                                         const int linesize[4], int inputHeight, int outputWidth,
                                         int outputHeight, size_t outStride,
                                         std::vector<uint8_t>& out) {
    const size_t rowBytes = size_t(outputWidth) * 3;
    // One extra row as well: some converters work on two rows at a time.
    const int rowSpacing = static_cast<int>((rowBytes + 64 + 63) & ~size_t{63});
    if (!bgr || rowSpacing > bgrStride) {
        bgrStride = std::max(rowSpacing, static_cast<int>((size_t(streamWidth) * 3 + 127) & ~63));
        bgr.reset(static_cast<uint8_t*>(
            av_malloc(size_t(bgrStride) * (size_t(std::max(streamHeight, outputHeight)) + 1))));
        if (!bgr) {
            bgrStride = 0;
            return DecodeError::OutOfMemory;
        }
    }
    uint8_t* destination[4] = {bgr.get(), nullptr, nullptr, nullptr};
    int destinationStride[4] = {bgrStride, 0, 0, 0};
    if (sws_scale(target.context.get(), data, linesize, 0, inputHeight, destination,
                  destinationStride) != outputHeight) {
        return DecodeError::Failed;
    }
    try {
        out.resize(outStride * size_t(outputHeight));
    } catch (const std::bad_alloc&) {
        return DecodeError::OutOfMemory;
    }
    // Bottom-up: the picture's top row goes last.
    for (int y = 0; y < outputHeight; ++y) {
        uint8_t* row = out.data() + outStride * size_t(outputHeight - 1 - y);
        std::memcpy(row, bgr.get() + size_t(bgrStride) * size_t(y), rowBytes);
        std::memset(row + rowBytes, 0, outStride - rowBytes);
    }
    return DecodeError::Ok;
}

DecodeError KeyFrameDecoder::Impl::convertWhole(int outputWidth, int outputHeight, size_t outStride,
                                                std::vector<uint8_t>& out) {
    const AVFrame& frame = *picture;
    DecodeError result = prepareScaler(scaler, static_cast<AVPixelFormat>(frame.format),
                                       frame.width, frame.height, outputWidth, outputHeight);
    if (result != DecodeError::Ok) {
        return result;
    }
    return toBgr(scaler, frame.data, frame.linesize, frame.height, outputWidth, outputHeight,
                 outStride, out);
}

// Picks the output's pixels from the decoded planes into a small YUV 4:4:4 picture and converts
// only that.
DecodeError KeyFrameDecoder::Impl::convertPicked(std::vector<uint8_t>& out) {
    const AVFrame& frame = *picture;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (!picked) {
        pickedStride = (width + 63) & ~63;
        picked.reset(static_cast<uint8_t*>(av_malloc(size_t(pickedStride) * (height + 1) * 3)));
        if (!picked) {
            return DecodeError::OutOfMemory;
        }
    }
    std::vector<int> columns, rows;
    pickPositions(frame.width, width, columns);
    pickPositions(frame.height, height, rows);  // counted from the bottom
    const size_t planeBytes = size_t(pickedStride) * (height + 1);
    uint8_t* planes[4] = {picked.get(), picked.get() + planeBytes, picked.get() + 2 * planeBytes,
                          nullptr};
    int strides[4] = {pickedStride, pickedStride, pickedStride, 0};
    // Chroma is taken from the sample that covers the picked pixel, as the conversion of the
    // whole picture does.
    for (int y = 0; y < height; ++y) {
        const int sourceRow = frame.height - 1 - rows[size_t(height - 1 - y)];  // top-down
        for (int c = 0; c < 3; ++c) {
            const int shiftX = c == 0 ? 0 : d->log2_chroma_w;
            const int shiftY = c == 0 ? 0 : d->log2_chroma_h;
            const uint8_t* from =
                frame.data[c] + ptrdiff_t(sourceRow >> shiftY) * frame.linesize[c];
            uint8_t* to = planes[c] + size_t(pickedStride) * size_t(y);
            for (int x = 0; x < width; ++x) {
                to[x] = from[columns[size_t(x)] >> shiftX];
            }
        }
    }
    DecodeError result =
        prepareScaler(pickedScaler, AV_PIX_FMT_YUV444P, width, height, width, height);
    if (result != DecodeError::Ok) {
        return result;
    }
    return toBgr(pickedScaler, planes, strides, height, width, height, stride, out);
}

DecodeError KeyFrameDecoder::Impl::convert(std::vector<uint8_t>& out) {
    if (width == streamWidth && height == streamHeight) {
        return convertWhole(width, height, stride, out);
    }
    if (direct && isPlanarYuv8(static_cast<AVPixelFormat>(picture->format))) {
        return convertPicked(out);
    }
    // The whole picture at the stream's size, then its nearest pixels.
    const size_t wholeStride = (size_t(streamWidth) * 3 + 3) & ~size_t{3};
    DecodeError result = convertWhole(streamWidth, streamHeight, wholeStride, whole);
    if (result != DecodeError::Ok) {
        return result;
    }
    try {
        out.resize(stride * size_t(height));
    } catch (const std::bad_alloc&) {
        return DecodeError::OutOfMemory;
    }
    std::vector<int> columns, rows;
    pickPositions(streamWidth, width, columns);
    pickPositions(streamHeight, height, rows);
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = whole.data() + wholeStride * size_t(rows[size_t(y)]);
        uint8_t* to = out.data() + stride * size_t(y);
        for (int x = 0; x < width; ++x) {
            std::memcpy(to + 3 * x, from + 3 * columns[size_t(x)], 3);
        }
        std::memset(to + size_t(width) * 3, 0, stride - size_t(width) * 3);
    }
    return DecodeError::Ok;
}

KeyFrameDecoder::KeyFrameDecoder() : impl(std::make_unique<Impl>()) {
    // A damaged frame is reported through our result codes; the library's own messages would
    // only clutter the terminal of every program that reads media.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

KeyFrameDecoder::~KeyFrameDecoder() = default;

DecodeError KeyFrameDecoder::open(uint32_t fourcc, int32_t width, int32_t height,
                                  const uint8_t* extradata, size_t extradataSize, int outputWidth,
                                  int outputHeight, ReducedDecoding reduced) {
    impl->close();
    const AVCodecID codecId = codecFor(fourcc);
    const AVCodec* decoder = codecId == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(codecId);
    if (!decoder) {
        return DecodeError::UnknownCodec;
    }
    const int64_t absHeight = std::abs(int64_t{height});
    if (width <= 0 || width > kMaxDimension || absHeight == 0 || absHeight > kMaxDimension ||
        extradataSize > kMaxExtradataSize || (extradataSize > 0 && !extradata) || outputWidth < 0 ||
        outputWidth > kMaxDimension || outputHeight < 0 || outputHeight > kMaxDimension ||
        (outputWidth == 0) != (outputHeight == 0)) {
        return DecodeError::BadFormat;
    }
    if (outputWidth == 0) {
        outputWidth = width;
        outputHeight = static_cast<int>(absHeight);
    }
    const bool smaller = outputWidth < width && outputHeight < absHeight;

    std::unique_ptr<AVCodecContext, CodecContextDeleter> codec(avcodec_alloc_context3(decoder));
    impl->packet.reset(av_packet_alloc());
    impl->picture.reset(av_frame_alloc());
    impl->spare.reset(av_frame_alloc());
    if (!codec || !impl->packet || !impl->picture || !impl->spare) {
        impl->close();
        return DecodeError::OutOfMemory;
    }
    codec->codec_tag = fourcc;
    codec->width = width;
    codec->height = static_cast<int>(absHeight);
    // Frame threads only add delay when every frame is decoded on its own.
    codec->thread_count = 1;
    // Random bytes often pass for a frame of the msmpeg4 family; also requiring the picture to
    // end where its data ends rejects most of them, and every real key frame we have passes.
    codec->err_recognition |= AV_EF_BUFFER | AV_EF_EXPLODE;
    if (smaller && reduced.lowres) {
        int lowres = 0;
        while (lowres < decoder->max_lowres && (width >> (lowres + 1)) >= outputWidth &&
               (absHeight >> (lowres + 1)) >= outputHeight) {
            ++lowres;
        }
        codec->lowres = lowres;
    }
    if (smaller && reduced.skipLoopFilter) {
        codec->skip_loop_filter = AVDISCARD_ALL;
    }
    if (extradataSize > 0) {
        codec->extradata =
            static_cast<uint8_t*>(av_mallocz(extradataSize + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!codec->extradata) {
            impl->close();
            return DecodeError::OutOfMemory;
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
    impl->streamWidth = width;
    impl->streamHeight = static_cast<int>(absHeight);
    impl->width = outputWidth;
    impl->height = outputHeight;
    impl->stride = (size_t(outputWidth) * 3 + 3) & ~size_t{3};
    impl->direct = reduced.direct;
    return DecodeError::Ok;
}

DecodeError KeyFrameDecoder::decode(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    if (!impl->codec) {
        return DecodeError::Failed;
    }
    if (!data || size == 0) {
        return DecodeError::NoPicture;
    }
    if (size > kMaxFrameSize) {
        return DecodeError::Failed;
    }
    DecodeError result = impl->decodePicture(data, size);
    if (result == DecodeError::Ok) {
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
