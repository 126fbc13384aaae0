#include "shell/startup.h"

#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "control/controller.h"
#include "platform/file_search.h"
#include "platform/single_instance.h"
#include "shell/main_window.h"
#include "shell/status_bar.h"
#include "shell/window_proc.h"

namespace shell {

std::string thumbnailDirectoryFor(const std::string& argument0) {
    std::size_t slash = argument0.rfind('/');
    std::string directory = slash == std::string::npos ? "" : argument0.substr(0, slash + 1);
    return directory + "thum/";
}

void deleteBitmapFiles(const std::string& directory) {
    for (const std::string& name : platform::findFilesWithSuffix(directory, ".bmp")) {
        std::remove((directory + name).c_str());
    }
}

int runSplicor(int argc, char** argv) {
    // Held for the life of the process; the kernel lets go of it however the process ends.
    platform::SingleInstanceLock instanceLock(platform::kInstanceLockName);
    if (!instanceLock.held()) {
        return 0;  // another instance runs: leave everything to it
    }
    // The command line as given, before Qt takes its own options out of it.
    std::vector<std::string> arguments(argv, argv + argc);
    std::string thumbnailDirectory = thumbnailDirectoryFor(argc > 0 ? arguments[0] : "");
    std::error_code ignored;
    std::filesystem::create_directory(thumbnailDirectory, ignored);

    // The StatusBar lives until the process ends; the Controller until the window is gone.
    theStatusBar = new StatusBar;
    theController = new control::Controller(thumbnailDirectory, theStatusBar);
    deleteBitmapFiles(thumbnailDirectory);

    int exitCode = 0;
    {
        QApplication application(argc, argv);
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
