// Copies every sample of a file into a new one through the runtime, as the cut engine drives the
// reader and the writer when it keeps everything, and prints the time it took.
//
//   remux_bench SOURCE OUTPUT
#include <chrono>
#include <cstdio>

#include "harness/remux.h"
#include "media/hresult.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: remux_bench SOURCE OUTPUT\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const remux::Result result = remux::remuxFile(argv[1], argv[2]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (media::FAILED(result.hr)) {
        std::fprintf(stderr, "remux_bench: %s: %s\n", result.step.c_str(),
                     media::hresultText(result.hr).c_str());
        return 1;
    }
    std::printf("%llu samples in %.3f s\n", static_cast<unsigned long long>(result.samples),
                took.count());
    return 0;
}
