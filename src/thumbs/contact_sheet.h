#pragma once

// Contact sheets: the thumbnails of a cache file side by side in one PNG picture, rows of ten
// 160 x 120 cells in the order given (fewer columns when there are fewer than ten thumbnails).
// Every pixel is the record's own; cells without a thumbnail are black.

#include <cstdint>
#include <string>
#include <vector>

namespace thumbs {

// Writes the sheet of the given records of the cache file to pngPath, compressed, a band of cells
// at a time (memory stays the same whatever the number of records). False when a record cannot
// be read, there is none, the sheet would be too high for a PNG, or the file cannot be written;
// then pngPath is left as it was. A link at pngPath is replaced, not followed.
bool writeContactSheet(const std::string& cachePath, const std::vector<std::uint32_t>& records,
                       const std::string& pngPath);

}  // namespace thumbs
