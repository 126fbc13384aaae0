#include "shell/startup.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "control/controller.h"
#include "platform/file_search.h"
#include "platform/own_files.h"
#include "platform/single_instance.h"
#include "shell/display_check.h"
#include "shell/main_window.h"
#include "shell/window_proc.h"
#include "status/status_bar.h"

namespace shell {

std::string thumbnailDirectory(const std::string& argument0) {
    // Beside the program file itself, never in whatever folder the program was started from.
    std::string program = platform::programFilePath();
    if (program.empty()) {
        program = platform::absolutePath(argument0);
    }
    return platform::thumbnailDirectoryFor(program, std::getenv("XDG_STATE_HOME"),
                                           std::getenv("HOME"));
}

void deleteBitmapFiles(const std::string& directory) {
    for (const std::string& name : platform::findFilesWithSuffix(directory, ".bmp")) {
        std::remove((directory + name).c_str());
    }
}

std::string displayProblem(int argc, char** argv) {
    auto value = [](const char* name) {
        const char* text = std::getenv(name);
        return std::string(text != nullptr ? text : "");
    };
    std::string platform = value("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) {
            platform = argv[i + 1];
        }
    }
    // Another platform (offscreen, vnc, wayland, ...) is the user's business.
    bool x = platform.empty() ? value("WAYLAND_DISPLAY").empty() : platform.rfind("xcb", 0) == 0;
    if (!x) {
        return "";
    }
    std::string display = value("DISPLAY");
    if (display.empty()) {
        return "no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set)";
    }
    if (!xDisplayAnswers()) {
        return "the display " + display + " does not answer";
    }
    return "";
}

int runSplicor(int argc, char** argv) {
    // Held for the life of the process; the kernel lets go of it however the process ends.
    platform::SingleInstanceLock instanceLock(
        platform::instancePlaces(platform::kInstanceLockName, std::getenv("XDG_RUNTIME_DIR")).lock);
    if (!instanceLock.held()) {
        return 0;  // another instance runs: leave everything to it
    }
    // Without a display, or with one that does not answer, the toolkit would abort the process
    // once the background threads run; say so and stop before anything starts.
    std::string problem = displayProblem(argc, argv);
    if (!problem.empty()) {
        std::fprintf(stderr,
                     "splicor: %s.\nRun it on a desktop, or on a virtual display: xvfb-run -a %s "
                     "FILE...\n",
                     problem.c_str(), argc > 0 ? argv[0] : "splicor");
        return 1;
    }
    // The command line as given, before Qt takes its own options out of it.
    std::vector<std::string> arguments(argv, argv + argc);
    const std::string thumbnailDirectory = shell::thumbnailDirectory(argc > 0 ? arguments[0] : "");

    // The StatusBar lives until the process ends; the Controller until the window is gone.
    theStatusBar = new status::StatusBar;
    theController = new control::Controller(thumbnailDirectory, theStatusBar);
    deleteBitmapFiles(thumbnailDirectory);

    int exitCode = 0;
    {
        QApplication application(argc, argv);
        installToolkitTranslations(application);
        // The window's destruction ends the loop (WM_DESTROY), not the last window closing.
        QApplication::setQuitOnLastWindowClosed(false);
        // Outlives the Controller's threads, which may call it until shutdown returns.
        MainWindow window(arguments, mainWindowProc);
        window.createAndShow();
        exitCode = QApplication::exec();

        theController->shutdown();
        delete theController;
        theController = nullptr;
    }
    deleteBitmapFiles(thumbnailDirectory);
    return exitCode;
}

}  // namespace shell
