// Times ThumbDocument::extract on one file, into a scratch thumbnail directory that is removed
// afterwards, and prints the time, the number of thumbnails and the process's peak memory.
//
//   thumbs_extract_bench FILE bitmaps|background
//
// "background" extracts as the loader thread does while other documents wait to be shown (cache
// file only); "bitmaps" also makes a bitmap per thumbnail. Run one mode per process: the peak
// memory is the whole process's.

#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "thumbs/thumb_document.h"

int main(int argc, char** argv) {
    if (argc != 3 ||
        (std::strcmp(argv[2], "bitmaps") != 0 && std::strcmp(argv[2], "background") != 0)) {
        std::fprintf(stderr, "usage: thumbs_extract_bench FILE bitmaps|background\n");
        return 2;
    }
    std::string pattern = std::filesystem::temp_directory_path() / "splicor-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    std::size_t frames = 0;
    bool ready = false;
    auto start = std::chrono::steady_clock::now();
    {
        thumbs::ThumbDocument document(argv[1], pattern + "/", 0, 0, nullptr);
        document.backgroundOnly = std::strcmp(argv[2], "background") == 0;
        document.extract();
        ready = document.ready;
        frames = document.frameStarts.size();
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove_all(pattern);
    if (!ready) {
        std::fprintf(stderr, "thumbs_extract_bench: %s: extraction failed\n", argv[1]);
        return 1;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%zu thumbnails in %.3f s, peak %ld KiB\n", frames, seconds, usage.ru_maxrss);
    return 0;
}
