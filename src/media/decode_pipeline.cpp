#include "media/decode_pipeline.h"

#include <cstdlib>

#include "media/keyframe_decoder.h"

namespace media {

namespace {

HRESULT hresultFromDecode(DecodeError rc) {
    switch (rc) {
        case DecodeError::Ok:
            return S_OK;
        case DecodeError::UnknownCodec:
            return ASF_E_BADMEDIATYPE;
        case DecodeError::OutOfMemory:
            return E_OUTOFMEMORY;
        default:
            return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
}

}  // namespace

DecodePipeline::DecodePipeline(const asf::VideoFormat& format, int pictureWidth, int pictureHeight,
                               unsigned workers, unsigned depth)
    : format_(format),
      pictureWidth_(pictureWidth),
      pictureHeight_(pictureHeight),
      depth_(depth == 0 ? 1 : depth) {
    for (unsigned i = 0; i < (workers == 0 ? 1 : workers); ++i) {
        workers_.emplace_back([this] { work(); });
    }
}

DecodePipeline::~DecodePipeline() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (platform::Thread& t : workers_) {
        t.join();
    }
}

std::size_t DecodePipeline::pictureBytes() const {
    const std::int64_t width = pictureWidth_ > 0 ? pictureWidth_ : format_.width;
    const std::int64_t height =
        pictureHeight_ > 0 ? pictureHeight_ : std::abs(std::int64_t{format_.height});
    return static_cast<std::size_t>(((width * 3 + 3) & ~std::int64_t{3}) * height);
}

void DecodePipeline::submit(std::vector<BYTE> compressed, Frame meta) {
    auto slot = std::make_shared<Slot>();
    slot->compressed = std::move(compressed);
    slot->frame = std::move(meta);
    slot->owner = platform::currentThreadId();
    {
        std::lock_guard<std::mutex> guard(lock_);
        slots_.push_back(std::move(slot));
    }
    ++pending_;
    changed_.notify_all();
}

DecodePipeline::Frame DecodePipeline::takeOldest() {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return !slots_.empty() && slots_.front()->done; });
    std::shared_ptr<Slot> slot = std::move(slots_.front());
    slots_.pop_front();
    --pending_;
    return std::move(slot->frame);
}

void DecodePipeline::work() {
    KeyFrameDecoder decoder;
    const DecodeError opened =
        decoder.open(format_.compression, format_.width, format_.height, format_.extradata.data(),
                     format_.extradata.size(), pictureWidth_, pictureHeight_);
    for (;;) {
        std::shared_ptr<Slot> slot;
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] {
                if (stopping_) {
                    return true;
                }
                for (const auto& s : slots_) {
                    if (!s->taken) {
                        return true;
                    }
                }
                return false;
            });
            if (stopping_) {
                return;
            }
            for (const auto& s : slots_) {
                if (!s->taken) {
                    s->taken = true;
                    slot = s;
                    break;
                }
            }
        }
        platform::waitWhileSuspended(slot->owner);
        DecodeError rc = opened;
        if (rc == DecodeError::Ok) {
            rc = decoder.decode(slot->compressed.data(), slot->compressed.size(),
                                slot->frame.picture);
        }
        // A stream the decoder cannot be set up for is refused as a whole; only a frame that
        // fails on its own is damaged data.
        slot->frame.hr = opened == DecodeError::Failed || opened == DecodeError::BadFormat
                             ? ASF_E_BADMEDIATYPE
                             : hresultFromDecode(rc);
        slot->compressed = std::vector<BYTE>();
        {
            std::lock_guard<std::mutex> guard(lock_);
            slot->done = true;
        }
        changed_.notify_all();
    }
}

}  // namespace media
