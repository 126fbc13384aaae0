#pragma once

// A WindowHost for the window procedure without a display: the window's services recorded by
// FakeWindow, the status bar's edges, and the system calls scripted or counted.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "harness/fake_window.h"
#include "shell/window_host.h"

namespace testsupport {

class FakeHost : public FakeWindow, public shell::WindowHost {
public:
    void setStatusParts(const std::vector<std::int32_t>& rightEdges) override {
        edges.push_back(rightEdges);
    }

    platform::Window* window() override { return this; }
    void destroyWindow() override { ++destroys; }
    void postQuitMessage(int exitCode) override { quitCodes.push_back(exitCode); }
    platform::PaintContext* beginPaint() override { return paintContext; }
    void endPaint() override { ++endPaints; }
    std::string chooseFile(bool open, const std::string& folder) override {
        dialogs.push_back(open);
        dialogFolders.push_back(folder);
        return dialogResult;
    }
    std::int16_t shiftKeyState() override { return shiftState; }
    void acceptDroppedFiles() override { acceptsDrops = true; }
    void raiseWindow() override { ++raises; }
    shell::StatusWidths statusWidths() override { return widths; }
    std::vector<std::string> arguments() override { return commandLine; }
    shell::LRESULT defWindowProc(shell::UINT message, shell::WPARAM, shell::LPARAM) override {
        defaultHandled.push_back(message);
        return 0;
    }

    std::vector<std::vector<std::int32_t>> edges;
    int destroys = 0;
    std::vector<int> quitCodes;
    platform::PaintContext* paintContext = nullptr;
    int endPaints = 0;
    std::vector<bool> dialogs;               // the open flag of each dialog run
    std::vector<std::string> dialogFolders;  // and the folder it was to show first
    std::string dialogResult;
    std::int16_t shiftState = 0;
    bool acceptsDrops = false;
    int raises = 0;
    std::vector<std::string> commandLine{"splicor"};
    shell::StatusWidths widths;
    std::vector<shell::UINT> defaultHandled;
};

}  // namespace testsupport
