#pragma once

// Directory search by name suffix ("*-thum.txt", "*-cut.txt", "*.bmp").

#include <string>
#include <vector>

namespace platform {

// Names (not paths) of the entries of `directory` that are not directories and whose names end
// in `suffix`, in ascending byte order. A missing or unreadable directory gives no names.
std::vector<std::string> findFilesWithSuffix(const std::string& directory,
                                             const std::string& suffix);

}  // namespace platform
