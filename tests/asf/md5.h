#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace asf_test {

// MD5 of a byte range as 32 lower-case hex digits, to compare samples with FFmpeg's framemd5.
std::string md5Hex(const uint8_t* data, size_t size);

}  // namespace asf_test
