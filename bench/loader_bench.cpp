// Times the window's loader on one file: from handing the file to the Controller (as a drop or
// the open dialog does) to its last thumbnail in the cache file, the loader thread doing the
// work as it does in the program, bitmaps and all. Prints the time and the thumbnail count.
//
//   loader_bench FILE KEYFRAMES
//
// KEYFRAMES is the number of key frames (`splicor-cli keyframes FILE | wc -l`): the run ends when
// the cache file holds that many records.

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "control/controller.h"
#include "harness/fake_window.h"
#include "platform/file_search.h"
#include "status/status_bar.h"
#include "thumbs/cache_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: loader_bench FILE KEYFRAMES\n");
        return 2;
    }
    const std::string source = std::filesystem::absolute(argv[1]);
    const long long keyFrames = std::atoll(argv[2]);
    std::string pattern = std::filesystem::temp_directory_path() / "splicor-loader-XXXXXX";
    if (!::mkdtemp(pattern.data()) || keyFrames <= 0) {
        std::fprintf(stderr, "loader_bench: no scratch directory, or no key frames\n");
        return 1;
    }
    const std::string thumbDir = pattern + "/";
    const long long wanted = keyFrames * thumbs::CacheFile::kRecordBytes;
    double seconds = -1;
    {
        testsupport::FakeWindow window;
        status::StatusBar bar;
        bar.mainWindow = &window;
        bar.statusWindow = &window;
        control::Controller controller(thumbDir, &bar);
        controller.mainWindow = &window;
        controller.resize(&window, 1600, 1000);
        const auto start = std::chrono::steady_clock::now();
        controller.addFile(source, &window);
        controller.startLoading();
        const auto limit = start + std::chrono::minutes(10);
        while (std::chrono::steady_clock::now() < limit) {
            long long size = 0;
            for (const std::string& name : platform::findFilesWithSuffix(thumbDir, ".thum")) {
                struct stat info {};
                if (::stat((thumbDir + name).c_str(), &info) == 0) {
                    size = info.st_size;
                }
            }
            if (size >= wanted) {
                seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        controller.shutdown();
    }
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    if (seconds < 0) {
        std::fprintf(stderr, "loader_bench: %s: the thumbnails never all arrived\n", argv[1]);
        return 1;
    }
    std::printf("%lld thumbnails in %.3f s\n", keyFrames, seconds);
    return 0;
}
