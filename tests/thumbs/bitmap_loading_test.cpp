// Bitmaps made from the cache file: after a restore and removals, with the quota full, and on a
// preload thread that the document's owner and its destructor wait for.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/thread.h"
#include "thumbs/cache_file.h"
#include "thumbs/thumbs_test_support.h"

using namespace std::chrono_literals;
using testsupport::ScratchDir;
using thumbs::ThumbDocument;

namespace {

// A document restored from the index file of a six-key-frame file, and that file's records.
struct Restored {
    ScratchDir dir;
    std::unique_ptr<ThumbDocument> extracted, document;
    std::vector<std::vector<std::uint8_t>> records;

    Restored() {
        const std::string source = thumbtest::testMedium("wmv1_wmav1.wmv");
        if (!source.empty()) {
            extracted = thumbtest::extracted(source, dir.path(), true);
            records = thumbtest::records(extracted->cacheFilePath());
            document = std::make_unique<ThumbDocument>("", dir.path(), 0, 0, nullptr);
            document->loadIndexFile(extracted->indexFilePath());
        }
    }
};

}  // namespace

TEST(BitmapLoading, RestoredFramesShowTheirOwnThumbnailsAfterRemovals) {
    Restored restored;
    if (!restored.document) {
        GTEST_SKIP() << "no test media";
    }
    ThumbDocument& document = *restored.document;
    ASSERT_TRUE(document.ready);
    EXPECT_EQ(document.sourcePath(), restored.extracted->sourcePath());
    EXPECT_EQ(document.videoStream, restored.extracted->videoStream);
    EXPECT_EQ(document.frameStarts, restored.extracted->frameStarts);
    EXPECT_EQ(document.frameEnds, restored.extracted->frameEnds);
    ASSERT_EQ(restored.records.size(), 6u);
    document.removeFrame(0);
    document.removeFrame(1);  // the frame extracted third
    const std::vector<std::size_t> own = {1, 3, 4, 5};

    // Painting with room for two bitmaps: each load gives up the oldest one.
    const std::size_t saved = platform::setBitmapQuota(platform::liveBitmapCount() + 2);
    thumbs::CacheFile cacheFile;
    ASSERT_TRUE(cacheFile.openForReading(document.cacheFilePath()));
    for (std::size_t i = 0; i < own.size(); ++i) {
        document.loadBitmap(nullptr, static_cast<std::int32_t>(i), cacheFile);
        EXPECT_EQ(thumbtest::pixelsOf(document.frameBitmaps[i]), restored.records[own[i]]) << i;
    }
    platform::setBitmapQuota(saved);
    EXPECT_FALSE(document.frameBitmaps[0] || document.frameBitmaps[1]);
    EXPECT_EQ(document.createdBitmaps,
              (std::list<platform::Bitmap*>{document.frameBitmaps[2].get(),
                                            document.frameBitmaps[3].get()}));
    cacheFile.close();

    // The preload thread fills in the rest; once waited for, its bitmaps are the owner's.
    document.startPreload(platform::kNoThread, platform::kNoThread);
    document.waitForPreload();
    for (std::size_t i = 0; i < own.size(); ++i) {
        EXPECT_EQ(thumbtest::pixelsOf(document.frameBitmaps[i]), restored.records[own[i]]) << i;
    }
    EXPECT_EQ(document.createdBitmaps.size(), 4u);
}

TEST(BitmapLoading, ACacheFileShorterThanTheIndexIsNeverReadPast) {
    Restored restored;
    if (!restored.document) {
        GTEST_SKIP() << "no test media";
    }
    ThumbDocument& document = *restored.document;
    ASSERT_EQ(::truncate(document.cacheFilePath().c_str(), 2 * 57600 + 100), 0);
    EXPECT_FALSE(document.loadBitmaps(false));
    EXPECT_EQ(document.createdBitmaps.size(), 2u);
    thumbs::CacheFile cacheFile;
    ASSERT_TRUE(cacheFile.openForReading(document.cacheFilePath()));
    document.loadBitmap(nullptr, 2, cacheFile);
    EXPECT_FALSE(document.frameBitmaps[2]);
}

namespace {

// A thread that suspends itself and notes when it has been resumed.
struct Sleeper {
    std::atomic<bool> resumed{false};
    platform::Thread thread{[this] {
        platform::suspendThreadById(platform::currentThreadId());
        resumed = true;
    }};
    ~Sleeper() { platform::resumeThreadById(thread.id()); }
    bool eventuallyResumed() {
        for (int i = 0; i < 400 && !resumed; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        return resumed;
    }
};

// A restored document of many frames whose preload runs while the test looks on. (A cache
// file that blocks the open, a FIFO, is refused at once: only regular files are opened.)
struct RunningPreload {
    static constexpr int kFrames = 1000;
    ScratchDir dir;
    std::unique_ptr<ThumbDocument> document =
        std::make_unique<ThumbDocument>("", dir.path(), 0, 0, nullptr);
    Sleeper loader, worker;

    RunningPreload() {
        std::string index = "/v/clip.wmv\r\n1\r\n" + std::to_string(kFrames) + "\r\n";
        for (int i = 0; i <= kFrames; ++i) {
            index += std::to_string(i) + "\r\n";
        }
        thumbtest::writeFile(dir.path() + "clip.wmv-thum.txt", index);
        EXPECT_TRUE(document->loadIndexFile(dir.path() + "clip.wmv-thum.txt"));
        // Sparse: the records read as black without taking the disk's room.
        thumbtest::writeFile(document->cacheFilePath(), "");
        EXPECT_EQ(::truncate(document->cacheFilePath().c_str(), kFrames * 57600), 0);
        document->startPreload(loader.thread.id(), worker.thread.id());
    }
    // Runs `owner` while the preload runs; `check` sees the document right after it returns.
    template <class Owner, class Check>
    void expectWaitedFor(Owner owner, Check check) {
        owner();
        check();
        EXPECT_TRUE(loader.eventuallyResumed() && worker.eventuallyResumed());
    }
};

}  // namespace

TEST(Preload, TheOwnerWaitsForItBeforeTouchingTheDocument) {
    RunningPreload running;
    running.expectWaitedFor([&] { running.document->waitForPreload(); },
                            [&] {
                                // Over, and every frame has its bitmap.
                                EXPECT_FALSE(running.document->preloadRunning);
                                for (const auto& bitmap : running.document->frameBitmaps) {
                                    ASSERT_NE(bitmap, nullptr);
                                }
                            });
}

TEST(Preload, DestroyingTheDocumentWaitsForItThenDeletesBothCacheFiles) {
    RunningPreload running;
    const std::string path = running.dir.path();
    running.expectWaitedFor([&] { running.document.reset(); },
                            [&] { EXPECT_TRUE(thumbtest::namesIn(path).empty()); });
}
