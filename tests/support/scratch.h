#pragma once

// Scratch files for tests: a directory of a test's own, and whole files read and written.

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

// The bytes of the file at `path`; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Makes or replaces the file at `path` with `bytes`.
inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The names in `directory`, sorted.
inline std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A directory made fresh under the system's temporary directory, and removed with everything in
// it when the object goes, whether the test passed or not.
class ScratchDir {
public:
    // `tag` shows in the directory's name, to tell a leftover's test.
    explicit ScratchDir(const std::string& tag = "test") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / ("splicor-" + tag + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data())) {
            path_ = pattern + "/";
        }
    }
    // Kept, and its path printed, when SPLICOR_KEEP_SCRATCH is set, to look at what a test made.
    ~ScratchDir() {
        if (!path_.empty() && std::getenv("SPLICOR_KEEP_SCRATCH")) {
            std::printf("test files kept in %s\n", path_.c_str());
        } else if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory, ending in "/"; empty when it could not be made.
    const std::string& path() const { return path_; }
    // A name in the directory.
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

}  // namespace testsupport
