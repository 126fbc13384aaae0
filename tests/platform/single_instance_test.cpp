// The single-instance lock, where it and its socket lie, and the channel through which a second
// start hands its files to the instance that runs.

#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "platform/instance_channel.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Paths = std::vector<std::string>;

namespace {

// A private runtime folder of the test's own, as the session gives one.
class InstanceFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/splicor-instance-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        places = platform::instancePlaces("SplicorTest", folder.c_str());
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string folder;
    platform::InstancePlaces places;
};

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    return address;
}

// A socket connected to, or listening on, `path`.
int socketAt(const std::string& path, bool listening = false) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = addressOf(path);
    auto* at = reinterpret_cast<sockaddr*>(&address);
    bool done = listening ? bind(fd, at, sizeof address) == 0 && listen(fd, 1) == 0
                          : connect(fd, at, sizeof address) == 0;
    if (!done) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string tmpStem(const std::string& name) {
    return "/tmp/" + name + "-" + std::to_string(getuid());
}

}  // namespace

TEST_F(InstanceFolder, LockAndSocketLieInThePrivateRuntimeFolderElseInTmpPerUser) {
    EXPECT_EQ(places.lock, folder + "/SplicorTest.lock");
    EXPECT_EQ(places.socket, folder + "/SplicorTest.socket");
    EXPECT_TRUE(places.privateFolder);
    EXPECT_EQ(platform::instancePlaces("SplicorTest", (folder + "//").c_str()).lock,
              folder + "/SplicorTest.lock");

    platform::InstancePlaces shared{tmpStem("SplicorTest") + ".lock",
                                    tmpStem("SplicorTest") + ".socket", false};
    auto inTmp = [&](const char* runtime) {
        platform::InstancePlaces got = platform::instancePlaces("SplicorTest", runtime);
        return got.lock == shared.lock && got.socket == shared.socket && !got.privateFolder;
    };
    EXPECT_TRUE(inTmp(nullptr));
    EXPECT_TRUE(inTmp(""));
    EXPECT_TRUE(inTmp("relative/run"));
    EXPECT_TRUE(inTmp((folder + "/missing").c_str()));
    // A folder others may enter is no better than /tmp.
    chmod(folder.c_str(), 0750);
    EXPECT_TRUE(inTmp(folder.c_str()));
    chmod(folder.c_str(), 0700);
    // A socket's path must fit its address.
    std::string deep = folder + "/" + std::string(100, 'd');
    ASSERT_TRUE(std::filesystem::create_directory(deep));
    chmod(deep.c_str(), 0700);
    EXPECT_TRUE(inTmp(deep.c_str()));
}

TEST_F(InstanceFolder, SecondHolderIsBusyUntilTheFirstLetsGo) {
    {
        platform::SingleInstanceLock first(places.lock);
        ASSERT_TRUE(first.held());
        platform::SingleInstanceLock second(places.lock);
        EXPECT_FALSE(second.held());
        EXPECT_TRUE(second.busy());
    }
    platform::SingleInstanceLock again(places.lock);
    EXPECT_TRUE(again.held());
    struct stat status;
    ASSERT_EQ(stat(places.lock.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(InstanceFolder, HolderInAnotherProcessIsBusyAndReleasesWhenKilled) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::SingleInstanceLock lock(places.lock);
        char held = lock.held() ? 'y' : 'n';
        (void)!write(ready[1], &held, 1);
        for (;;) {
            pause();
        }
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    EXPECT_TRUE(platform::SingleInstanceLock(places.lock).busy());
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(platform::SingleInstanceLock(places.lock).held());
    close(ready[0]);
    close(ready[1]);
}

TEST_F(InstanceFolder, ALinkOrAFifoUnderTheLocksNameIsNeitherFollowedNorWaitedOn) {
    std::string target = folder + "/elsewhere";
    ASSERT_EQ(symlink(target.c_str(), places.lock.c_str()), 0);
    platform::SingleInstanceLock linked(places.lock);
    EXPECT_FALSE(linked.held());
    EXPECT_FALSE(linked.busy());
    EXPECT_FALSE(linked.problem().empty());
    EXPECT_FALSE(std::filesystem::exists(target)) << "the link was followed";

    unlink(places.lock.c_str());
    ASSERT_EQ(mkfifo(places.lock.c_str(), 0600), 0);
    platform::SingleInstanceLock fifo(places.lock);
    EXPECT_FALSE(fifo.held());
    EXPECT_FALSE(fifo.busy());
}

TEST(FileList, CarriesAnyBytesButNulAndRefusesWhatIsNotAList) {
    Paths paths{"/v/caf\xe9.wmv", "/v/a b\n.asf", "", std::string(5000, '\xff')};
    std::string bytes = platform::encodeFileList(paths);
    Paths got;
    EXPECT_EQ(platform::decodeFileList(bytes, got), platform::FileList::complete);
    EXPECT_EQ(got, paths);
    EXPECT_EQ(platform::decodeFileList(platform::encodeFileList({}), got),
              platform::FileList::complete);
    EXPECT_TRUE(got.empty());

    for (std::size_t size = 0; size < bytes.size(); size += size < 20 ? 1 : 997) {
        EXPECT_EQ(platform::decodeFileList(bytes.substr(0, size), got),
                  platform::FileList::incomplete)
            << size;
    }
    auto decoded = [&](const std::string& b) { return platform::decodeFileList(b, got); };
    EXPECT_EQ(decoded(bytes + bytes), platform::FileList::malformed) << "bytes after the list";
    EXPECT_EQ(decoded("GET / HTTP/1.0\r\n"), platform::FileList::malformed);
    std::string unended = platform::encodeFileList({"/a"});
    unended.back() = 'x';
    EXPECT_EQ(decoded(unended), platform::FileList::malformed) << "a path without its end";
    std::string huge = platform::encodeFileList({});
    huge.replace(8, 4, "\xff\xff\xff\x7f");
    EXPECT_EQ(decoded(huge), platform::FileList::malformed) << "a length past the bound";
}

namespace {

// An instance's end whose user-interface thread is played by the test: each delivered request
// comes out of `next()`.
class Channel : public InstanceFolder {
protected:
    void SetUp() override {
        InstanceFolder::SetUp();
        server = std::make_unique<platform::InstanceServer>(places.socket);
        ASSERT_TRUE(server->listening()) << server->problem();
        server->start([this](std::shared_ptr<platform::FileHandOver> files) {
            std::lock_guard<std::mutex> guard(mutex);
            delivered.push_back(std::move(files));
        });
    }
    void TearDown() override {
        server.reset();
        InstanceFolder::TearDown();
    }

    std::future<platform::HandOver> send(Paths paths, Clock::duration wait = 2s) {
        return std::async(std::launch::async, [this, paths, wait] {
            return platform::handOverFiles(places.socket, paths, Clock::now() + wait);
        });
    }
    std::shared_ptr<platform::FileHandOver> next() {
        for (auto end = Clock::now() + 5s; Clock::now() < end;) {
            std::lock_guard<std::mutex> guard(mutex);
            if (!delivered.empty()) {
                auto files = delivered.front();
                delivered.erase(delivered.begin());
                return files;
            }
            std::this_thread::sleep_for(2ms);
        }
        return nullptr;
    }
    std::size_t deliveries() {
        std::lock_guard<std::mutex> guard(mutex);
        return delivered.size();
    }

    std::unique_ptr<platform::InstanceServer> server;
    std::mutex mutex;  // guards delivered
    std::vector<std::shared_ptr<platform::FileHandOver>> delivered;
};

}  // namespace

TEST_F(Channel, TheSenderHearsItsFilesWereTakenOnlyOnceTheyAre) {
    Paths paths{"/v/b.asf", "/v/a\xe9.wmv"};
    auto sent = send(paths);
    auto files = next();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->paths(), paths);
    EXPECT_EQ(sent.wait_for(200ms), std::future_status::timeout) << "answered before taken";
    EXPECT_TRUE(files->take());
    EXPECT_EQ(sent.get(), platform::HandOver::taken);

    // No files: a request all the same (the window comes forward).
    auto empty = send({});
    files = next();
    ASSERT_NE(files, nullptr);
    EXPECT_TRUE(files->paths().empty());
    files->take();
    EXPECT_EQ(empty.get(), platform::HandOver::taken);
}

TEST_F(Channel, AHungInstanceIsNoAnswerInTimeAndAClosingOneIsNotTaken) {
    auto start = Clock::now();
    auto hung = send({"/v/a.wmv"});
    auto files = next();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(hung.get(), platform::HandOver::noAnswer);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_FALSE(files->take()) << "taken after its sender was told it was not";

    auto closing = send({"/v/a.wmv"});
    files = next();
    ASSERT_NE(files, nullptr);
    files->decline();
    EXPECT_EQ(closing.get(), platform::HandOver::notTaken);

    // Stopping abandons the request in hand.
    auto stopped = send({"/v/a.wmv"});
    ASSERT_NE(next(), nullptr);
    server.reset();
    EXPECT_EQ(stopped.get(), platform::HandOver::notTaken);
    EXPECT_FALSE(std::filesystem::exists(places.socket)) << "the socket stayed";
    EXPECT_EQ(send({}).get(), platform::HandOver::noInstance);
}

TEST_F(Channel, WhatIsNotAFileListIsDroppedAndTheNextSenderIsServed) {
    auto answered = [this](const std::string& bytes) {
        int fd = socketAt(places.socket);
        (void)!write(fd, bytes.data(), bytes.size());
        char answer;
        ssize_t n = read(fd, &answer, 1);  // the listener closes without an answer
        close(fd);
        return n;
    };
    std::string good = platform::encodeFileList({"/v/a.wmv"});
    EXPECT_EQ(answered("GET / HTTP/1.0\r\n\r\n"), 0);
    EXPECT_EQ(answered(good + "trailing"), 0);
    // Cut short: the sender went before the list was whole.
    int fd = socketAt(places.socket);
    (void)!write(fd, good.data(), good.size() - 1);
    close(fd);
    // One that sends nothing holds the listener for a while at most.
    int silent = socketAt(places.socket);

    auto sent = send({"/v/b.asf"}, 5s);
    auto files = next();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->paths(), Paths{"/v/b.asf"});
    files->take();
    EXPECT_EQ(sent.get(), platform::HandOver::taken);
    EXPECT_EQ(deliveries(), 0u) << "a malformed request was delivered";
    close(silent);
}

TEST_F(InstanceFolder, AStaleSocketOfOursIsReplacedAndAnythingElseLeftAlone) {
    int stale = socketAt(places.socket, true);
    ASSERT_GE(stale, 0);
    close(stale);  // an instance that ended without removing it
    {
        platform::InstanceServer server(places.socket);
        EXPECT_TRUE(server.listening()) << server.problem();
    }
    std::ofstream(places.socket) << "not a socket";
    platform::InstanceServer server(places.socket);
    EXPECT_FALSE(server.listening());
    EXPECT_FALSE(server.problem().empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(places.socket));
}

// In /tmp anybody may connect to the socket, or listen under its name first: only the same user
// is served, and only the same user is sent paths. (Needs root, to be another user for a while.)
TEST_F(InstanceFolder, AnotherUsersSocketIsNeitherServedNorSentPaths) {
    if (getuid() != 0) {
        GTEST_SKIP() << "only root can act as another user here";
    }
    chmod(folder.c_str(), 0777);
    // In a child, as another user: `listening`, accepts one connection on `path` and ends with 1
    // when bytes come; else sends a file list to `path` and ends with 1 when it is answered.
    auto asNobody = [](const std::string& path, bool listening, int ready = -1) {
        pid_t child = fork();
        if (child != 0) {
            return child;
        }
        if (setuid(65534) != 0) {
            _exit(90);
        }
        int fd = socketAt(path, listening);
        if (fd < 0) {
            _exit(91);
        }
        char bytes[64];
        if (listening) {
            (void)!write(ready, "r", 1);
            int connection = accept(fd, nullptr, nullptr);
            _exit(connection >= 0 && read(connection, bytes, sizeof bytes) > 0 ? 1 : 0);
        }
        std::string list = platform::encodeFileList({"/v/a.wmv"});
        (void)!send(fd, list.data(), list.size(), MSG_NOSIGNAL);  // turned away at once, maybe
        _exit(read(fd, bytes, 1) > 0 ? 1 : 0);
    };
    auto exitStatus = [](pid_t child) {
        int status = -1;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };

    std::string ours = folder + "/ours.socket";
    platform::InstanceServer server(ours);
    std::atomic<int> deliveries{0};
    server.start([&](std::shared_ptr<platform::FileHandOver>) { ++deliveries; });
    chmod(ours.c_str(), 0666);  // as if its mode did not keep others out
    EXPECT_EQ(exitStatus(asNobody(ours, false)), 0) << "another user's request was answered";
    server.stop();
    EXPECT_EQ(deliveries, 0);

    std::string theirs = folder + "/theirs.socket";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t listener = asNobody(theirs, true, ready[1]);
    char r;
    ASSERT_EQ(read(ready[0], &r, 1), 1);
    EXPECT_EQ(platform::handOverFiles(theirs, {"/v/a.wmv"}, Clock::now() + 2s),
              platform::HandOver::noInstance);
    EXPECT_EQ(exitStatus(listener), 0) << "paths were sent to another user's socket";
    close(ready[0]);
    close(ready[1]);
}
