#pragma once

// The main window's services, as the program's core sees them: the status bar's parts and the
// window title. The Qt main window implements this interface; tests use a fake that records the
// calls. The window later grows the scroll bar and repaint calls here too.
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
};

}  // namespace platform
