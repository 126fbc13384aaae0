// The cut queue on real cuts: when jobs start, wait and stop, what the worker shows, which files
// it leaves, and how jobs come back after the program ends, normally or killed.

#include "cut/cut_queue.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "cli/commands.h"
#include "cut/trimlet.h"
#include "harness/fake_window.h"
#include "journal/cut_list_file.h"
#include "platform/event.h"
#include "platform/file_search.h"
#include "status/status_bar.h"
#include "support/eventually.h"
#include "support/packets.h"
#include "support/scratch.h"
#include "support/test_files.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::eventually;
using testsupport::readFile;
using testsupport::writeFile;
using Times = std::vector<std::uint64_t>;

namespace {

const std::string kCutting = "分割中..  ";
const std::string kNoCut = "分割中ファイル無し";
const std::string kDone = "保存しました  ";

// wmv2_wmav2.wmv: 8 s, key frames at 0.046, 2.046, 4.046 and 6.046 s.
const Times kSecondStretch = {20460000, 40460000};
const Times kLastStretch = {60460000, 80460000};
const Times kSecondAndLastStretch = {20460000, 40460000, 60460000, 80460000};
// two_video.wmv: stream 1 has a key frame every second, stream 2 every two seconds.
const Times kSecondOfStreamOne = {10460000, 20460000};

std::string mediaFile(const std::string& name) {
    return testsupport::testMediaDir() + "/" + name;
}

std::vector<std::string> files(const std::string& directory) {
    return platform::findFilesWithSuffix(directory, "");
}

std::vector<std::string> cutLists(const std::string& directory) {
    return platform::findFilesWithSuffix(directory, journal::kCutListSuffix);
}

using testsupport::packets;

// What the cut engine alone makes of a job, in a folder of its own.
std::string engineReference(const std::string& source, const Times& times,
                            const std::string& folder) {
    fs::create_directories(folder);
    std::vector<asf::TimeRange> ranges;
    for (std::size_t i = 0; i + 1 < times.size(); i += 2) {
        ranges.emplace_back(times[i], times[i + 1]);
    }
    std::string temporary = folder + "/temp.wmv", output = folder + "/reference.wmv";
    std::ostringstream startTimes;
    EXPECT_EQ(cut::runCut(source, output, temporary, ranges, 1, startTimes), media::S_OK);
    std::string listed = packets(output);
    fs::remove_all(folder);
    return listed;
}

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

// Part 4's texts in order without the percentages of a cut in progress, a text shown again
// counted once: the worker may look for work once more than needed, which shows the last
// outcome again.
std::vector<std::string> cutting(const testsupport::FakeWindow& window) {
    std::vector<std::string> shown;
    for (const std::string& text : window.texts(4)) {
        if (text.find('%') != std::string::npos) {
            continue;
        }
        if (shown.empty() || text != shown.back()) {
            shown.push_back(text);
        }
    }
    return shown;
}

// Every notice the window was given, one after the other.
std::string noticesOf(const testsupport::FakeWindow& window) {
    std::string all;
    for (const std::string& notice : window.notices()) {
        all += notice + "\n";
    }
    return all;
}

// Whether part 4 shows no cut in progress: nothing cut yet, or the last cut's outcome.
bool idle(const std::string& text) {
    return text == kNoCut || startsWith(text, kDone) || startsWith(text, "分割失敗  ");
}

// Holds the worker where it shows that it starts cutting a destination, until released. The
// worker holds no lock there, so the test can queue, pause and destroy meanwhile.
class StartGate {
public:
    void arm(testsupport::FakeWindow& window, const std::string& destinationName) {
        armed_ = true;
        window.watch([this, text = kCutting + destinationName](int part, const std::string& t) {
            if (part == 4 && t == text && armed_.exchange(false)) {
                reached_.signal();
                released_.wait();
            }
        });
    }
    bool waitReached() { return reached_.waitFor(20s); }
    void release() { released_.signal(); }

private:
    std::atomic<bool> armed_{false};
    platform::Event reached_;
    platform::Event released_;
};

class CutQueueTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root_.empty());
        thumb_ = root_ + "thum/";
        out_ = root_ + "out/";
        cwd_ = root_ + "cwd/";
        for (const std::string& d : {thumb_, out_, cwd_}) {
            fs::create_directories(d);
        }
        previous_ = fs::current_path();
        fs::current_path(cwd_);
        bar_.statusWindow = &window_;
    }
    void TearDown() override {
        gate_.release();
        queue_.reset();
        fs::current_path(previous_);
    }

    void start() { queue_ = std::make_unique<cut::CutQueue>(thumb_, &bar_); }

    void enqueue(const std::string& source, const std::string& destination, const Times& times,
                 std::uint16_t keyStream = 1) {
        auto* copy = static_cast<std::uint64_t*>(std::malloc(sizeof(std::uint64_t) * times.size()));
        std::copy(times.begin(), times.end(), copy);
        queue_->enqueue(source, destination, copy, static_cast<std::int32_t>(times.size()),
                        keyStream);
    }

    std::string reference(const std::string& source, const Times& times) {
        return engineReference(source, times, root_ + "reference");
    }

    // Until the worker has started `started` jobs in all and has nothing left to cut.
    bool waitIdle(std::size_t started) {
        return eventually([&] {
            std::vector<std::string> shown = cutting(window_);
            return !shown.empty() && idle(shown.back()) &&
                   static_cast<std::size_t>(std::count_if(shown.begin(), shown.end(), [](auto& t) {
                       return startsWith(t, kCutting);
                   })) == started;
        });
    }

    testsupport::ScratchDir scratch_{"queue"};
    const std::string root_ = scratch_.path();
    std::string thumb_, out_, cwd_;
    fs::path previous_;
    testsupport::FakeWindow window_;
    status::StatusBar bar_;
    StartGate gate_;
    std::unique_ptr<cut::CutQueue> queue_;
};

}  // namespace

TEST_F(CutQueueTest, JobsStartAtOnceRunInTurnAndWaitWhilePaused) {
    start();
    gate_.arm(window_, "a one.wmv");
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "a one.wmv", kSecondAndLastStretch);
    ASSERT_TRUE(gate_.waitReached());
    // Queued while the worker is about to cut: queuing does not wait for it, and the job runs
    // next without another wake-up.
    enqueue(mediaFile("two_video.wmv"), out_ + "b.wmv", kSecondOfStreamOne);
    EXPECT_EQ(window_.shown(3), "1  ファイル分割待ち");
    gate_.release();
    ASSERT_TRUE(waitIdle(2));
    EXPECT_EQ(cutting(window_),
              (std::vector<std::string>{kCutting + "a one.wmv", kDone + "a one.wmv",
                                        kCutting + "b.wmv", kDone + "b.wmv"}));
    EXPECT_EQ(window_.shown(3), "0  ファイル分割待ち");
    EXPECT_EQ(packets(out_ + "a one.wmv"),
              reference(mediaFile("wmv2_wmav2.wmv"), kSecondAndLastStretch));
    EXPECT_EQ(packets(out_ + "b.wmv"), reference(mediaFile("two_video.wmv"), kSecondOfStreamOne));

    // Paused while idle, an enqueue leaves the worker asleep until resumeWorker.
    queue_->pauseWorker();
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "c.wmv", kLastStretch);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(files(out_), (std::vector<std::string>{"a one.wmv", "b.wmv"}));
    EXPECT_EQ(cutLists(thumb_), std::vector<std::string>{"c.wmv-cut.txt"});
    queue_->resumeWorker();
    ASSERT_TRUE(waitIdle(3));
    EXPECT_EQ(packets(out_ + "c.wmv"), reference(mediaFile("wmv2_wmav2.wmv"), kLastStretch));

    // The temporary output went to the program's own folder and is gone; the current
    // directory, which may be any folder of the user's, is not touched.
    EXPECT_EQ(files(thumb_), std::vector<std::string>{});
    EXPECT_EQ(files(cwd_), std::vector<std::string>{});
}

TEST_F(CutQueueTest, PauseStopsTheCutInHandAndAnEnqueueLetsOnlyThatCutFinish) {
    start();
    gate_.arm(window_, "a.wmv");
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "a.wmv", kSecondAndLastStretch);
    ASSERT_TRUE(gate_.waitReached());
    queue_->pauseWorker();
    gate_.release();
    std::this_thread::sleep_for(300ms);
    // The engine has begun (its temporary output is reserved) and waits.
    EXPECT_TRUE(fs::exists(thumb_ + ".splicor-temp.wmv"));
    EXPECT_EQ(files(out_), std::vector<std::string>{});

    // The enqueue's wake-up lets the cut in hand finish, but the paused worker takes no job.
    enqueue(mediaFile("two_video.wmv"), out_ + "b.wmv", kSecondOfStreamOne);
    ASSERT_TRUE(eventually([&] { return cutLists(thumb_).size() == 1; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(cutLists(thumb_), std::vector<std::string>{"b.wmv-cut.txt"});
    EXPECT_EQ(files(out_), std::vector<std::string>{"a.wmv"});
    EXPECT_EQ(cutting(window_), (std::vector<std::string>{kCutting + "a.wmv", kDone + "a.wmv"}));

    queue_->resumeWorker();
    ASSERT_TRUE(waitIdle(2));
    EXPECT_EQ(packets(out_ + "a.wmv"),
              reference(mediaFile("wmv2_wmav2.wmv"), kSecondAndLastStretch));
    EXPECT_EQ(packets(out_ + "b.wmv"), reference(mediaFile("two_video.wmv"), kSecondOfStreamOne));
}

TEST_F(CutQueueTest, AFileThatTakesAQueuedJobsDestinationIsNeverReplaced) {
    start();
    // Two saves to one name while the worker waits, neither asked to replace a file: the first
    // writes it, the second fails. A file the user makes under a third job's name stays theirs;
    // a file the user agreed to replace is replaced.
    queue_->pauseWorker();
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "same.wmv", kLastStretch);
    enqueue(mediaFile("two_video.wmv"), out_ + "same.wmv", kSecondOfStreamOne);
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "mine.wmv", kLastStretch);
    writeFile(out_ + "replaced.wmv", "agreed to go");
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "replaced.wmv", kLastStretch);
    writeFile(out_ + "mine.wmv", "the user's own");
    queue_->resumeWorker();
    ASSERT_TRUE(waitIdle(4));
    EXPECT_EQ(packets(out_ + "same.wmv"), reference(mediaFile("wmv2_wmav2.wmv"), kLastStretch));
    EXPECT_EQ(readFile(out_ + "mine.wmv"), "the user's own");
    EXPECT_EQ(packets(out_ + "replaced.wmv"), reference(mediaFile("wmv2_wmav2.wmv"), kLastStretch));
    EXPECT_EQ(
        cutting(window_),
        (std::vector<std::string>{kCutting + "same.wmv", kDone + "same.wmv", kCutting + "same.wmv",
                                  "分割失敗  same.wmv", kCutting + "mine.wmv", "分割失敗  mine.wmv",
                                  kCutting + "replaced.wmv", kDone + "replaced.wmv"}));
}

TEST_F(CutQueueTest, RestoresEveryJobAtConstructionAndStartsTheFirstAtOnce) {
    std::uint64_t oddA[] = {10460000, 20460000, 999};  // a last odd value is not cut
    ASSERT_TRUE(journal::writeCutListFile(thumb_ + "a.wmv-cut.txt", mediaFile("two_video.wmv"),
                                          out_ + "a.wmv", oddA, 3));
    ASSERT_TRUE(journal::writeCutListFile(thumb_ + "b.wmv-cut.txt", mediaFile("wmv2_wmav2.wmv"),
                                          out_ + "b.wmv", kSecondStretch.data(), 2));
    ASSERT_TRUE(
        journal::writeCutListFile(thumb_ + "z.wmv-cut.txt", "", out_ + "z.wmv", nullptr, 0));
    writeFile(thumb_ + "bad-cut.txt", "/v/a.wmv\r\n/o/a.wmv\r\n3\r\n1\r\n");
    // What a killed run leaves: temporary outputs and cut list writes cut short. Files of
    // other names are not the program's, however alike.
    for (const char* name :
         {".splicor-temp.wmv", ".splicor-temp-3.wmv", "..splicor-temp.wmv.a1b2c3.part",
          "c.wmv-cut.txt.tmp", ".splicor-writing-Ab12Cd"}) {
        writeFile(thumb_ + name, "left");
    }
    for (const char* name :
         {"keep.wmv", "temp.wmv", "temp-3.wmv", ".temp.wmv.a1b2c3.part", ".splicor-temp-x.wmv"}) {
        writeFile(thumb_ + name, "the user's");
    }
    std::map<std::string, std::string> before;
    for (const std::string& name : files(thumb_)) {
        before[name] = readFile(thumb_ + name);
    }

    gate_.arm(window_, "a.wmv");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    start();
    // The first restored job has started with no further wake-up; every file it was restored
    // from is still there, rewritten unchanged.
    EXPECT_TRUE(gate_.waitReached());
    const std::vector<std::string> users = {".splicor-temp-x.wmv", ".temp.wmv.a1b2c3.part",
                                            "keep.wmv", "temp-3.wmv", "temp.wmv"};
    std::vector<std::string> expected = {"a.wmv-cut.txt", "b.wmv-cut.txt", "bad-cut.txt",
                                         "z.wmv-cut.txt"};
    expected.insert(expected.end(), users.begin(), users.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files(thumb_), expected);
    for (const std::string& name : files(thumb_)) {
        EXPECT_EQ(readFile(thumb_ + name), before[name]) << name;
    }
    gate_.release();
    EXPECT_TRUE(waitIdle(2));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "1046\n2046\n") << "one range each";
    const std::string said = testing::internal::GetCapturedStderr();

    // Restored jobs cut with the stream the thumbnails come from, the last video stream: a's
    // stretch starts at a key frame of stream 1 only, so on stream 2 it never opens and the job
    // fails without writing anything.
    EXPECT_FALSE(fs::exists(out_ + "a.wmv"));
    // The failure is told in the window with its reason, and shown until the next cut.
    const std::string told = noticesOf(window_);
    EXPECT_NE(told.find("保存できませんでした: " + out_ +
                        "a.wmv\n残す部分がキーフレームから始まりません"),
              std::string::npos)
        << told;
    EXPECT_EQ(told.find("b.wmv"), std::string::npos) << told;
    EXPECT_NE(said.find(out_ + "a.wmv"), std::string::npos) << said;
    EXPECT_EQ(packets(out_ + "b.wmv"), reference(mediaFile("wmv2_wmav2.wmv"), kSecondStretch));
    // The job without a source is dropped and keeps its file; the malformed file stays too.
    EXPECT_EQ(files(out_), (std::vector<std::string>{"b.wmv"}));
    expected = {"bad-cut.txt", "z.wmv-cut.txt"};
    expected.insert(expected.end(), users.begin(), users.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files(thumb_), expected);
    EXPECT_EQ(readFile(thumb_ + "bad-cut.txt"), before["bad-cut.txt"]);
    EXPECT_EQ(readFile(thumb_ + "z.wmv-cut.txt"), before["z.wmv-cut.txt"]);
}

TEST_F(CutQueueTest, DestructionFinishesTheCutInHandAndJobsWithTheSameFileNameKeepTheirOwnFiles) {
    // A file this run cannot read already has the plain name; it is left alone.
    writeFile(thumb_ + "clip.wmv-cut.txt", "stale");
    fs::create_directories(out_ + "1");
    fs::create_directories(out_ + "2");
    start();
    gate_.arm(window_, "clip.wmv");
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "1/clip.wmv", kSecondStretch);
    ASSERT_TRUE(gate_.waitReached());
    enqueue(mediaFile("two_video.wmv"), out_ + "2/clip.wmv", kSecondOfStreamOne);
    enqueue(mediaFile("wmv2_wmav2.wmv"), out_ + "1/clip.wmv", kLastStretch);
    queue_->pauseWorker();
    gate_.release();

    // At shutdown the paused cut in hand is finished and its file goes; the queued jobs keep
    // theirs, each naming its own job.
    queue_.reset();
    EXPECT_EQ(packets(out_ + "1/clip.wmv"), reference(mediaFile("wmv2_wmav2.wmv"), kSecondStretch));
    EXPECT_EQ(files(out_ + "2"), std::vector<std::string>{});
    EXPECT_EQ(readFile(thumb_ + "clip.wmv-cut.txt"), "stale");
    std::vector<std::string> queued = cutLists(thumb_);
    std::set<std::string> jobs;
    for (const std::string& name : queued) {
        if (auto list = journal::readCutListFile(thumb_ + name)) {
            jobs.insert(list->destination + " " + std::to_string(list->times.at(0)));
        }
    }
    EXPECT_EQ(jobs,
              (std::set<std::string>{out_ + "2/clip.wmv 10460000", out_ + "1/clip.wmv 60460000"}));
    EXPECT_EQ(queued.size(), 3u);

    // The next run takes both up again, each under the file it already has (the first run
    // started one job).
    gate_.arm(window_, "clip.wmv");
    start();
    ASSERT_TRUE(gate_.waitReached());
    EXPECT_EQ(cutLists(thumb_), queued);
    gate_.release();
    ASSERT_TRUE(waitIdle(3));
    EXPECT_EQ(cutLists(thumb_), std::vector<std::string>{"clip.wmv-cut.txt"});
    // Restored, the job cuts on the thumbnail stream (the last video stream), where its
    // stretch does not start at a key frame: it fails and writes nothing.
    EXPECT_FALSE(fs::exists(out_ + "2/clip.wmv"));
    EXPECT_EQ(packets(out_ + "1/clip.wmv"), reference(mediaFile("wmv2_wmav2.wmv"), kLastStretch));
}

TEST_F(CutQueueTest, DestructionEndsTheWorkerWhereverAPauseStoppedIt) {
    // A pause may stop the worker anywhere in its loop, also right after a resume woke it and
    // before it looks for work. The destructor's wake-up must end it from each of those places
    // rather than let it fall asleep again.
    for (int round = 0; round < 2000; ++round) {
        start();
        queue_->resumeWorker();
        for (int spin = 0; spin < round % 64; ++spin) {
            std::this_thread::yield();
        }
        queue_->pauseWorker();
        auto done = std::async(std::launch::async, [&] { queue_.reset(); });
        ASSERT_EQ(done.wait_for(10s), std::future_status::ready) << "round " << round;
    }
}

TEST_F(CutQueueTest, QuickJobsQueuedOneAfterAnotherEachRunAndLeaveNothing) {
    // Each job fails at once (its source is missing), so every enqueue lands just as the worker
    // goes back to sleep: a wake-up lost there, or a cut list file written after the worker
    // saw the job, leaves a file behind.
    start();
    for (int i = 0; i < 200; ++i) {
        enqueue(root_ + "missing.wmv", out_ + "never.wmv", kSecondStretch);
        ASSERT_TRUE(eventually([&] { return cutLists(thumb_).empty(); }, 5s)) << "job " << i;
    }
    EXPECT_EQ(files(thumb_), std::vector<std::string>{});
    EXPECT_EQ(files(out_), std::vector<std::string>{});
}

namespace {

// Starts the helper program on one job; returns its process id once the worker has started
// the job or, with holdAfter >= 0, once it has cut for that many microseconds and then stopped.
pid_t startHelper(const std::string& thumb, const std::string& source,
                  const std::string& destination, long holdAfter, const Times& times) {
    std::vector<std::string> args = {thumb, source, destination, "3", std::to_string(holdAfter)};
    for (std::uint64_t t : times) {
        args.push_back(std::to_string(t));
    }
    return testsupport::startKillableHelper(QUEUE_CRASH_HELPER, args, 1, 20000);
}

}  // namespace

TEST_F(CutQueueTest, AJobCutShortByAKilledProcessRunsAgainToACorrectOutputExactlyOnce) {
    // demo.wmv: 30 s, a key frame every two seconds; every other stretch is kept.
    std::string source = mediaFile("demo.wmv");
    Times times;
    for (std::uint64_t i = 0; i < 15; i += 2) {
        times.push_back(460000 + i * 20000000);
        times.push_back(460000 + (i + 1) * 20000000);
    }
    std::string expected = reference(source, times);

    // Killed as the cut starts, and killed while the cut is stopped before its first sample
    // or after a moment of cutting.
    for (long hold : {-1L, 0L, 2000L}) {
        SCOPED_TRACE(hold);
        std::string round = root_ + "round" + std::to_string(hold + 1) + "/";
        std::string thumb = round + "thum/", destination = round + "out/cut.wmv";
        fs::create_directories(thumb);
        fs::create_directories(round + "out");
        pid_t pid = startHelper(thumb, source, destination, hold, times);
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);

        // Never half a file under the destination's name: nothing, or the whole cut.
        bool finished = cutLists(thumb).empty();
        EXPECT_EQ(fs::exists(destination), finished);
        EXPECT_TRUE(hold != 0 || !finished);
        if (!finished) {
            testsupport::FakeWindow window;
            status::StatusBar bar;
            bar.statusWindow = &window;
            cut::CutQueue queue(thumb, &bar);
            ASSERT_TRUE(eventually([&] { return window.shown(4) == kDone + "cut.wmv"; }));
            EXPECT_EQ(cutting(window),
                      (std::vector<std::string>{kCutting + "cut.wmv", kDone + "cut.wmv"}));
        }
        EXPECT_EQ(packets(destination), expected);
        // No cut list file, no temporary output of either run.
        EXPECT_EQ(files(thumb), std::vector<std::string>{});
    }
}

TEST_F(CutQueueTest, RestoredJobsRunInQueueOrderAndNeverWriteWhatIsNotTheirs) {
    const std::string clip = mediaFile("wmv2_wmav2.wmv");
    const std::string source = out_ + "src.wmv", notes = out_ + "notes.txt";
    fs::copy_file(clip, source);
    writeFile(notes, "the user's notes");
    const std::string sourceBytes = readFile(source);
    // Four jobs to one destination: one from before the order was recorded (it came first),
    // then orders 2, 10 and 11 under names whose byte order is another.
    auto journal = [&](const std::string& name, const std::string& from, const std::string& to,
                       const Times& times, std::uint64_t order) {
        writeFile(thumb_ + name,
                  journal::formatCutList(from, to, times.data(),
                                         static_cast<std::int32_t>(times.size()), order));
    };
    journal("d.wmv-4-cut.txt", clip, out_ + "d.wmv", kSecondStretch, 0);
    journal("d.wmv-cut.txt", clip, out_ + "d.wmv", kSecondStretch, 2);
    journal("d.wmv-2-cut.txt", clip, out_ + "d.wmv", kSecondAndLastStretch, 10);
    journal("d.wmv-3-cut.txt", clip, out_ + "d.wmv", kLastStretch, 11);
    // Hand-written or planted jobs: onto the source under another spelling, onto a file that
    // is not a video.
    journal("self-cut.txt", source, out_ + "../out/./src.wmv", kSecondStretch, 3);
    journal("notes-cut.txt", clip, notes, kSecondStretch, 4);
    // Copies a killed final copy left beside d.wmv, and files of other names.
    const std::string asfStart("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C",
                               16);
    writeFile(out_ + ".d.wmv.splicor-part", asfStart + "partial");
    writeFile(out_ + ".d.wmv-1.splicor-part", "");
    for (const char* name : {".other.wmv.splicor-part", ".d.wmv-x.splicor-part"}) {
        writeFile(out_ + name, asfStart);
    }
    writeFile(out_ + ".d.wmv-2.splicor-part", "not a copy of ours");

    testing::internal::CaptureStderr();
    start();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(out_ + "../out/./src.wmv\n保存先が元のファイルです"), std::string::npos)
        << said;
    EXPECT_NE(said.find(notes + "\n保存先に Windows Media ファイルでないファイルがあります"),
              std::string::npos)
        << said;
    // However the source is spelled, queuing a cut onto it is refused too.
    fs::create_symlink(source, out_ + "link.wmv");
    auto* times = static_cast<std::uint64_t*>(std::malloc(2 * sizeof(std::uint64_t)));
    times[0] = kSecondStretch[0];
    times[1] = kSecondStretch[1];
    EXPECT_FALSE(queue_->enqueue(out_ + "link.wmv", source, times, 2, 1));
    // A job queued now comes after every restored one.
    queue_->pauseWorker();
    enqueue(clip, out_ + "late.wmv", kSecondStretch);
    std::optional<journal::CutList> late = journal::readCutListFile(thumb_ + "late.wmv-cut.txt");
    ASSERT_TRUE(late);
    EXPECT_EQ(late->order, 12u);
    queue_->resumeWorker();
    ASSERT_TRUE(waitIdle(5));

    EXPECT_EQ(packets(out_ + "d.wmv"), reference(clip, kLastStretch));
    EXPECT_EQ(readFile(source), sourceBytes);
    EXPECT_EQ(readFile(notes), "the user's notes");
    EXPECT_EQ(files(out_),
              (std::vector<std::string>{".d.wmv-2.splicor-part", ".d.wmv-x.splicor-part",
                                        ".other.wmv.splicor-part", "d.wmv", "late.wmv", "link.wmv",
                                        "notes.txt", "src.wmv"}));
    // The refused jobs' files are set aside, not deleted.
    EXPECT_EQ(files(thumb_),
              (std::vector<std::string>{"notes-cut.txt.refused", "self-cut.txt.refused"}));
}

TEST_F(CutQueueTest, AJobRestoredFromAnOldFileCutsTheThumbnailStreamWhereVideoIsNotStreamOne) {
    // The audio first: stream 1 is audio, whose samples carry no clean points.
    const std::string source = out_ + "audio first.wmv";
    int status = -1;
    testsupport::runCommand(
        "ffmpeg -nostdin -v error -i " + testsupport::shellQuote(mediaFile("wmv2_wmav2.wmv")) +
            " -map 0:a -map 0:v -c copy -f asf " + testsupport::shellQuote(source),
        &status);
    ASSERT_EQ(status, 0);
    media::ComPtr<media::IWMSyncReader> reader;
    std::vector<std::pair<media::WORD, bool>> streams;
    ASSERT_EQ(cli::openReader(source, reader, streams), media::S_OK);
    ASSERT_EQ(streams, (std::vector<std::pair<media::WORD, bool>>{{1, false}, {2, true}}));
    cli::KeyFrames keyFrames;
    ASSERT_EQ(cli::readKeyFrames(source, keyFrames), media::S_OK);
    ASSERT_GE(keyFrames.times.size(), 3u);
    const Times stretch = {keyFrames.times[1], keyFrames.times[2]};

    // The cut as the window queues it (with the document's video stream), and the same job as
    // an older run left it in a cut list file: no order, no stream.
    start();
    enqueue(source, out_ + "window.wmv", stretch, keyFrames.stream);
    ASSERT_TRUE(waitIdle(1));
    queue_.reset();
    writeFile(thumb_ + "restored.wmv-cut.txt", source + "\r\n" + out_ + "restored.wmv\r\n2\r\n" +
                                                   std::to_string(stretch[0]) + "\r\n" +
                                                   std::to_string(stretch[1]) + "\r\n");
    start();
    ASSERT_TRUE(eventually([&] { return cutLists(thumb_).empty(); }));
    ASSERT_TRUE(eventually([&] { return fs::exists(out_ + "restored.wmv"); }));
    const std::string cut = packets(out_ + "window.wmv");
    EXPECT_EQ(packets(out_ + "restored.wmv"), cut);
    // Both hold the stretch's video and audio.
    EXPECT_NE(cut.find("\n2 "), std::string::npos);
    EXPECT_NE(cut.find("\n1 "), std::string::npos);
}
