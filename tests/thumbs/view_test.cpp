// The grid view on documents of the demo file's 15 key frames: geometry, scrolling, clicks,
// keys and deletions, and the pictures painted, checked pixel by pixel against the thumbnails.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <tuple>
#include <utility>

#include "harness/fake_window.h"
#include "platform/paint_context.h"
#include "thumbs/cache_file.h"
#include "thumbs/thumbs_test_support.h"

using platform::RasterPaintContext;
using testsupport::ScratchDir;
using thumbs::ThumbDocument;
using Record = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kBackground = 0x010203;
constexpr std::int16_t kShiftHeld = -32768;

class GridView : public ::testing::Test {
protected:
    // The demo file extracted once, with bitmaps; its cache files are copied for each restore.
    static void SetUpTestSuite() {
        const std::string source = thumbtest::testMedium("demo.wmv");
        if (source.empty()) {
            return;
        }
        extractDir_ = new ScratchDir;
        extracted_ = thumbtest::extracted(source, extractDir_->path(), false).release();
        records_ = thumbtest::records(extracted_->cacheFilePath());
    }
    static void TearDownTestSuite() {
        delete extracted_;
        delete extractDir_;
    }
    void SetUp() override {
        if (!extracted_ || !extracted_->ready || records_.size() != 15) {
            GTEST_SKIP() << "no test media";
        }
    }

    // The first `frames` frames, restored from a copy of the index file (no bitmaps: painting
    // loads them from the cache file), laid out in a width x height client area.
    std::unique_ptr<ThumbDocument> restored(std::size_t frames, std::int32_t width,
                                            std::int32_t height) {
        for (const std::string& path : {extracted_->cacheFilePath(), extracted_->indexFilePath()}) {
            std::filesystem::copy_file(
                path, dir_.path() + std::filesystem::path(path).filename().string(),
                std::filesystem::copy_options::overwrite_existing);
        }
        auto document = std::make_unique<ThumbDocument>("", dir_.path(), 0, 0, nullptr);
        const std::string index = std::filesystem::path(extracted_->indexFilePath()).filename();
        EXPECT_TRUE(document->loadIndexFile(dir_.path() + index));
        while (document->frameStarts.size() > frames) {
            document->removeFrame(static_cast<std::int32_t>(document->frameStarts.size() - 1));
        }
        document->layout(&window_, width, height);
        window_.clearViewCalls();
        return document;
    }

    static RasterPaintContext painted(ThumbDocument& document) {
        RasterPaintContext picture(document.clientWidth, document.clientHeight, 1, 2, 3);
        document.paint(nullptr, picture);
        return picture;
    }

    static void click(ThumbDocument& document, std::int32_t frame, std::uint32_t shift = 0) {
        const std::int32_t cell = frame - document.topRow * document.columns;
        document.onLButtonDown(
            nullptr, static_cast<std::int16_t>(cell % document.columns * 160 + 80),
            static_cast<std::int16_t>(cell / document.columns * 120 + 60), shift);
    }

    static ScratchDir* extractDir_;
    static ThumbDocument* extracted_;
    static std::vector<Record> records_;
    ScratchDir dir_;
    testsupport::FakeWindow window_;
};

ScratchDir* GridView::extractDir_ = nullptr;
ThumbDocument* GridView::extracted_ = nullptr;
std::vector<Record> GridView::records_;

// The 160 x 120 cell at (x, y), as far as the picture holds it: the thumbnail's pixels upright,
// its two outermost rings in `ring` when given.
::testing::AssertionResult showsCell(const RasterPaintContext& picture, std::int32_t x,
                                     std::int32_t y, const Record& record,
                                     std::optional<std::uint32_t> ring = std::nullopt) {
    for (std::int32_t cy = 0; cy < 120 && y + cy < picture.height(); ++cy) {
        for (std::int32_t cx = 0; cx < 160 && x + cx < picture.width(); ++cx) {
            const std::uint8_t* bgr = &record[(119 - cy) * 480 + cx * 3];
            std::uint32_t expected = bgr[2] << 16 | bgr[1] << 8 | bgr[0];
            if (ring && (cx < 2 || cx >= 158 || cy < 2 || cy >= 118)) {
                expected = *ring;
            }
            if (picture.pixel(x + cx, y + cy) != expected) {
                return ::testing::AssertionFailure()
                       << "cell at (" << x << ", " << y << "), pixel (" << cx << ", " << cy
                       << "): " << std::hex << picture.pixel(x + cx, y + cy) << " instead of "
                       << expected;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// The first `count` cells of a five-column grid from the top left: cell i shows the record
// extracted `recordOf(i)`-th, ringed in blue when `selected(i)`, in red when it is `cursor`.
template <typename RecordOf, typename Selected>
void expectGrid(const RasterPaintContext& picture, const std::vector<Record>& records,
                std::int32_t count, RecordOf recordOf, Selected selected, std::int32_t cursor) {
    for (std::int32_t i = 0; i < count; ++i) {
        const auto ring = selected(i)   ? std::optional(kBlue)
                          : i == cursor ? std::optional(kRed)
                                        : std::nullopt;
        EXPECT_TRUE(showsCell(picture, i % 5 * 160, i / 5 * 120, records[recordOf(i)], ring))
            << "cell " << i;
    }
}

// Nothing painted in the area from (left, top) to the picture's right and bottom edges.
::testing::AssertionResult untouchedFrom(const RasterPaintContext& picture, std::int32_t left,
                                         std::int32_t top) {
    for (std::int32_t y = top; y < picture.height(); ++y) {
        for (std::int32_t x = left; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != kBackground) {
                return ::testing::AssertionFailure() << "painted at (" << x << ", " << y << ")";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(GridView, ColumnsAndTheScrollBarFollowTheClientSize) {
    auto document = restored(15, 800, 600);
    for (auto [width, columns] : {std::pair{799, 4}, {800, 5}, {100, 1}}) {
        document->layout(&window_, width, 600);
        EXPECT_EQ(document->columns, columns) << width;
    }
    // Range 0 to the full rows the frames make, a page of the whole rows that fit.
    window_.clearViewCalls();
    document->topRow = 1;
    document->layout(&window_, 640, 250);
    document->layout(&window_, -1, 0);
    EXPECT_EQ(document->clientWidth, 640);
    EXPECT_EQ(document->clientHeight, 250);
    ASSERT_EQ(window_.scrollInfos().size(), 2u);
    const auto info = window_.scrollInfos()[1];
    EXPECT_EQ(std::tuple(info.minimum, info.maximum, info.page, info.position),
              std::tuple(0, 3, 2u, 1));
    EXPECT_EQ(window_.scrollPositions(), (std::vector<std::int32_t>{1, 1}));
}

TEST_F(GridView, ADocumentShorterThanThePageNeverScrolls) {
    // Ten frames in four columns: maxTopRow = 2 - 5 + 1 = -2.
    auto document = restored(10, 640, 600);
    document->onVScroll(&window_, 1, 0);
    document->onVScroll(&window_, 3, 0);
    document->onVScroll(&window_, 4, 5);
    document->onMouseWheel(&window_, -120);
    EXPECT_EQ(document->topRow, 0);
    EXPECT_EQ(window_.scrollPositions(), (std::vector<std::int32_t>(4, 0)));
    EXPECT_EQ(window_.updates(), 4);
    EXPECT_EQ(window_.invalidations(), 4);
    document->onKeyDown(&window_, ThumbDocument::kKeyPageDown, 0);
    EXPECT_EQ(document->topRow, 0);
    EXPECT_EQ(document->cursor, 9);
}

TEST_F(GridView, ScrollingMovesByRowsWithinTheFramesAndOnlyWhenReady) {
    // 15 frames in five columns, two whole rows a page: maxTopRow = 3 - 2 + 1 = 2.
    auto document = restored(15, 800, 300);
    for (std::int16_t delta : {-120, -360, -120, 120, 0}) {
        document->onMouseWheel(&window_, delta);
    }
    EXPECT_EQ(window_.scrollPositions(), (std::vector<std::int32_t>{1, 2, 2, 1, 0}));
    document->onVScroll(&window_, 3, 0);
    document->onVScroll(&window_, 0, 0);
    document->onVScroll(&window_, 6, 0);  // top: left to the window, which asks for a position
    document->onVScroll(&window_, 8, 0);  // end of scroll
    EXPECT_EQ(document->topRow, 1);
    // A dragged thumb moves the grid as it goes, as far as the frames reach, as its release does.
    document->onVScroll(&window_, 5, 9);
    EXPECT_EQ(document->topRow, 2);
    EXPECT_EQ(window_.scrollPositions().back(), 2);
    document->onVScroll(&window_, 4, -3);
    EXPECT_EQ(document->topRow, 0);
    document->ready = false;
    document->onVScroll(&window_, 1, 0);
    EXPECT_EQ(document->topRow, 0);
}

TEST_F(GridView, ClicksPickTheCellUnderThePointerAndScrollAPartlyShownRow) {
    // Four columns with an empty strip at the right; three whole rows and part of a fourth.
    auto document = restored(15, 700, 400);
    document->onLButtonDown(&window_, 690, 10, 0);
    EXPECT_EQ(document->cursor, 3);
    EXPECT_EQ(document->selectionAnchor, 3);
    EXPECT_EQ(document->selectionEnd, -1);
    EXPECT_EQ(document->topRow, 0);

    document->onLButtonDown(&window_, 170, 370, 0);
    EXPECT_EQ(document->cursor, 13);
    EXPECT_EQ(document->topRow, 1);
    EXPECT_EQ(window_.scrollPositions(), (std::vector<std::int32_t>{1}));

    // Row 4 holds no frame: a click there is on the last frame, and scrolls no further.
    document->onLButtonDown(&window_, 10, 370, 0);
    EXPECT_EQ(document->cursor, 14);
    EXPECT_EQ(document->topRow, 1);
    EXPECT_EQ(window_.invalidations(), 3);
}

TEST_F(GridView, ADragSelectsFromThePressToThePointer) {
    auto document = restored(15, 800, 600);
    document->onLButtonDown(&window_, 10, 10, 0);
    document->onMouseMove(&window_, 500, 130, 0);  // no button: nothing
    EXPECT_EQ(document->cursor, 0);
    document->onMouseMove(&window_, 500, 130, ThumbDocument::kMkLButton);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(8, 0, 8));
    // A release in the pressed row or column is no drag; one elsewhere ends the selection.
    document->onLButtonUp(&window_, 10, 250, 0);
    EXPECT_EQ(document->selectionEnd, 8);
    document->onLButtonUp(&window_, 170, 250, 0);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(11, 0, 11));
}

TEST_F(GridView, ShiftClickSelectsARunThatDeleteRemoves) {
    auto document = restored(15, 800, 600);
    click(*document, 3);
    click(*document, 7, ThumbDocument::kMkShift);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(7, 3, 7));
    // Blue on every selected cell, the cursor's included.
    const auto asExtracted = [](std::int32_t i) { return i; };
    const auto theRun = [](std::int32_t i) { return i >= 3 && i <= 7; };
    const auto none = [](std::int32_t) { return false; };
    const auto runGone = [](std::int32_t i) { return i < 3 ? i : i + 5; };
    expectGrid(painted(*document), records_, 15, asExtracted, theRun, 7);

    document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    ASSERT_EQ(document->frameStarts.size(), 10u);
    EXPECT_EQ(document->frameStarts[3], extracted_->frameStarts[8]);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(3, -1, -1));
    EXPECT_EQ(window_.scrollInfos().back().maximum, 2);
    RasterPaintContext after = painted(*document);
    expectGrid(after, records_, 10, runGone, none, 3);
    EXPECT_TRUE(untouchedFrom(after, 0, 240));

    // Without a selection Delete takes the cursor's frame alone; with none left, nothing.
    click(*document, 5);
    document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    EXPECT_EQ(document->frameStarts.size(), 9u);
    EXPECT_EQ(document->frameStarts[5], extracted_->frameStarts[11]);
    while (!document->frameStarts.empty()) {
        document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    }
    EXPECT_EQ(document->cursor, -1);
    document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    EXPECT_EQ(document->cursor, -1);
}

TEST_F(GridView, UndoPutsBackEachDeleteInTurnWithItsOwnThumbnails) {
    auto document = restored(15, 800, 600);
    click(*document, 3);
    click(*document, 7, ThumbDocument::kMkShift);
    document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    click(*document, 5);  // the frame extracted eleventh
    document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    ASSERT_EQ(document->frameStarts.size(), 9u);
    painted(*document);  // the frames left have bitmaps now; the removed ones have none

    window_.clearViewCalls();
    ASSERT_TRUE(document->undoDelete(&window_));
    ASSERT_EQ(document->frameStarts.size(), 10u);
    EXPECT_EQ(document->frameStarts[5], extracted_->frameStarts[10]);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(5, 5, -1));
    EXPECT_EQ(window_.scrollInfos().back().maximum, 2);
    EXPECT_EQ(window_.invalidations(), 1);
    const auto runGone = [](std::int32_t i) { return i < 3 ? i : i + 5; };
    expectGrid(
        painted(*document), records_, 10, runGone, [](std::int32_t) { return false; }, 5);

    // Back as extracted, with the run selected as it was when it went.
    ASSERT_TRUE(document->undoDelete(&window_));
    EXPECT_EQ(document->frameStarts, extracted_->frameStarts);
    EXPECT_EQ(document->frameEnds, extracted_->frameEnds);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(7, 3, 7));
    expectGrid(
        painted(*document), records_, 15, [](std::int32_t i) { return i; },
        [](std::int32_t i) { return i >= 3 && i <= 7; }, 7);
    // Nothing left to undo: nothing changes, nothing repaints.
    window_.clearViewCalls();
    EXPECT_FALSE(document->undoDelete(&window_));
    EXPECT_EQ(document->frameStarts.size(), 15u);
    EXPECT_EQ(window_.invalidations() + window_.updates(), 0);
    EXPECT_TRUE(window_.scrollInfos().empty());
}

TEST_F(GridView, UndoShowsTheRowsOfTheDeleteAndIsForgottenOnReset) {
    // Five columns, two whole rows: maxTopRow 2.
    auto document = restored(15, 800, 300);
    document->onMouseWheel(&window_, -120);
    click(*document, 7);
    document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    document->onMouseWheel(&window_, 120);
    document->onKeyDown(&window_, ThumbDocument::kKeyHome, 0);
    ASSERT_EQ(document->topRow, 0);
    ASSERT_TRUE(document->undoDelete(&window_));
    EXPECT_EQ(std::tuple(document->cursor, document->topRow), std::tuple(7, 1));
    EXPECT_EQ(window_.scrollInfos().back().position, 1);
    EXPECT_TRUE(showsCell(painted(*document), 320, 0, records_[7], kRed));

    // A Delete, then the document is reset and filled again: the Delete belonged to the old one.
    document->onKeyDown(&window_, ThumbDocument::kKeyDelete, 0);
    document->reset();
    document->appendFrame(0, 10, nullptr, 0);
    EXPECT_FALSE(document->undoDelete(&window_));
    EXPECT_EQ(document->frameStarts, std::vector<thumbs::MediaTime>{0});
}

TEST_F(GridView, ShiftArrowsExtendTheSelectionAndPlainArrowsDropIt) {
    auto document = restored(15, 800, 600);
    document->onKeyDown(&window_, ThumbDocument::kKeyRight, 0);
    document->onKeyDown(&window_, ThumbDocument::kKeyRight, 0);
    EXPECT_EQ(document->selectionAnchor, -1);
    const int invalidations = window_.invalidations();
    document->onKeyDown(&window_, ThumbDocument::kKeyShift, kShiftHeld);
    EXPECT_EQ(std::tuple(document->selectionAnchor, document->selectionEnd), std::tuple(2, 2));
    EXPECT_EQ(window_.invalidations(), invalidations);  // Shift alone repaints nothing
    document->onKeyDown(&window_, ThumbDocument::kKeyRight, kShiftHeld);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(3, 2, 3));
    RasterPaintContext selected = painted(*document);
    EXPECT_TRUE(showsCell(selected, 160, 0, records_[1]));
    EXPECT_TRUE(showsCell(selected, 320, 0, records_[2], kBlue));
    EXPECT_TRUE(showsCell(selected, 480, 0, records_[3], kBlue));

    document->onKeyDown(&window_, ThumbDocument::kKeyRight, 0);
    EXPECT_EQ(std::tuple(document->cursor, document->selectionAnchor, document->selectionEnd),
              std::tuple(4, -1, -1));
    RasterPaintContext dropped = painted(*document);
    EXPECT_TRUE(showsCell(dropped, 320, 0, records_[2]));
    EXPECT_TRUE(showsCell(dropped, 640, 0, records_[4], kRed));
}

TEST_F(GridView, KeysMoveTheCursorAndScrollToKeepItShown) {
    // Five columns, two whole rows: maxTopRow 2.
    auto document = restored(15, 800, 300);
    document->onKeyDown(&window_, ThumbDocument::kKeyDown, 0);
    document->onKeyDown(&window_, ThumbDocument::kKeyDown, 0);
    EXPECT_EQ(std::tuple(document->cursor, document->topRow), std::tuple(10, 1));
    document->onKeyDown(&window_, ThumbDocument::kKeyUp, 0);
    document->onKeyDown(&window_, ThumbDocument::kKeyUp, 0);
    EXPECT_EQ(std::tuple(document->cursor, document->topRow), std::tuple(0, 0));
    document->onKeyDown(&window_, ThumbDocument::kKeyEnd, 0);
    EXPECT_EQ(std::tuple(document->cursor, document->topRow), std::tuple(14, 2));
    document->onKeyDown(&window_, ThumbDocument::kKeyPageUp, 0);
    EXPECT_EQ(std::tuple(document->cursor, document->topRow), std::tuple(4, 0));
    document->onKeyDown(&window_, ThumbDocument::kKeyLeft, 0);
    EXPECT_EQ(document->cursor, 3);
    EXPECT_EQ(window_.scrollInfos().back().position, 0);

    // On frame 0 Page Up and Home lower topRow but, the cursor staying, tell the window nothing.
    document->onKeyDown(&window_, ThumbDocument::kKeyHome, 0);
    for (std::uint32_t key : {ThumbDocument::kKeyPageUp, ThumbDocument::kKeyHome}) {
        document->onVScroll(&window_, 1, 0);
        window_.clearViewCalls();
        document->onKeyDown(&window_, key, 0);
        EXPECT_EQ(std::tuple(document->cursor, document->topRow), std::tuple(0, 0));
        EXPECT_TRUE(window_.scrollInfos().empty() && window_.scrollPositions().empty());
        EXPECT_EQ(window_.invalidations(), 0);
    }
}

TEST_F(GridView, InputBeforeTheFirstLayoutDoesNothing) {
    auto document = restored(15, 800, 600);
    document->columns = 0;
    document->onVScroll(&window_, 1, 0);
    document->onMouseWheel(&window_, -120);
    document->onLButtonDown(&window_, 200, 200, 0);
    document->onMouseMove(&window_, 400, 300, ThumbDocument::kMkLButton);
    document->onLButtonUp(&window_, 400, 300, 0);
    for (std::uint32_t key = 16; key <= 46; ++key) {
        document->onKeyDown(&window_, key, kShiftHeld);
    }
    EXPECT_EQ(std::tuple(document->cursor, document->topRow, document->selectionAnchor,
                         document->selectionEnd, document->columns),
              std::tuple(0, 0, -1, -1, 0));
    EXPECT_EQ(document->frameStarts.size(), 15u);
    EXPECT_TRUE(window_.scrollInfos().empty() && window_.scrollPositions().empty());
    EXPECT_EQ(window_.invalidations() + window_.updates(), 0);
}

TEST_F(GridView, PaintingShowsTheVisibleCellsFromBitmapsOrTheCacheFile) {
    // Three columns and a strip; two whole rows and 60 pixels of a third.
    extracted_->layout(nullptr, 500, 300);
    auto restoredDocument = restored(15, 500, 300);
    for (ThumbDocument* document : {extracted_, restoredDocument.get()}) {
        document->topRow = 1;
        document->cursor = 4;
        RasterPaintContext picture = painted(*document);
        for (std::int32_t cell = 0; cell < 9; ++cell) {
            const auto ring = cell == 1 ? std::optional(kRed) : std::nullopt;
            EXPECT_TRUE(
                showsCell(picture, cell % 3 * 160, cell / 3 * 120, records_[cell + 3], ring));
        }
        EXPECT_TRUE(untouchedFrom(picture, 480, 0));
    }
    // The restored document loaded the visible frames' bitmaps only.
    for (std::size_t i = 0; i < 15; ++i) {
        EXPECT_EQ(restoredDocument->frameBitmaps[i] != nullptr, i >= 3 && i < 12) << i;
    }
}

TEST_F(GridView, ACacheFileHeldOrGoneEndsThePaintAtTheFirstCellWithoutABitmap) {
    auto document = restored(15, 500, 120);
    painted(*document);  // loads frames 0 to 2
    document->layout(nullptr, 500, 360);
    thumbs::CacheFile other;
    ASSERT_TRUE(other.openForReading(document->cacheFilePath()));
    RasterPaintContext held = painted(*document);
    for (std::int32_t cell = 0; cell < 3; ++cell) {
        EXPECT_TRUE(showsCell(held, cell * 160, 0, records_[cell],
                              cell == 0 ? std::optional(kRed) : std::nullopt));
    }
    EXPECT_TRUE(untouchedFrom(held, 0, 120));
    other.close();
    std::filesystem::remove(document->cacheFilePath());
    EXPECT_TRUE(untouchedFrom(painted(*document), 0, 120));
}
