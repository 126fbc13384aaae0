#pragma once

// The main window procedure and the process-wide objects it works with.
//
// mainWindowProc handles one window message as the program always has (WM_CREATE, WM_SIZE,
// WM_PAINT, WM_COMMAND, WM_DESTROY, WM_DROPFILES, WM_COPYDATA and the routed input); every
// message it handles returns 0 (WM_COPYDATA: 1), any other goes to the host's default handling. It
// runs on the user-interface thread only and reads theController->currentDocument once per message,
// without the Controller's lock.

#include <cstdint>
#include <string>
#include <vector>

#include "shell/messages.h"

namespace control {
class Controller;
}  // namespace control
namespace status {
class StatusBar;
}  // namespace status

namespace shell {

class WindowHost;

LRESULT mainWindowProc(WindowHost& window, UINT message, WPARAM wParam, LPARAM lParam);

// The widths of the status bar's three parts of fixed width. The window widens them when its
// font needs more room for their longest texts; they are never narrower than these.
struct StatusWidths {
    std::int32_t ready = 110;       // part 0
    std::int32_t pending = 85;      // part 1
    std::int32_t cutPending = 110;  // part 3
};

// The status bar's right edges for a client width: parts 0, 1 and 3 keep their widths, parts 2
// and 4 share the rest (part 4 takes the odd pixel). Narrow windows give negative edges, passed
// on as they are. With the default widths: 110, 195, 195 + e, 305 + e and the width, where
// e = (width - 305) / 2.
std::vector<std::int32_t> statusEdges(std::int32_t width, const StatusWidths& widths = {});
// The edges the status bar has when the window is created: with the default widths 110, 195,
// 500, 610 and 900 (parts 2 and 4 are 305 and 290 wide).
std::vector<std::int32_t> initialStatusEdges(const StatusWidths& widths = {});

}  // namespace shell

// Created by start-up, before the window, and read by the window procedure.
extern status::StatusBar* theStatusBar;
extern control::Controller* theController;
