#pragma once

// Shared by the thumbnail tests: documents extracted from the generated test media.

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "support/test_files.h"
#include "thumbs/thumb_document.h"

namespace thumbtest {

using testsupport::namesIn;
using testsupport::readFile;
using testsupport::writeFile;

// The path of a generated test medium; empty when the test media are missing.
inline std::string testMedium(const std::string& name) {
    std::string path = testsupport::testMediaDir() + "/" + name;
    return std::filesystem::exists(path) ? path : "";
}

inline std::unique_ptr<thumbs::ThumbDocument> extracted(const std::string& source,
                                                        const std::string& thumbnailDirectory,
                                                        bool backgroundOnly) {
    auto document =
        std::make_unique<thumbs::ThumbDocument>(source, thumbnailDirectory, 0, 0, nullptr);
    document->backgroundOnly = backgroundOnly;
    document->extract();
    return document;
}

// Every record of a cache file.
inline std::vector<std::vector<std::uint8_t>> records(const std::string& cachePath) {
    const std::string bytes = readFile(cachePath);
    const std::size_t size = platform::Bitmap::kRecordBytes;
    std::vector<std::vector<std::uint8_t>> out;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
        out.emplace_back(bytes.begin() + at, bytes.begin() + at + size);
    }
    return out;
}

inline std::vector<std::uint8_t> pixelsOf(const std::unique_ptr<platform::Bitmap>& bitmap) {
    if (!bitmap) {
        return {};
    }
    return std::vector<std::uint8_t>(bitmap->pixels(),
                                     bitmap->pixels() + platform::Bitmap::kRecordBytes);
}

}  // namespace thumbtest
