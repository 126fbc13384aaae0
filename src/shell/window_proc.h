#pragma once

// The main window procedure and the process-wide objects it works with.
//
// mainWindowProc handles one window message as the program always has (WM_CREATE, WM_SIZE,
// WM_PAINT, WM_COMMAND, WM_DESTROY, WM_DROPFILES and the routed input); every message it
// handles returns 0, any other goes to the host's default handling. It runs on the
// user-interface thread only and reads theController->currentDocument once per message,
// without the Controller's lock.

#include <cstdint>
#include <string>
#include <vector>

#include "shell/messages.h"

namespace control {
class Controller;
}  // namespace control

namespace shell {

class StatusBar;
class WindowHost;

LRESULT mainWindowProc(WindowHost& window, UINT message, WPARAM wParam, LPARAM lParam);

// The status bar's right edges for a client width: parts 0, 1 and 3 keep 110, 85 and 110
// pixels, parts 2 and 4 share the rest (part 4 takes the odd pixel). Narrow windows give
// negative edges, passed on as they are.
std::vector<std::int32_t> statusEdges(std::int32_t width);
// The edges the status bar has when the window is created.
std::vector<std::int32_t> initialStatusEdges();

}  // namespace shell

// Created by start-up, before the window, and read by the window procedure.
extern shell::StatusBar* theStatusBar;
extern control::Controller* theController;
