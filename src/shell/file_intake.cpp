#include "shell/file_intake.h"

#include <algorithm>
#include <cctype>

#include <unistd.h>

#include "platform/files.h"

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
        const std::string directory = platform::folderOf(first);
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
    std::vector<std::string> strings;
    std::size_t start = 0;
    while (start < result.size()) {
        std::size_t end = result.find('\0', start);
        if (end == std::string::npos) {
            end = result.size();
        }
        if (end == start) {
            break;  // the empty string that ends the list
        }
        strings.push_back(result.substr(start, end - start));
        start = end + 1;
    }
    // The first string alone is the file chosen. Before names it is only their folder, which the
    // user did not choose: queued, it would fail to load and be reported as a file not read.
    if (strings.size() <= 1) {
        return strings;
    }
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < strings.size(); ++i) {
        if (strings[i].find('/') == std::string::npos) {
            // A separator is added even after a directory that ends in one (the root).
            paths.push_back(strings.front() + "/" + strings[i]);
        }
    }
    return paths;
}

std::string saveDialogPath(const std::string& result) {
    return result.substr(0, result.find('\0'));
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// `text` with each "%XY" replaced by the byte XY; a "%" without two hex digits stays as it is.
std::string percentDecoded(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Whether a file URI's host names this machine: none, "localhost", or the machine's own name.
bool isThisMachine(const std::string& host) {
    if (host.empty() || equalNoCase(host, "localhost")) {
        return true;
    }
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && equalNoCase(host, name);
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    static_cast<unsigned char>(prefix[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<std::string> localPathsFromUriList(const std::string& uriList) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start < uriList.size()) {
        std::size_t end = uriList.find('\n', start);
        if (end == std::string::npos) {
            end = uriList.size();
        }
        std::string line = uriList.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == '\0')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#' || !startsWithNoCase(line, "file:")) {
            continue;
        }
        std::string rest = line.substr(5);
        if (rest.compare(0, 2, "//") == 0) {
            std::size_t slash = rest.find('/', 2);
            if (slash == std::string::npos || !isThisMachine(rest.substr(2, slash - 2))) {
                continue;
            }
            rest = rest.substr(slash);
        }
        if (rest.empty() || rest[0] != '/') {
            continue;
        }
        std::string path = percentDecoded(rest);
        if (path.find('\0') == std::string::npos) {
            paths.push_back(path);
        }
    }
    return paths;
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
