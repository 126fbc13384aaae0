#include "shell/file_intake.h"

#include <algorithm>

namespace shell {

std::string dialogResult(const std::vector<std::string>& chosenPaths) {
    if (chosenPaths.empty()) {
        return "";
    }
    std::string result;
    if (chosenPaths.size() == 1) {
        result = chosenPaths.front() + '\0';
    } else {
        const std::string& first = chosenPaths.front();
        std::size_t slash = first.rfind('/');
        std::string directory = slash == std::string::npos ? "." : first.substr(0, slash);
        if (directory.empty()) {
            directory = "/";
        }
        std::string prefix = directory == "/" ? directory : directory + "/";
        result = directory + '\0';
        for (const std::string& path : chosenPaths) {
            bool inDirectory = path.size() > prefix.size() &&
                               path.compare(0, prefix.size(), prefix) == 0 &&
                               path.find('/', prefix.size()) == std::string::npos;
            result += (inDirectory ? path.substr(prefix.size()) : path) + '\0';
        }
    }
    return result + '\0';
}

std::vector<std::string> openDialogPaths(const std::string& result) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    std::string directory;
    while (start < result.size()) {
        std::size_t end = result.find('\0', start);
        if (end == std::string::npos) {
            end = result.size();
        }
        if (end == start) {
            break;  // the empty string that ends the list
        }
        std::string item = result.substr(start, end - start);
        if (paths.empty()) {
            directory = item;
            paths.push_back(item);
        } else if (item.find('/') == std::string::npos) {
            // A separator is added even after a directory that ends in one (the root).
            paths.push_back(directory + "/" + item);
        }
        start = end + 1;
    }
    return paths;
}

std::string saveDialogPath(const std::string& result) {
    return result.substr(0, result.find('\0'));
}

std::vector<std::string> acceptedDroppedPaths(const std::vector<std::string>& dropped) {
    std::vector<std::string> accepted;
    for (const std::string& path : dropped) {
        if (path.size() < 4) {
            continue;
        }
        std::string extension = path.substr(path.size() - 4);
        if (extension == ".wmv" || extension == ".asf") {
            accepted.push_back(path);
        }
    }
    // std::string compares through char_traits<char>, which compares bytes as unsigned char.
    std::sort(accepted.begin(), accepted.end());
    return accepted;
}

}  // namespace shell
