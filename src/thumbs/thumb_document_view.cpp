// The grid view: layout, painting, scrolling and selection of the current document.
//
// Frames fill 160 x 120 cells row by row from the top left; topRow is the first grid row shown.
// Every handler runs on the user-interface thread (layout also on the thread that makes the
// document current) and touches only this document. A null window means there is no window yet:
// the state changes, the window calls are left out.

#include <algorithm>
#include <cstddef>
#include <utility>

#include "platform/window.h"
#include "thumbs/cache_file.h"
#include "thumbs/thumb_document.h"

namespace thumbs {

namespace {

// The handlers' view of the geometry, taken once per call.
struct Grid {
    std::int32_t columns;
    std::int32_t page;       // whole rows that fit the client area
    std::int32_t maxTopRow;  // may be negative: then topRow can only be 0
    std::int64_t frameCount;

    // topRow clamped to maxTopRow, then to 0.
    std::int32_t clamp(std::int32_t row) const { return std::max(std::min(row, maxTopRow), 0); }
};

Grid grid(const ThumbDocument& document) {
    const std::int32_t columns = std::max(document.columns, 1);
    const std::int32_t page = document.clientHeight / ThumbDocument::kCellHeight;
    const auto frames = static_cast<std::int64_t>(document.frameStarts.size());
    // The number of full grid rows the frames make, less what one page shows.
    const auto rows = static_cast<std::int32_t>(frames / columns);
    return Grid{columns, page, rows - page + 1, frames};
}

// The frame under a client point, and the point's row offset from topRow. A point beyond the
// last frame (or anywhere in a document without frames) gives the last frame.
std::int32_t cellUnder(const ThumbDocument& document, std::int32_t x, std::int32_t y,
                       std::int32_t& rowOffset) {
    const Grid g = grid(document);
    const std::int32_t column = std::min(x / ThumbDocument::kCellWidth, g.columns - 1);
    rowOffset = y / ThumbDocument::kCellHeight;
    const std::int64_t index =
        (static_cast<std::int64_t>(rowOffset) + document.topRow) * g.columns + column;
    if (index < 0 || index >= g.frameCount) {
        return static_cast<std::int32_t>(g.frameCount - 1);
    }
    return static_cast<std::int32_t>(index);
}

// A point in the partly visible bottom row scrolls one row down, while that row holds frames.
void bottomEdgeScroll(ThumbDocument& document, platform::Window* mainWindow,
                      std::int32_t rowOffset) {
    const Grid g = grid(document);
    const std::int64_t rowBottom =
        (static_cast<std::int64_t>(rowOffset) + 1) * ThumbDocument::kCellHeight;
    const std::int64_t firstInRow =
        (static_cast<std::int64_t>(rowOffset) + document.topRow) * g.columns;
    if (rowBottom > document.clientHeight && firstInRow < g.frameCount) {
        document.topRow += 1;
        if (mainWindow) {
            mainWindow->setScrollPos(document.topRow);
        }
    }
}

void invalidate(platform::Window* mainWindow) {
    if (mainWindow) {
        mainWindow->invalidate();
    }
}

// After a scroll: clamp, move the bar's thumb, paint what is pending, then repaint it all.
void finishScroll(ThumbDocument& document, platform::Window* mainWindow) {
    document.topRow = grid(document).clamp(document.topRow);
    if (mainWindow) {
        mainWindow->setScrollPos(document.topRow);
        mainWindow->update();
        mainWindow->invalidate();
    }
}

// Delete: the selection if there is one, else the cursor's frame. What it removes is kept, with
// the marks from before it, for undoDelete.
void deleteFrames(ThumbDocument& document, platform::Window* mainWindow) {
    ThumbDocument::Deletion deletion{{},
                                     document.cursor,
                                     document.selectionAnchor,
                                     document.selectionEnd,
                                     document.anchorTopRow,
                                     document.endTopRow,
                                     document.topRow};
    auto remove = [&document, &deletion](std::int32_t index) {
        if (index < 0 || static_cast<std::size_t>(index) >= document.frameStarts.size()) {
            return;
        }
        const auto i = static_cast<std::size_t>(index);
        deletion.frames.push_back(
            {index, document.frameStarts[i], document.frameEnds[i], document.frameRecords[i]});
        document.removeFrame(index);
    };
    if (document.selectionAnchor != -1 && document.selectionEnd != -1) {
        const std::int32_t lo = std::min(document.selectionAnchor, document.selectionEnd);
        const std::int32_t hi = std::max(document.selectionAnchor, document.selectionEnd);
        for (std::int32_t i = hi; i >= lo; --i) {
            remove(i);
        }
        document.cursor = lo;
        document.selectionAnchor = -1;
        document.selectionEnd = -1;
        document.topRow = std::max(std::min(document.anchorTopRow, document.endTopRow), 0);
    } else {
        remove(document.cursor);  // does nothing unless it names a frame
    }
    if (!deletion.frames.empty()) {
        // Removed from the highest index down; put back from the lowest up.
        std::reverse(deletion.frames.begin(), deletion.frames.end());
        document.deletions.push_back(std::move(deletion));
    }
    const auto frames = static_cast<std::int64_t>(document.frameStarts.size());
    if (document.cursor < 0 || document.cursor >= frames) {
        document.cursor = static_cast<std::int32_t>(frames - 1);
    }
    document.layout(mainWindow, -1, 0);
    invalidate(mainWindow);
}

}  // namespace

void ThumbDocument::layout(platform::Window* mainWindow, std::int32_t width, std::int32_t height) {
    if (width != -1) {
        clientWidth = width;
        clientHeight = height;
    }
    columns = std::max(1, clientWidth / kCellWidth);
    if (!mainWindow) {
        return;
    }
    const std::int32_t page = std::max(clientHeight / kCellHeight, 0);
    const auto rows = static_cast<std::int32_t>(frameStarts.size() / columns);
    // topRow is left as it is: the scroll handlers clamp it when they next move it.
    mainWindow->setScrollInfo(0, rows, static_cast<std::uint32_t>(page), topRow);
    mainWindow->setScrollPos(topRow);
}

void ThumbDocument::paint(platform::Window* mainWindow, platform::PaintContext& context) {
    if (clientHeight <= 0) {
        return;
    }
    const auto frames = static_cast<std::int64_t>(frameBitmaps.size());
    const bool selection = selectionAnchor != -1 && selectionEnd != -1;
    const std::int32_t selectionLo = std::min(selectionAnchor, selectionEnd);
    const std::int32_t selectionHi = std::max(selectionAnchor, selectionEnd);
    // Opened at the first cell without a bitmap, at most once per paint, without sharing.
    CacheFile cacheFile;
    bool cacheFileTried = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    for (std::int64_t i = static_cast<std::int64_t>(topRow) * columns; i < frames; ++i) {
        if (i >= 0) {
            const auto frame = static_cast<std::size_t>(i);
            if (!frameBitmaps[frame]) {
                if (!cacheFileTried) {
                    cacheFileTried = true;
                    cacheFile.openForReading(cacheFilePath());
                }
                if (!cacheFile.isOpen()) {
                    return;  // missing or held by another reader: the rest stays background
                }
                loadBitmap(mainWindow, static_cast<std::int32_t>(i), cacheFile);
            }
            if (const platform::Bitmap* bitmap = frameBitmaps[frame].get()) {
                context.drawBitmap(x, y, *bitmap);
            }
            // The frames run from (x + 1, y + 1) to (x + 160, y + 120) exclusive: with pens of
            // width 2 they are the cell's two outermost pixel rings. Blue goes over red.
            if (i == cursor) {
                context.drawRectangle(x + 1, y + 1, x + kCellWidth, y + kCellHeight, cursorPen);
            }
            if (selection && i >= selectionLo && i <= selectionHi) {
                context.drawRectangle(x + 1, y + 1, x + kCellWidth, y + kCellHeight, selectionPen);
            }
        }
        x += kCellWidth;
        if (x + kCellWidth > clientWidth) {
            x = 0;
            y += kCellHeight;
            if (y >= clientHeight) {
                break;  // a partly visible last row has been painted
            }
        }
    }
}

void ThumbDocument::onVScroll(platform::Window* mainWindow, std::uint32_t request,
                              std::int16_t position) {
    if (!ready || columns == 0) {
        return;
    }
    const std::int32_t page = grid(*this).page;
    switch (request) {
        case 0:  // line up
            topRow -= 1;
            break;
        case 1:  // line down
            topRow += 1;
            break;
        case 2:  // page up
            topRow -= page;
            break;
        case 3:  // page down
            topRow += page;
            break;
        case 4:  // thumb released
        case 5:  // thumb dragged: the grid follows it
            topRow = position;
            break;
        default:  // top, bottom, end of scroll
            return;
    }
    finishScroll(*this, mainWindow);
}

void ThumbDocument::onMouseWheel(platform::Window* mainWindow, std::int16_t delta) {
    if (frameStarts.empty() || columns == 0) {
        return;
    }
    // One row per message, whatever the delta's size.
    topRow += delta < 0 ? 1 : -1;
    finishScroll(*this, mainWindow);
}

void ThumbDocument::onLButtonDown(platform::Window* mainWindow, std::int16_t x, std::int16_t y,
                                  std::uint32_t shift) {
    if (columns == 0) {
        return;
    }
    dragX = x;
    dragY = y;
    std::int32_t rowOffset = 0;
    cursor = cellUnder(*this, x, y, rowOffset);
    bottomEdgeScroll(*this, mainWindow, rowOffset);
    if (shift) {
        selectionEnd = cursor;
        endTopRow = topRow;
    } else {
        // A plain click sets a new anchor and leaves no selection.
        selectionAnchor = cursor;
        anchorTopRow = topRow;
        selectionEnd = -1;
    }
    invalidate(mainWindow);
}

void ThumbDocument::onLButtonUp(platform::Window* mainWindow, std::int16_t x, std::int16_t y,
                                std::uint32_t shift) {
    // A release that did not move in both directions is no drag.
    if (columns == 0 || shift || x == dragX || y == dragY) {
        return;
    }
    std::int32_t rowOffset = y / kCellHeight;
    bottomEdgeScroll(*this, mainWindow, rowOffset);
    cursor = cellUnder(*this, x, y, rowOffset);
    selectionEnd = cursor;
    endTopRow = topRow;
    invalidate(mainWindow);
}

void ThumbDocument::onMouseMove(platform::Window* mainWindow, std::int16_t x, std::int16_t y,
                                std::uint32_t keyState) {
    if (columns == 0 || !(keyState & kMkLButton)) {
        return;
    }
    std::int32_t rowOffset = y / kCellHeight;
    // Dragging in the top row scrolls up one row per move.
    if (rowOffset == 0 && topRow > 0) {
        topRow -= 1;
        if (mainWindow) {
            mainWindow->setScrollPos(topRow);
        }
    }
    bottomEdgeScroll(*this, mainWindow, rowOffset);
    const std::int32_t index = cellUnder(*this, x, y, rowOffset);
    if (index == cursor) {
        return;
    }
    cursor = index;
    selectionEnd = index;
    endTopRow = topRow;
    invalidate(mainWindow);
}

void ThumbDocument::onKeyDown(platform::Window* mainWindow, std::uint32_t virtualKey,
                              std::int16_t shiftState) {
    if (columns == 0) {
        return;
    }
    const Grid g = grid(*this);
    const auto lastFrame = static_cast<std::int32_t>(g.frameCount - 1);
    // A cursor at or past the frame count becomes the last frame (-1 without frames).
    auto toLastFrame = [&](std::int64_t value) {
        return value < 0 || value >= g.frameCount ? lastFrame : static_cast<std::int32_t>(value);
    };
    // A page of frames; wide enough for any client size.
    const std::int64_t pageFrames = static_cast<std::int64_t>(g.page) * g.columns;
    const std::int32_t previousCursor = cursor;
    switch (virtualKey) {
        case kKeyShift:
            if (selectionAnchor == -1) {
                selectionAnchor = cursor;
                selectionEnd = cursor;
                anchorTopRow = topRow;
            }
            break;
        case kKeyPageUp:
            cursor = static_cast<std::int32_t>(std::max<std::int64_t>(cursor - pageFrames, 0));
            topRow = std::max(topRow - g.page, 0);
            break;
        case kKeyPageDown:
            cursor = toLastFrame(cursor + pageFrames);
            topRow = g.clamp(topRow + g.page);
            break;
        case kKeyEnd:
            cursor = lastFrame;
            topRow = std::max(g.maxTopRow, 0);
            break;
        case kKeyHome:
            cursor = 0;
            topRow = 0;
            break;
        case kKeyLeft:
            cursor = std::max(cursor - 1, 0);
            break;
        case kKeyUp:
            cursor = std::max(cursor - g.columns, 0);
            break;
        case kKeyRight:
            cursor = toLastFrame(std::int64_t{cursor} + 1);
            break;
        case kKeyDown:
            cursor = toLastFrame(std::int64_t{cursor} + g.columns);
            break;
        case kKeyDelete:
            deleteFrames(*this, mainWindow);
            return;
        default:
            return;
    }
    // A key that leaves the cursor where it was repaints nothing (any topRow change shows at
    // the next paint).
    if (cursor == previousCursor) {
        return;
    }
    const std::int32_t rowOffset = cursor / g.columns - topRow;
    if (static_cast<std::int64_t>(rowOffset + 1) * kCellHeight > clientHeight) {
        topRow += 1;
    } else if (rowOffset < 0) {
        topRow -= 1;
    }
    if (shiftState != 0) {
        selectionEnd = cursor;
        endTopRow = topRow;
    } else {
        selectionAnchor = -1;
        selectionEnd = -1;
    }
    layout(mainWindow, -1, 0);
    invalidate(mainWindow);
}

bool ThumbDocument::undoDelete(platform::Window* mainWindow) {
    if (deletions.empty()) {
        return false;
    }
    const Deletion deletion = std::move(deletions.back());
    deletions.pop_back();
    // Lowest index first: each frame lands where it was, before the later ones go back.
    for (const Deletion::Frame& frame : deletion.frames) {
        insertFrame(frame.index, frame.start, frame.end, frame.record);
    }
    cursor = deletion.cursor;
    selectionAnchor = deletion.selectionAnchor;
    selectionEnd = deletion.selectionEnd;
    anchorTopRow = deletion.anchorTopRow;
    endTopRow = deletion.endTopRow;
    // The rows shown when the frames went, as far as the client area (resized since, perhaps)
    // lets them be.
    topRow = grid(*this).clamp(deletion.topRow);
    layout(mainWindow, -1, 0);
    invalidate(mainWindow);
    return true;
}

}  // namespace thumbs
