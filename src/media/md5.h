#pragma once

// MD5 digests for listings that other tools can compare against (FFmpeg's framemd5).

#include <cstddef>
#include <cstdint>
#include <string>

namespace media {

// The MD5 of the bytes in lower-case hex.
std::string md5Hex(const std::uint8_t* data, std::size_t size);

}  // namespace media
