// The POSIX file layer: whole reads and writes through signals and short transfers, replacing a
// file through a temporary, and the parts of a path.

#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::atomic<int> signalsTaken{0};

void takeSignal(int) {
    ++signalsTaken;
}

// SIGUSR1 interrupts blocking calls (no SA_RESTART) while an object of this lives.
class InterruptingSignal {
public:
    InterruptingSignal() {
        struct sigaction action = {};
        action.sa_handler = takeSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGUSR1, &action, &previous_);
    }
    ~InterruptingSignal() { ::sigaction(SIGUSR1, &previous_, nullptr); }

private:
    struct sigaction previous_ = {};
};

// Signals `thread` until it has taken a few (or for a second, when it has ended), so that a
// call it is blocked in is interrupted.
void interrupt(std::thread& thread) {
    const int before = signalsTaken.load();
    for (int tries = 0; tries < 200 && signalsTaken.load() < before + 3; ++tries) {
        ::pthread_kill(thread.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string content(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

class Files : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "splicor-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string dir_;
};

}  // namespace

TEST(FileCalls, WholeTransfersGoOnThroughSignalsAndShortPieces) {
    InterruptingSignal signal;
    // Far more than a pipe holds: the writer blocks, is interrupted, and writes in pieces.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::vector<char> sent(1 << 20);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<char>(i * 7 + i / 251);
    }
    bool wrote = false;
    std::thread writer([&] {
        wrote = platform::writeFully(pipeEnds[1], sent.data(), sent.size());
        ::close(pipeEnds[1]);
    });
    interrupt(writer);
    std::vector<char> got(sent.size());
    EXPECT_EQ(platform::readFully(pipeEnds[0], got.data(), got.size()),
              static_cast<ssize_t>(sent.size()));
    writer.join();
    ::close(pipeEnds[0]);
    EXPECT_TRUE(wrote);
    EXPECT_TRUE(got == sent);

    // A reader blocked on an empty pipe is interrupted, then takes what comes up to the end.
    ASSERT_EQ(::pipe(pipeEnds), 0);
    char rest[8];
    ssize_t read = 0;
    std::thread reader([&] { read = platform::readFully(pipeEnds[0], rest, sizeof rest); });
    interrupt(reader);
    EXPECT_TRUE(platform::writeFully(pipeEnds[1], "abc", 3));
    ::close(pipeEnds[1]);
    reader.join();
    ::close(pipeEnds[0]);
    EXPECT_EQ(read, 3);
    EXPECT_EQ(std::string(rest, 3), "abc");
}

TEST_F(Files, ReadsAndWritesAtOffsetsStopOnlyAtTheEnd) {
    const int fd = platform::createNewFile(dir_ + "f", 0644);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(platform::writeFullyAt(fd, 4, "world", 5));
    ASSERT_TRUE(platform::writeFullyAt(fd, 0, "hey ", 4));
    ::close(fd);
    const int in = ::open((dir_ + "f").c_str(), O_RDONLY);
    char buffer[16] = {};
    EXPECT_EQ(platform::readFullyAt(in, 2, buffer, sizeof buffer), 7);
    EXPECT_EQ(std::string(buffer, 7), "y world");
    EXPECT_EQ(platform::readFullyAt(in, 9, buffer, sizeof buffer), 0);
    ::close(in);
    // A descriptor open for reading only takes no writes: the failure and its reason.
    const int readOnly = ::open((dir_ + "f").c_str(), O_RDONLY);
    EXPECT_FALSE(platform::writeFully(readOnly, "x", 1));
    EXPECT_EQ(errno, EBADF);
    ::close(readOnly);
}

TEST_F(Files, AReplacementTakesTheNameWholeOrLeavesEverythingAsItWas) {
    // A new file is only ever a new one: not an existing file, not through a link.
    std::ofstream(dir_ + "old") << "old content";
    fs::create_symlink(dir_ + "target", dir_ + "link");
    EXPECT_LT(platform::createNewFile(dir_ + "old", 0644), 0);
    EXPECT_LT(platform::createNewFile(dir_ + "link", 0644), 0);
    EXPECT_FALSE(fs::exists(dir_ + "target"));

    const auto replace = [&](const std::string& path, const std::string& text) {
        const std::string temporary = dir_ + ".writing";
        const int fd = platform::createNewFile(temporary, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_TRUE(platform::writeFully(fd, text.data(), text.size()));
        const int error = platform::replaceWithTemporary(fd, temporary, path);
        // The descriptor is closed either way.
        EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
        return error;
    };
    EXPECT_EQ(replace(dir_ + "old", "new content"), 0);
    EXPECT_EQ(content(dir_ + "old"), "new content");
    // A link under the name is replaced, never followed.
    EXPECT_EQ(replace(dir_ + "link", "file"), 0);
    EXPECT_FALSE(fs::is_symlink(dir_ + "link"));
    EXPECT_FALSE(fs::exists(dir_ + "target"));
    EXPECT_FALSE(fs::exists(dir_ + ".writing"));
    // A name that cannot be taken: the reason, the folder as it was, the temporary left to the
    // caller.
    fs::create_directories(dir_ + "folder/inside");
    EXPECT_EQ(replace(dir_ + "folder", "x"), EISDIR);
    EXPECT_TRUE(fs::is_directory(dir_ + "folder/inside"));
    EXPECT_EQ(content(dir_ + ".writing"), "x");
}

TEST(FileCalls, PathParts) {
    struct Case {
        std::string path, name, folderPart, folder, stem, extension;
    };
    for (const Case& c : {
             Case{"dir/clip.wmv", "clip.wmv", "dir/", "dir", "dir/clip", ".wmv"},
             Case{"/clip.wmv", "clip.wmv", "/", "/", "/clip", ".wmv"},
             Case{"clip", "clip", "", ".", "clip", ""},
             Case{"/a/b.d/clip", "clip", "/a/b.d/", "/a/b.d", "/a/b.d/clip", ""},
             Case{"a/.hidden", ".hidden", "a/", "a", "a/.hidden", ""},
             Case{"a/b.tar.gz", "b.tar.gz", "a/", "a", "a/b.tar", ".gz"},
             Case{"dir/", "", "dir/", "dir", "dir/", ""},
         }) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(platform::fileNamePart(c.path), c.name);
        EXPECT_EQ(platform::folderPart(c.path), c.folderPart);
        EXPECT_EQ(platform::folderOf(c.path), c.folder);
        EXPECT_EQ(platform::splitExtension(c.path), std::make_pair(c.stem, c.extension));
    }
}
