#pragma once

// Start-up and shutdown of the program, around the main window's event loop.

#include <string>

namespace shell {

// Runs the program: returns its exit code, 0 when it ran; 1, with a message, when there is no
// display to open the window on. When another instance of the user's runs, this start hands it
// the command line's files (made absolute), which it opens as its own command line's, and its
// window comes forward; nothing else is done here (no window, no thumbnail directory), and the
// exit code is 0 once that instance has taken them, 1, with a message, when it does not within
// a couple of seconds (it is stuck, or closing).
int runSplicor(int argc, char** argv);

// Why the window has nowhere to go, as a line for the user; empty when it has. The window goes
// to X unless the user chose another platform (QT_QPA_PLATFORM or -platform) or a Wayland
// display is set: then DISPLAY must be set and its server must take a client.
std::string displayProblem(int argc, char** argv);

// The thumbnail directory, made if missing: "thum/" beside the program file (its real path;
// argument 0 only when the system does not tell it), or the per-user state folder when that
// cannot be written (see platform::thumbnailDirectoryFor).
std::string thumbnailDirectory(const std::string& argument0);

// Deletes the "*.bmp" files of `directory` (which ends in "/"); failures are ignored and no
// other file is touched.
void deleteBitmapFiles(const std::string& directory);

}  // namespace shell
