#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

// The Content Branding Object: a banner image and two URLs.
struct ContentBranding {
    uint32_t bannerImageType = 0;  // 0 none, 1 bitmap, 2 JPEG, 3 GIF
    std::vector<uint8_t> bannerImageData;
    std::string bannerImageUrl;
    std::string copyrightUrl;

    Status parse(ByteReader& body);
};

}  // namespace asf
