#pragma once

// Decodes single key frames of an ASF video stream into the bitmaps the thumbnail maker draws.
//
// Every key frame is decoded on its own: whatever the codec buffers (reordering delay, reference
// pictures) is drained and cleared after each frame, so the frames can be asked for in any order.
// The output is 24-bit BGR, bottom-up (the first row in memory is the bottom row of the
// picture), each row padded with zero bytes to a multiple of four, at the size the stream's
// BITMAPINFOHEADER declares.
//
// A decoder is used by one thread at a time; separate decoders are independent of each other.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace media {

// How opening a stream or decoding a frame ended.
enum class DecodeError {
    Ok,
    UnknownCodec,
    BadFormat,
    Failed,
    NoPicture,
    OutOfMemory,
};

// How a decoder that makes pictures smaller than the stream's gets there. Each can be turned on
// or off to measure what it gives (bench/thumbnail_levers_bench).
struct ReducedDecoding {
    // Decode at a half, quarter or eighth of the size where the codec can and the result is
    // still at least the output size. Off by default: it saves a sixth of the time on the
    // MPEG-4 family and WMV7, but its pictures are the reduced transform's, visibly softer than
    // the nearest pixels of the whole picture (PSNR 21 to 23 dB against them).
    bool lowres = false;
    // Leave out the codec's in-loop deblocking: key frames are decoded on their own, so nothing
    // later is predicted from the unfiltered picture, and the filter's edges do not survive the
    // reduction.
    bool skipLoopFilter = true;
    // Pick the output's pixels from the decoder's planes and convert only those, instead of
    // converting the whole picture first.
    bool direct = true;
};

class KeyFrameDecoder {
public:
    KeyFrameDecoder();
    ~KeyFrameDecoder();
    KeyFrameDecoder(const KeyFrameDecoder&) = delete;
    KeyFrameDecoder& operator=(const KeyFrameDecoder&) = delete;

    // Sets the decoder up for one stream. fourcc is BITMAPINFOHEADER.biCompression as stored
    // (first character in the low byte; letter case does not matter), width and height are
    // biWidth and biHeight (a negative height only marks a top-down bitmap), and extradata is
    // whatever follows the 40-byte BITMAPINFOHEADER (may be null when extradataSize is 0). The
    // bytes are copied. Opening again replaces the previous stream; after a failure the decoder
    // is closed. Returns Ok, UnknownCodec, BadFormat (size 0 or above
    // 16384, oversized extradata), Failed (the codec refused the set-up) or
    // OutOfMemory.
    //
    // With outputWidth and outputHeight (both above 0), decode() gives pictures of that size
    // instead: each output pixel (x, y), counted from the bottom-left, is the picture's pixel
    // (trunc(x * W / outputWidth), trunc(y * H / outputHeight)), W and H being the size the
    // picture was decoded at (the stream's, or a reduced one, see ReducedDecoding).
    DecodeError open(uint32_t fourcc, int32_t width, int32_t height, const uint8_t* extradata,
                     size_t extradataSize, int outputWidth = 0, int outputHeight = 0,
                     ReducedDecoding reduced = ReducedDecoding());

    // Decodes one complete compressed key frame (a whole media object) and fills `out` with
    // stride() * height() bytes. Returns Ok, DecodeError::Failed (not open; damaged or
    // truncated data; a frame that is not intra-coded), DecodeError::NoPicture (the data held no
    // picture, e.g. empty input) or DecodeError::OutOfMemory. On failure `out` is left with
    // unspecified contents. Random bytes are mostly, but not always, refused: codecs without
    // checksums can take them for a frame.
    DecodeError decode(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

    // The output geometry; 0 until open() succeeds.
    int width() const;
    int height() const;
    size_t stride() const;

    // Whether open() knows the codec behind this FourCC (and the library has its decoder).
    static bool supports(uint32_t fourcc);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace media
