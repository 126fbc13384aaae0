#pragma once

// Copies every sample of a file into a new one through the runtime, the way the cut engine
// drives it with a single range that keeps everything: the asynchronous reader on a user clock
// granting a second at a time, every stream delivering compressed samples, a writer with the
// reader's profile and pass-through inputs, the header's attributes (per stream, then the file;
// refused ones skipped), codec descriptions and script commands copied, and the output finished
// by the metadata editor. Shared by the writer tests and the remux benchmark.

#include <cstdint>
#include <string>

#include "media/hresult.h"

namespace remux {

struct Result {
    media::HRESULT hr = media::S_OK;
    // The step that failed, for messages.
    std::string step;
    uint64_t samples = 0;
    // Attributes the writer refused with E_INVALIDARG.
    int refusedAttributes = 0;
};

Result remuxFile(const std::string& source, const std::string& output);

}  // namespace remux
