#pragma once

// What the main window procedure asks of the system beyond the window's own services: the calls
// a Windows window procedure makes on user32, comdlg32 and shell32 (DestroyWindow,
// PostQuitMessage, BeginPaint/EndPaint, the file dialogs, GetAsyncKeyState, DragAcceptFiles,
// SetForegroundWindow, DefWindowProc) and the process's command line. The Qt main window implements
// it; tests fake it, so the procedure's rules run without a display.
//
// Every operation is called on the user-interface thread.

#include <cstdint>
#include <string>
#include <vector>

#include "shell/messages.h"
#include "shell/window_proc.h"

namespace platform {
class PaintContext;
class Window;
}  // namespace platform

namespace shell {

class WindowHost {
public:
    virtual ~WindowHost() = default;

    // The window's services as the core sees them (status bar, title, scroll bar, repaints).
    virtual platform::Window* window() = 0;

    // Destroys the window: it disappears, and WM_DESTROY reaches the procedure.
    virtual void destroyWindow() = 0;
    // Ends the message loop once the current message is handled, with `exitCode`.
    virtual void postQuitMessage(int exitCode) = 0;

    // Between these two, during WM_PAINT, the context that paints the client area (its
    // background already erased); null when no paint is in progress.
    virtual platform::PaintContext* beginPaint() = 0;
    virtual void endPaint() = 0;

    // Runs the open dialog (`open` true, several files at once) or the save dialog, showing
    // `folder` first; an empty folder, or one that cannot be listed, gives the folder the last
    // dialog chose from. The result has the dialogs' own form: zero-terminated strings followed
    // by one more zero byte, the full path of one chosen file, or the directory followed by the
    // bare names of several. Empty when the user cancels.
    virtual std::string chooseFile(bool open, const std::string& folder) = 0;

    // The Shift key's state as the keyboard reports it now: a 16-bit value whose top bit is set
    // while the key is held.
    virtual std::int16_t shiftKeyState() = 0;

    // From now on, files dropped on the window arrive as WM_DROPFILES.
    virtual void acceptDroppedFiles() = 0;

    // Brings the window to the front, out of a minimised state, with the keyboard
    // (SetForegroundWindow); the window manager may still decide otherwise.
    virtual void raiseWindow() = 0;

    // The widths of the status bar's parts 0, 1 and 3: at least the defaults, wider when the
    // window's font needs it for their longest texts.
    virtual StatusWidths statusWidths() { return {}; }

    // The process's command-line arguments, argument 0 first.
    virtual std::vector<std::string> arguments() = 0;

    // What the system does with a message the procedure leaves alone (WM_CLOSE destroys the
    // window).
    virtual LRESULT defWindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// WM_DROPFILES carries a pointer to this in its wParam, for the length of the message: the
// dropped files' full paths, in the order of the drop.
struct DroppedFiles {
    std::vector<std::string> paths;
};

// WM_COPYDATA carries a pointer to this in its lParam, for the length of the message: the files
// a later start of the program was given, made absolute there, in its command line's order.
struct HandedOverFiles {
    std::vector<std::string> paths;
};

}  // namespace shell
