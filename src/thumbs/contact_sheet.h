#pragma once

// Contact sheets: the thumbnails of a cache file side by side in one PNG picture, rows of ten
// 160 x 120 cells in the order given (fewer columns when there are fewer than ten thumbnails).
// Every pixel is the record's own; cells without a thumbnail are black.

#include <cstdint>
#include <string>
#include <vector>

namespace thumbs {

// A PNG file holding an 8-bit RGB picture given as top-down rows of width * 3 bytes. The image
// data is stored uncompressed (deflate's stored blocks), which any PNG reader takes.
std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height,
                                    const std::uint8_t* rgb);

// Writes the sheet of the given records of the cache file to pngPath. False when a record cannot
// be read, there is none, or the file cannot be written.
bool writeContactSheet(const std::string& cachePath, const std::vector<std::uint32_t>& records,
                       const std::string& pngPath);

}  // namespace thumbs
