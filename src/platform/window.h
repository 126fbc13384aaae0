#pragma once

// The main window's services, as the program's core sees them: the status bar's parts, the window
// title, the vertical scroll bar and repainting. The Qt main window implements this interface;
// tests use a fake that records the calls.
//
// Threads: any thread may call any operation. The implementation carries each call over to the
// user-interface thread, in the order of the calls, and returns without waiting for it, so a
// caller never blocks on the window and no lock a caller holds can deadlock with it. Calls made
// after the window is gone are dropped.
//
// Texts are UTF-8.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class Window {
public:
    virtual ~Window() = default;

    // Lays out the status bar as rightEdges.size() parts; part i ends at rightEdges[i] pixels
    // from the window's left edge, and -1 lets a part reach the window's right edge.
    virtual void setStatusParts(const std::vector<std::int32_t>& rightEdges) = 0;

    // Shows `text` in status part `part` (0-based), replacing what it showed.
    virtual void setStatusText(int part, const std::string& text) = 0;

    // Sets the window's title.
    virtual void setTitle(const std::string& text) = 0;

    // Sets the vertical scroll bar in one step: range minimum..maximum, `page` rows per page and
    // the position, then redraws it. The largest position the bar offers is maximum - page + 1.
    // When nothing can scroll (the page covers the whole range) the bar stays visible but
    // disabled.
    virtual void setScrollInfo(std::int32_t minimum, std::int32_t maximum, std::uint32_t page,
                               std::int32_t position) = 0;

    // Moves the scroll bar's thumb to `position`, within the range last set.
    virtual void setScrollPos(std::int32_t position) = 0;

    // Marks the whole client area for repainting, background erased first.
    virtual void invalidate() = 0;

    // Adds `text` (lines split by "\n") to the window's notice: a window of its own, beside the
    // main window, that stays, without holding up the main window, until the user closes it.
    virtual void showNotice(const std::string& text) = 0;

    // Paints now whatever is marked for repainting (on the user-interface thread; from another
    // thread the paint follows as soon as that thread gets to it).
    virtual void update() = 0;
};

}  // namespace platform
