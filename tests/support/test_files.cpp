#include "support/test_files.h"

#include <sys/wait.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace testsupport {

namespace {

// The folder named by the environment variable, else the one the build configured; empty when
// neither exists.
std::string existingDir(const char* variable, const char* configured) {
    const char* value = std::getenv(variable);
    std::string dir = value && *value ? value : configured;
    return std::filesystem::is_directory(dir) ? dir : "";
}

}  // namespace

std::string testMediaDir() {
    return existingDir("SPLICOR_TEST_MEDIA", SPLICOR_DEFAULT_TEST_MEDIA);
}
std::string corpusDir() {
    return existingDir("SPLICOR_CORPUS", SPLICOR_DEFAULT_CORPUS);
}

std::vector<std::string> allMediaFiles() {
    std::vector<std::string> files;
    for (const std::string& dir : {testMediaDir(), corpusDir()}) {
        if (dir.empty()) {
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".wmv" || ext == ".wma" || ext == ".asf")) {
                files.push_back(entry.path().string());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        if (status) {
            *status = -1;
        }
        return output;
    }
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, n);
    }
    int rc = ::pclose(pipe);
    if (status) {
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return output;
}

std::string runPeer(const std::string& command, int* status) {
    int rc = 0;
    std::string output;
    for (int attempt = 0; attempt < 4; ++attempt) {
        output = runCommand("timeout -k 5 60 sh -c " + shellQuote(command), &rc);
        if (rc != 124) {
            break;
        }
    }
    if (status) {
        *status = rc;
    }
    return output;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.push_back(line);
    }
    return out;
}

}  // namespace testsupport
