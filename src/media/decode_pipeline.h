#pragma once

// Decodes the key frames a synchronous reader hands out on worker threads, a few frames ahead
// of the caller, and gives the pictures back in the order the frames were submitted. Decoding
// dominates thumbnail extraction; with one decoder per worker the cores share it.
//
// The caller (one thread) submits frames and takes results. Workers pause between frames while
// the submitting thread is suspended, so pausing extraction pauses its decoding too.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "asf/stream_properties.h"
#include "media/wmsdk.h"
#include "platform/thread.h"

namespace media {

class DecodePipeline {
public:
    struct Frame {
        HRESULT hr = S_OK;
        std::vector<BYTE> picture;  // the decoded picture when hr succeeded
        // Carried through for the caller.
        QWORD time = 0;
        QWORD duration = 0;
        DWORD flags = 0;
        WORD stream = 0;
    };

    // The format of the stream whose key frames are decoded, and the size of the pictures
    // wanted (0 x 0: the stream's; see KeyFrameDecoder::open). `depth` frames at most are in
    // flight at once.
    DecodePipeline(const asf::VideoFormat& format, int pictureWidth, int pictureHeight,
                   unsigned workers, unsigned depth);
    ~DecodePipeline();
    DecodePipeline(const DecodePipeline&) = delete;
    DecodePipeline& operator=(const DecodePipeline&) = delete;

    // The bytes of one picture: bottom-up 24-bit rows padded to 4 bytes.
    std::size_t pictureBytes() const;
    bool full() const { return pending_ >= depth_; }
    bool empty() const { return pending_ == 0; }
    // Queues a compressed key frame.
    void submit(std::vector<BYTE> compressed, Frame meta);
    // Waits for the oldest queued frame and hands it out. Only when not empty().
    Frame takeOldest();

private:
    struct Slot {
        std::vector<BYTE> compressed;
        Frame frame;
        platform::ThreadId owner = platform::kNoThread;
        bool taken = false;
        bool done = false;
    };

    void work();

    const asf::VideoFormat format_;
    const int pictureWidth_;
    const int pictureHeight_;
    const unsigned depth_;
    unsigned pending_ = 0;  // used by the caller's thread only

    std::mutex lock_;  // guards slots_ and stopping_
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Slot>> slots_;
    bool stopping_ = false;
    std::vector<platform::Thread> workers_;
};

}  // namespace media
