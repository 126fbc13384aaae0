#include "support/test_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

extern char** environ;

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

std::vector<std::string> mediaFilesIn(const std::string& dir) {
    std::vector<std::string> files;
    std::error_code error;
    if (dir.empty() || !std::filesystem::is_directory(dir, error)) {
        return files;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".wmv" || ext == ".wma" || ext == ".asf")) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> allMediaFiles() {
    std::vector<std::string> files = mediaFilesIn(testMediaDir());
    std::vector<std::string> corpus = mediaFilesIn(corpusDir());
    files.insert(files.end(), corpus.begin(), corpus.end());
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

int startKillableHelper(const std::string& program, const std::vector<std::string>& args,
                        std::size_t readyBytes, int timeoutMs) {
    int ready[2];
    EXPECT_EQ(::pipe2(ready, O_CLOEXEC), 0);
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    std::string said(readyBytes, '\0');
    EXPECT_EQ(::poll(&wait, 1, timeoutMs), 1)
        << program << " never reached the point to kill it at";
    EXPECT_EQ(::read(ready[0], said.data(), readyBytes), static_cast<ssize_t>(readyBytes));
    ::close(ready[0]);
    return pid;
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

FrameMd5 ffmpegFrameMd5(const std::string& path, const std::string& maps) {
    FrameMd5 result;
    const std::string text = runCommand("ffmpeg -nostdin -v error -i " + shellQuote(path) + " " +
                                            maps + " -c copy -f framemd5 - 2>/dev/null",
                                        &result.status);
    for (const std::string& line : lines(text)) {
        unsigned index = 0;
        long long num = 0;
        long long den = 0;
        if (std::sscanf(line.c_str(), "#tb %u: %lld/%lld", &index, &num, &den) == 3) {
            if (index >= result.timeBases.size()) {
                result.timeBases.resize(index + 1, {1, 1000});
            }
            if (den != 0) {
                result.timeBases[index] = {num, den};
            }
            continue;
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        // stream, dts, pts, duration, size, md5
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, ',');) {
            const std::size_t first = field.find_first_not_of(' ');
            fields.push_back(first == std::string::npos ? std::string() : field.substr(first));
        }
        if (fields.size() < 6) {
            continue;
        }
        FramePacket packet;
        packet.stream = std::stoi(fields[0]);
        packet.dts = std::stoll(fields[1]);
        packet.pts = std::stoll(fields[2]);
        packet.duration = std::stoll(fields[3]);
        packet.size = std::stoll(fields[4]);
        packet.md5 = fields[5];
        packet.line = line;
        result.packets.push_back(std::move(packet));
    }
    return result;
}

bool setHeaderDuration(std::string& bytes, std::uint64_t duration) {
    const std::size_t at = bytes.find(
        std::string("\xA1\xDC\xAB\x8C\x47\xA9\xCF\x11\x8E\xE4\x00\xC0\x0C\x20\x53\x65", 16));
    if (at == std::string::npos || at + 88 > bytes.size()) {
        return false;
    }
    // Play duration at 64 (100-ns units, with the preroll), preroll at 80 (milliseconds).
    std::uint64_t prerollMs = 0;
    std::memcpy(&prerollMs, bytes.data() + at + 80, 8);
    const std::uint64_t play = duration + prerollMs * 10000;
    std::memcpy(&bytes[at + 64], &play, 8);
    return true;
}

}  // namespace testsupport
