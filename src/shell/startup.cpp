#include "shell/startup.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "control/controller.h"
#include "platform/file_search.h"
#include "platform/instance_channel.h"
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

#ifndef SPLICOR_VERSION
#define SPLICOR_VERSION "unknown"
#endif

namespace {

std::string whyNotHandedOver(platform::HandOver result, const std::string& lockPath) {
    switch (result) {
        case platform::HandOver::noInstance:
            return "another Splicor holds " + lockPath + " but takes no files (it may be closing)";
        case platform::HandOver::notTaken:
            return "the running Splicor is closing";
        case platform::HandOver::tooLarge:
            return "too many files to hand to the running Splicor";
        default:
            return "the running Splicor does not answer";
    }
}

// The instance lock, when this start is to be the instance; else null, when the command line's
// files went to the instance that runs (`exitCode` 0) or could not (1, said on standard error).
std::unique_ptr<platform::SingleInstanceLock> takeInstanceLockOrHandOver(
    const platform::InstancePlaces& places, int argc, char** argv, int& exitCode) {
    // Made absolute here: the running instance works in another folder.
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        paths.push_back(platform::absolutePath(argv[i]));
    }
    auto deadline = std::chrono::steady_clock::now() + platform::kHandOverTimeout;
    for (;;) {
        auto lock = std::make_unique<platform::SingleInstanceLock>(places.lock);
        if (lock->held()) {
            return lock;
        }
        if (!lock->busy()) {
            std::fprintf(stderr, "splicor: cannot take the instance lock %s.\n",
                         lock->problem().c_str());
            exitCode = 1;
            return nullptr;
        }
        platform::HandOver result = platform::handOverFiles(places.socket, paths, deadline);
        if (result == platform::HandOver::taken) {
            exitCode = 0;
            return nullptr;
        }
        // An instance that is still starting or is ending: try again, the lock too, while the
        // time lasts.
        bool again =
            result == platform::HandOver::noInstance || result == platform::HandOver::notTaken;
        if (!again || std::chrono::steady_clock::now() >= deadline) {
            std::string names;
            for (int i = 1; i < argc; ++i) {
                names += std::string(" ") + argv[i];
            }
            std::fprintf(stderr, "splicor: %s%s%s.\n",
                         whyNotHandedOver(result, places.lock).c_str(),
                         names.empty() ? "" : "; not opened:", names.c_str());
            exitCode = 1;
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

// The window program proper, once the command line is known to hold files.
static int startWindow(int argc, char** argv) {
    const platform::InstancePlaces places =
        platform::instancePlaces(platform::kInstanceLockName, std::getenv("XDG_RUNTIME_DIR"));
    int handOverExit = 0;
    // Held for the life of the process; the kernel lets go of it however the process ends.
    std::unique_ptr<platform::SingleInstanceLock> instanceLock =
        takeInstanceLockOrHandOver(places, argc, argv, handOverExit);
    if (instanceLock == nullptr) {
        return handOverExit;  // the files went to the instance that runs, or could not
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
    // Bound before the slow part of the start, so that a second start can already connect and
    // wait; the files it sends are taken once the window is there.
    platform::InstanceServer instanceServer(places.socket);
    if (!instanceServer.listening()) {
        std::fprintf(stderr, "splicor: later starts cannot hand their files to this one (%s).\n",
                     instanceServer.problem().c_str());
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
        instanceServer.start(
            [&window](std::shared_ptr<platform::FileHandOver> files) { window.handOver(files); });
        exitCode = QApplication::exec();
        // Nothing reaches the window from here on: a request in hand is not taken, and later
        // starts wait for the lock.
        instanceServer.stop();

        theController->shutdown();
        delete theController;
        theController = nullptr;
    }
    deleteBitmapFiles(thumbnailDirectory);
    return exitCode;
}

int runSplicor(int argc, char** argv) {
    // The usual words of a program are answered before any window; "--" before a file whose
    // name starts with "-" opens it.
    const std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h") {
        std::printf(
            "usage: %s [FILE...]\n       %s -- FILE...\n       %s --help | --version\n\n"
            "Opens the Windows Media files (.wmv, .asf) in a window: a thumbnail of every key\n"
            "frame; delete thumbnails or select a run of them and save, and the kept stretches\n"
            "are copied without re-encoding. See splicor(1); splicor-cli cuts from a terminal.\n",
            argv[0], argv[0], argv[0]);
        return 0;
    }
    if (first == "--version") {
        std::printf("splicor %s\n", SPLICOR_VERSION);
        return 0;
    }
    if (first == "--") {
        std::vector<char*> arguments(argv, argv + argc);
        arguments.erase(arguments.begin() + 1);
        arguments.push_back(nullptr);
        return startWindow(static_cast<int>(arguments.size()) - 1, arguments.data());
    }
    return startWindow(argc, argv);
}

}  // namespace shell
