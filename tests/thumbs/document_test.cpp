// The document model and its index file: the ranges a cut keeps, and what restores.

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "thumbs/thumbs_test_support.h"

using testsupport::ScratchDir;
using thumbs::MediaTime;
using thumbs::ThumbDocument;

namespace {

std::vector<MediaTime> rangesOf(const ThumbDocument& document) {
    MediaTime* array = nullptr;
    std::int32_t count = 0;
    document.getRanges(&array, &count);
    std::vector<MediaTime> values(array, array + count);
    std::free(array);
    return values;
}

void addFrames(ThumbDocument& document, std::vector<std::pair<MediaTime, MediaTime>> frames) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        document.appendFrame(frames[i].first, frames[i].second, nullptr,
                             static_cast<std::uint32_t>(i));
    }
}

}  // namespace

TEST(ThumbDocument, RangesAreTheRunsLeftByRemovalsOrTheSelection) {
    ScratchDir dir;
    ThumbDocument document("", dir.path(), 0, 0, nullptr);
    addFrames(document, {{0, 10}, {10, 25}, {40, 55}, {55, 70}});
    EXPECT_EQ(rangesOf(document), (std::vector<MediaTime>{0, 25, 40, 70}));
    // A plain click sets the anchor only: that is no selection.
    document.selectionAnchor = 2;
    EXPECT_EQ(rangesOf(document), (std::vector<MediaTime>{0, 25, 40, 70}));
    document.selectionEnd = 1;
    EXPECT_EQ(rangesOf(document), (std::vector<MediaTime>{10, 55}));
    std::swap(document.selectionAnchor, document.selectionEnd);
    EXPECT_EQ(rangesOf(document), (std::vector<MediaTime>{10, 55}));

    ThumbDocument three("", dir.path(), 0, 0, nullptr);
    addFrames(three, {{0, 10}, {10, 20}, {20, 30}});
    three.removeFrame(1);
    EXPECT_EQ(rangesOf(three), (std::vector<MediaTime>{0, 10, 20, 30}));
    three.removeFrame(0);
    three.removeFrame(0);
    MediaTime untouched = 0;
    MediaTime* array = &untouched;
    std::int32_t count = 7;
    three.getRanges(&array, &count);
    EXPECT_TRUE(array == &untouched && count == 7);
}

TEST(IndexFile, RestoresTheFramesAsWritten) {
    ScratchDir dir;
    const std::string index = dir.path() + "clip.wmv-thum.txt";
    // One frame: its start is line 4, its end line 5.
    thumbtest::writeFile(index, "/v/clip.wmv\r\n2\r\n1\r\n5\r\n9\r\n");
    ThumbDocument one("", dir.path(), 0, 0, nullptr);
    ASSERT_TRUE(one.loadIndexFile(index));
    EXPECT_EQ(one.cacheBase, dir.path() + "clip.wmv");
    EXPECT_EQ(one.frameStarts, std::vector<MediaTime>{5});
    EXPECT_EQ(one.frameEnds, std::vector<MediaTime>{9});
    // Written before the last frame ran to the end of the file: restored as it is.
    thumbtest::writeFile(index, "/v/clip.wmv\r\n2\r\n3\r\n0\r\n20\r\n45\r\n45\r\n");
    ThumbDocument old("", dir.path(), 0, 0, nullptr);
    ASSERT_TRUE(old.loadIndexFile(index));
    EXPECT_EQ(old.frameStarts, (std::vector<MediaTime>{0, 20, 45}));
    EXPECT_EQ(old.frameEnds, (std::vector<MediaTime>{20, 45, 45}));
    EXPECT_EQ(old.frameBitmaps.size(), 3u);
}

TEST(IndexFile, RejectsMalformedFilesAndSetsThemAsideWithTheirCacheFile) {
    ScratchDir dir;
    const std::string head = "/v/clip.wmv\r\n2\r\n";
    for (const std::string& text : std::vector<std::string>{
             "", head,                           // no count
             head + "-1\r\n0\r\n",               // negative count
             head + "three\r\n0\r\n1\r\n",       // not a number
             head + "0\r\n0\r\n",                // no frames
             head + "3\r\n0\r\n10\r\n",          // fewer values than the count
             head + "2147483648\r\n0\r\n1\r\n",  // more frames than an index reaches
             head + "1\r\n0\r\n10\r\n20\r\n",    // more values than the count
             head + "1\r\n0\r\n-10\r\n", head + "1\r\n0\r\n18446744073709551616\r\n",
             "/v/clip.wmv\r\n70000\r\n1\r\n0\r\n10\r\n",  // no such stream number
             "/v/other.wmv\r\n2\r\n1\r\n0\r\n10\r\n",     // another source's index
             head + "2\r\n0\r\n20\r\n4",                  // cut inside its last number
             head + "2\r\n0\r\n20\r\n40",                 // no final line end
             head + "2\r\n0\r\n20\r\n40\n",               // a bare line feed
             head + "3\r\n0\r\n20\r\n10\r\n40\r\n",       // a start time going back
             head + "1\r\n20\r\n10\r\n",                  // the last frame ends before it starts
         }) {
        SCOPED_TRACE(text);
        thumbtest::writeFile(dir.path() + "clip.wmv-thum.txt", text);
        thumbtest::writeFile(dir.path() + "clip.wmv.thum", std::string(57600, '\0'));
        {
            ThumbDocument document("", dir.path(), 0, 0, nullptr);
            EXPECT_FALSE(document.loadIndexFile(dir.path() + "clip.wmv-thum.txt"));
            EXPECT_FALSE(document.ready);
            EXPECT_TRUE(document.frameStarts.empty() && document.frameBitmaps.empty());
            EXPECT_EQ(document.sourcePath(), "");
        }
        EXPECT_EQ(
            thumbtest::namesIn(dir.path()),
            (std::vector<std::string>{"clip.wmv-thum.txt.rejected", "clip.wmv.thum.rejected"}));
        std::filesystem::remove(dir.path() + "clip.wmv-thum.txt.rejected");
        std::filesystem::remove(dir.path() + "clip.wmv.thum.rejected");
    }
}

TEST(IndexFile, EverySourceNameHasCacheNamesThatFitAndOldNamesStillRestore) {
    // Short names keep their own name for the first holder; others get a number.
    EXPECT_EQ(ThumbDocument::cacheNameFor("clip.wmv", 1), "clip.wmv");
    EXPECT_EQ(ThumbDocument::cacheNameFor("clip.wmv", 3), "clip.wmv-3");
    EXPECT_TRUE(ThumbDocument::isCacheNameOf("clip.wmv-3", "clip.wmv"));
    EXPECT_TRUE(ThumbDocument::isCacheNameOf("clip.wmv-2", "clip.wmv-2"));
    for (const char* other : {"clip.wmv-1", "clip.wmv-02", "clip.wmv-", "clip.wmv-x", "clip.wm"}) {
        EXPECT_FALSE(ThumbDocument::isCacheNameOf(other, "clip.wmv")) << other;
    }
    // Long names (here of three-byte characters) are shortened on a character boundary, with
    // a hash that tells two of them apart; the longest suffix and a variant still fit.
    std::string a, b;
    for (int i = 0; i < 90; ++i) {
        a += "\xE5\x8B\x95";  // 動
    }
    b = a + "2.wmv";
    a += "1.wmv";
    const std::string fa = ThumbDocument::cacheNameFor(a, 99999),
                      fb = ThumbDocument::cacheNameFor(b, 1);
    EXPECT_LE(fa.size() + std::string("-thum.txt").size(), 255u);
    EXPECT_NE(ThumbDocument::cacheNameFor(a, 1), fb);
    EXPECT_EQ(fb.substr(0, 3), "\xE5\x8B\x95");
    EXPECT_EQ(fb.find('~') % 3, 0u);
    EXPECT_TRUE(ThumbDocument::isCacheNameOf(fa, a));
    EXPECT_FALSE(ThumbDocument::isCacheNameOf(fb, a));
    // A long name an earlier run still wrote in full restores.
    ScratchDir dir;
    const std::string name = std::string(242, 'n') + ".wmv";
    thumbtest::writeFile(dir.path() + name + "-thum.txt",
                         "/v/" + name + "\r\n2\r\n1\r\n5\r\n9\r\n");
    ThumbDocument old("", dir.path(), 0, 0, nullptr);
    EXPECT_TRUE(old.loadIndexFile(dir.path() + name + "-thum.txt"));
}
