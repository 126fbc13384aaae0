#include "platform/file_search.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace platform {

std::vector<std::string> findFilesWithSuffix(const std::string& directory,
                                             const std::string& suffix) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(directory.empty() ? fs::path(".") : fs::path(directory), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) {
            continue;
        }
        std::string name = it->path().filename().string();
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(std::move(name));
        }
    }
    // std::string compares characters as unsigned bytes.
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace platform
