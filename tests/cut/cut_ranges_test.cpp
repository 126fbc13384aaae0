#include "cli/cut_ranges.h"

#include <gtest/gtest.h>

using namespace cli;

namespace {
constexpr MediaTime kS = 10000000;
}

TEST(CutRanges, ParsesSecondsAndClockTimes) {
    EXPECT_EQ(parseTime("90"), 90 * kS);
    EXPECT_EQ(parseTime("90.25"), 90 * kS + kS / 4);
    EXPECT_EQ(parseTime("1:30"), 90 * kS);
    EXPECT_EQ(parseTime("0:01:30.250"), 90 * kS + kS / 4);
    EXPECT_EQ(parseTime("2:00:00"), 7200 * kS);
    for (const char* bad : {"", ".", "1:2:3:4", "x", "1:-3", "1:300:00", "-5", "1e3"}) {
        EXPECT_FALSE(parseTime(bad)) << bad;
    }
    EXPECT_EQ(parseTimeRange("60-300"), (TimeRange{60 * kS, 300 * kS}));
    EXPECT_FALSE(parseTimeRange("300-60"));
    EXPECT_FALSE(parseTimeRange("60"));
}

TEST(CutRanges, SnapToTheStretchesTheGridOffers) {
    std::vector<MediaTime> keys = {0, 2 * kS, 4 * kS, 6 * kS};
    MediaTime duration = 7 * kS;
    // Start down to its key frame, end up to the next one.
    EXPECT_EQ(snapRange({3 * kS, 5 * kS}, keys, duration), (TimeRange{2 * kS, 6 * kS}));
    // An end on a key frame stays; an end past the last key frame is the end of the file.
    EXPECT_EQ(snapRange({2 * kS, 4 * kS}, keys, duration), (TimeRange{2 * kS, 4 * kS}));
    EXPECT_EQ(snapRange({6 * kS + 1, 9 * kS}, keys, duration), (TimeRange{6 * kS, 7 * kS}));
    // Frames: the last one's stretch is included, the very last ends with the file.
    EXPECT_EQ(frameRange(1, 2, keys, duration), (TimeRange{2 * kS, 6 * kS}));
    EXPECT_EQ(frameRange(3, 3, keys, duration), (TimeRange{6 * kS, 7 * kS}));
    EXPECT_FALSE(frameRange(2, 1, keys, duration));
    EXPECT_FALSE(frameRange(0, 4, keys, duration));
    EXPECT_FALSE(snapRange({0, kS}, {}, duration));
    // A start before the first key frame goes out to the start of the file.
    EXPECT_EQ(snapRange({kS / 2, 3 * kS}, {kS, 2 * kS, 4 * kS}, duration), (TimeRange{0, 4 * kS}));
    EXPECT_EQ(parseFrameRange("3-12"), std::make_pair(std::size_t{3}, std::size_t{12}));
    EXPECT_FALSE(parseFrameRange("3-"));
    EXPECT_FALSE(parseFrameRange("a-2"));
}

TEST(CutRanges, RefuseTimesTooLargeToHoldAndRangesThatStartPastTheEnd) {
    // Each of these wrapped around 2^64 to a small time once.
    for (const char* huge : {"1844674407371", "1844674407370.9551617", "512409558:00:00",
                             "512409557:59:59", "99999999999999999999", "30744573457:00"}) {
        EXPECT_FALSE(parseTime(huge)) << huge;
    }
    EXPECT_EQ(parseTime("1844674407370.955161"), 18446744073709551610u);
    EXPECT_EQ(parseTimeRange("5-"), (TimeRange{5 * kS, kEndOfFile}));
    std::vector<MediaTime> keys = {0, 2 * kS, 4 * kS};
    EXPECT_EQ(snapRange({3 * kS, kEndOfFile}, keys, 5 * kS), (TimeRange{2 * kS, 5 * kS}));
    EXPECT_FALSE(snapRange({5 * kS, 6 * kS}, keys, 5 * kS));
    EXPECT_FALSE(snapRange({9 * kS, 12 * kS}, keys, 5 * kS));
}

TEST(CutRanges, DeletingKeepsWhatLiesBetweenTheDeletedStretches) {
    std::vector<MediaTime> keys = {kS, 2 * kS, 4 * kS, 6 * kS};
    MediaTime duration = 8 * kS;
    // Out of order and overlapping; the first stretch keeps what plays before the first key
    // frame, also when the first key frame's stretch is deleted.
    EXPECT_EQ(complement({{4 * kS, 6 * kS}, {2 * kS, 4 * kS}, {3 * kS, 5 * kS}}, keys, duration),
              (std::vector<TimeRange>{{0, 2 * kS}, {6 * kS, 8 * kS}}));
    EXPECT_EQ(complement({{kS, 2 * kS}, {6 * kS, 8 * kS}}, keys, duration),
              (std::vector<TimeRange>{{0, kS}, {2 * kS, 6 * kS}}));
    EXPECT_TRUE(complement({{0, 8 * kS}}, keys, duration).empty());
}
