// The Controller with real documents: the loader thread, switching between documents, saving,
// and what survives a restart.

#include "control/controller.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "cut/cut_queue.h"
#include "harness/fake_window.h"
#include "journal/cut_list_file.h"
#include "platform/bitmap.h"
#include "platform/event.h"
#include "platform/file_search.h"
#include "platform/own_files.h"
#include "status/status_bar.h"
#include "support/eventually.h"
#include "support/packets.h"
#include "support/scratch.h"
#include "support/test_files.h"
#include "thumbs/thumb_document.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using control::Controller;
using testsupport::eventually;
using testsupport::readFile;
using testsupport::writeFile;
using thumbs::ThumbDocument;

namespace {

const std::string kBaseTitle = "splicor2 0.019";
const std::string kNothingLoading = "読込中ファイル無し";
constexpr int kPendingPart = 1;
constexpr int kLoadingPart = 2;

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(testsupport::testMediaDir() + "/demo.wmv")) {
            GTEST_SKIP() << "test media missing";
        }
        ASSERT_FALSE(sources.empty() || thumbDir.empty());
        bar.baseTitle = kBaseTitle;
        bar.mainWindow = &window;
        bar.statusWindow = &window;
    }

    void TearDown() override { controller.reset(); }

    // A copy of a generated test medium in the sources directory (outputs are written beside
    // their sources).
    std::string source(const std::string& name, const std::string& as = "") {
        const std::string path = sources + (as.empty() ? name : as);
        fs::copy_file(testsupport::testMediaDir() + "/" + name, path,
                      fs::copy_options::overwrite_existing);
        return path;
    }

    // A Controller as start-up makes it, with the window stored and a first size given.
    void start(std::uint32_t width = 800, std::uint32_t height = 600) {
        controller = std::make_unique<Controller>(thumbDir, &bar);
        controller->mainWindow = &window;
        controller->resize(&window, width, height);
    }

    // Every document the Controller holds in its lists or shows.
    std::size_t held() {
        std::lock_guard<std::recursive_mutex> guard(controller->listLock);
        return controller->readyDocuments.size() + controller->pendingDocuments.size() +
               (controller->currentDocument.load() ? 1 : 0);
    }

    // Waits until the loader has taken every pending document and has gone idle.
    // Queues the files in their order and waits until the loader has read them all.
    bool loadAll(std::initializer_list<std::string> paths) {
        for (const std::string& path : paths) {
            controller->addFile(path, &window);
        }
        controller->startLoading();
        return loaderIdle();
    }

    bool loaderIdle() {
        return eventually([&] {
            std::lock_guard<std::recursive_mutex> guard(controller->listLock);
            return controller->pendingDocuments.empty() &&
                   window.shown(kLoadingPart) == kNothingLoading &&
                   platform::suspendCount(controller->loaderThreadId) > 0;
        });
    }

    std::string currentPath() {
        ThumbDocument* current = controller->currentDocument.load();
        return current ? current->sourcePath() : "";
    }

    std::vector<std::string> readyPaths() {
        std::lock_guard<std::recursive_mutex> guard(controller->listLock);
        std::vector<std::string> paths;
        for (ThumbDocument* document : controller->readyDocuments) {
            paths.push_back(document->sourcePath());
        }
        return paths;
    }

    std::vector<std::string> cutListDestinations() {
        std::vector<std::string> out;
        for (const std::string& name : platform::findFilesWithSuffix(thumbDir, "-cut.txt")) {
            if (auto list = journal::readCutListFile(thumbDir + name)) {
                out.push_back(list->destination);
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    testsupport::ScratchDir sourceDir{"control-src"}, thumbScratch{"control-thum"};
    const std::string sources = sourceDir.path();
    const std::string thumbDir = thumbScratch.path();
    testsupport::FakeWindow window;
    status::StatusBar bar;
    std::unique_ptr<Controller> controller;
};

TEST_F(ControllerTest, AddingIgnoresEmptyAndKnownPathsWithoutAnyStatusChange) {
    start();
    const std::string a = source("wmv1_wmav1.wmv");
    const std::string b = source("wmv2_wmav2.wmv");
    controller->addFile(a, &window);
    controller->addFile(b, &window);
    EXPECT_EQ(window.texts(kPendingPart),
              (std::vector<std::string>{"1  ファイル待ち", "2  ファイル待ち"}));

    const auto before = window.allTexts();
    controller->addFile("", &window);
    controller->addFile(a, &window);
    controller->addFile(b, &window);
    EXPECT_EQ(window.allTexts(), before);
    EXPECT_EQ(held(), 2u);

    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(currentPath(), a);
    ASSERT_EQ(readyPaths(), std::vector<std::string>{b});
    // Current and ready documents are known too.
    const auto loaded = window.allTexts();
    controller->addFile(a, &window);
    controller->addFile(b, &window);
    EXPECT_EQ(window.allTexts(), loaded);
    EXPECT_EQ(held(), 2u);
}

TEST_F(ControllerTest, FirstExtractedDocumentIsShownFromTheLoaderAndUnreadablePathsVanish) {
    start(640, 300);
    const std::string missing = sources + "missing.wmv";
    const std::string notMedia = sources;  // a directory, as a multiple selection's first name
    const std::string demo = source("demo.wmv");
    controller->addFile(missing, &window);
    controller->addFile(notMedia, &window);
    controller->addFile(demo, &window);
    window.clearViewCalls();
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());

    ThumbDocument* current = controller->currentDocument.load();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->sourcePath(), demo);
    EXPECT_TRUE(current->ready);
    // Laid out with the stored size and painted again.
    EXPECT_EQ(current->clientWidth, 640);
    EXPECT_EQ(current->clientHeight, 300);
    EXPECT_EQ(current->columns, 4);
    ASSERT_FALSE(window.scrollInfos().empty());
    EXPECT_EQ(window.scrollInfos().back().page, 2u);
    EXPECT_GE(window.invalidations(), 1);
    // Its bitmaps were made before it was shown.
    for (const auto& bitmap : current->frameBitmaps) {
        EXPECT_NE(bitmap, nullptr);
    }
    EXPECT_EQ(window.titles().back(), demo + " - " + kBaseTitle);
    EXPECT_EQ(held(), 1u);
    EXPECT_EQ(bar.pendingCount.load(), 0);
    EXPECT_EQ(bar.readyCount.load(), 0);
    // The pending count counted each document while it was extracted: 3, 2, 1, then 0.
    EXPECT_EQ(window.texts(kPendingPart).back(), "0  ファイル待ち");
    // No trace of the failed documents in the thumbnail directory.
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, "-thum.txt"),
              std::vector<std::string>{"demo.wmv-thum.txt"});
}

TEST_F(ControllerTest, SavesQueueCutsOnlyForNewDestinationsAndNumbersStopAt99) {
    start();
    const std::string source1 = source("wmv2_wmav2.wmv", "clip.asf");
    controller->addFile(source1, &window);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(currentPath(), source1);
    // Keep the jobs queued so that their cut list files can be read.
    controller->cutQueue->pauseWorker();

    controller->saveAs("");
    controller->saveAs(source1);
    EXPECT_TRUE(cutListDestinations().empty());

    ThumbDocument* current = controller->currentDocument.load();
    controller->saveNumbered();  // 1
    current->nextSaveNumber = 98;
    controller->saveNumbered();  // 98
    controller->saveNumbered();  // 99
    controller->saveNumbered();  // past 99: nothing
    EXPECT_EQ(current->nextSaveNumber, 100);
    controller->saveAs(sources + "other.wmv");
    EXPECT_EQ(cutListDestinations(),
              (std::vector<std::string>{sources + "clip-1.asf", sources + "clip-98.asf",
                                        sources + "clip-99.asf", sources + "other.wmv"}));

    // A document that is not ready yields no numbered save.
    current->ready = false;
    controller->saveNumbered();
    current->ready = true;
    EXPECT_EQ(cutListDestinations().size(), 4u);
    EXPECT_EQ(current->nextSaveNumber, 100);
}

TEST_F(ControllerTest, ClosingAndSendingBackStepThroughTheReadyDocuments) {
    start();
    const std::string a = source("wmv1_wmav1.wmv", "a.wmv");
    const std::string b = source("wmv2_wmav2.wmv", "b.wmv");
    const std::string c = source("mp43_only.asf", "c.asf");
    ASSERT_TRUE(loadAll({a, b, c}));
    ASSERT_EQ(currentPath(), a);
    ASSERT_EQ(readyPaths(), (std::vector<std::string>{b, c}));
    EXPECT_EQ(bar.readyCount.load(), 2);

    controller->sendBack(&window);
    EXPECT_EQ(currentPath(), b);
    EXPECT_EQ(readyPaths(), (std::vector<std::string>{c, a}));
    EXPECT_EQ(window.titles().back(), b + " - " + kBaseTitle);
    // The document sent back keeps its files; the shown one got its bitmaps.
    EXPECT_TRUE(fs::exists(thumbDir + "a.wmv-thum.txt"));
    for (const auto& bitmap : controller->currentDocument.load()->frameBitmaps) {
        EXPECT_NE(bitmap, nullptr);
    }

    controller->closeDocument(&window, false);
    EXPECT_EQ(currentPath(), c);
    EXPECT_EQ(readyPaths(), std::vector<std::string>{a});
    EXPECT_FALSE(fs::exists(thumbDir + "b.wmv-thum.txt"));
    EXPECT_FALSE(fs::exists(thumbDir + "b.wmv.thum"));
    EXPECT_EQ(bar.readyCount.load(), 1);

    controller->sendBack(&window);  // one ready document: the two swap
    EXPECT_EQ(currentPath(), a);
    EXPECT_EQ(readyPaths(), std::vector<std::string>{c});
    controller->closeDocument(&window, false);
    EXPECT_EQ(currentPath(), c);
    EXPECT_TRUE(readyPaths().empty());

    // With nothing ready, sending back only sets the same title again.
    const std::size_t titles = window.titles().size();
    controller->sendBack(&window);
    EXPECT_EQ(currentPath(), c);
    ASSERT_EQ(window.titles().size(), titles + 1);
    EXPECT_EQ(window.titles().back(), c + " - " + kBaseTitle);

    // Closing the last document empties the window and the title.
    controller->closeDocument(&window, false);
    EXPECT_EQ(controller->currentDocument.load(), nullptr);
    EXPECT_EQ(window.titles().back(), " - " + kBaseTitle);
    EXPECT_TRUE(platform::findFilesWithSuffix(thumbDir, "-thum.txt").empty());

    // The cut worker was stopped and resumed by every switch; a cut asked for now still runs.
    controller->addFile(c, &window);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(currentPath(), c);
    controller->saveNumbered();
    EXPECT_TRUE(eventually([&] { return fs::exists(sources + "c-1.asf"); }));
}

TEST_F(ControllerTest, ShutdownGivesUpTheExtractionInHandAndTheNextStartReadsItAgain) {
    start();
    const std::string first = source("wmv1_wmav1.wmv", "a.wmv");
    const std::string second = source("demo.wmv", "b.wmv");
    const std::string third = source("mp43_only.asf", "c.asf");
    controller->addFile(first, &window);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    controller->addFile(second, &window);
    controller->addFile(third, &window);
    platform::Event extracting;
    window.watch([&](int part, const std::string& text) {
        if (part == kLoadingPart && text.rfind("読込中..  b.wmv", 0) == 0) {
            extracting.signal();
        }
    });
    controller->startLoading();
    ASSERT_TRUE(extracting.waitFor(60s));
    controller->shutdown();
    window.watch(nullptr);
    // b.wmv was given up half read, c.asf never taken: neither has thumbnails, both wait.
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, "-thum.txt"),
              std::vector<std::string>{"a.wmv-thum.txt"});
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, ".thum"),
              std::vector<std::string>{"a.wmv.thum"});
    controller.reset();

    // The next start: a.wmv is shown from its files, the other two are read again in their order.
    start();
    EXPECT_EQ(currentPath(), first);
    EXPECT_EQ(bar.pendingCount.load(), 2);
    EXPECT_EQ(bar.readyCount.load(), 0);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(readyPaths(), (std::vector<std::string>{second, third}));
    EXPECT_FALSE(fs::exists(thumbDir + control::Controller::kWaitingFilesName));
    thumbs::ThumbDocument* current = controller->currentDocument.load();
    EXPECT_TRUE(current->ready);
    cli::KeyFrames keyFrames;
    ASSERT_EQ(cli::readKeyFrames(first, keyFrames), media::S_OK);
    EXPECT_EQ(current->frameStarts, keyFrames.times);
}

TEST_F(ControllerTest, ARestoredDocumentWhoseSourceIsGoneIsDroppedAndOneReplacedIsReadAgain) {
    start();
    const std::string gone = source("wmv1_wmav1.wmv", "a.wmv");
    const std::string replaced = source("wmv1_wmav1.wmv", "b.wmv");
    const std::string kept = source("wmv1_wmav1.wmv", "c.wmv");
    ASSERT_TRUE(loadAll({gone, replaced, kept}));
    controller->shutdown();
    controller.reset();
    fs::remove(gone);
    // Another video moved into place under the same name: its content time is older than the
    // thumbnails', only the move itself is newer.
    const std::string other = source("demo.wmv", "other.wmv");
    fs::last_write_time(other, fs::file_time_type::clock::now() - std::chrono::hours(24));
    fs::rename(other, replaced);

    start();
    EXPECT_EQ(currentPath(), kept);
    EXPECT_TRUE(readyPaths().empty());
    EXPECT_EQ(bar.pendingCount.load(), 1);
    // a.wmv's files are set aside, not deleted, and the user is told.
    EXPECT_TRUE(fs::exists(thumbDir + "a.wmv-thum.txt.source-gone"));
    EXPECT_TRUE(fs::exists(thumbDir + "a.wmv.thum.source-gone"));
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(readyPaths(), std::vector<std::string>{replaced});
    cli::KeyFrames keyFrames;
    ASSERT_EQ(cli::readKeyFrames(replaced, keyFrames), media::S_OK);
    EXPECT_EQ(controller->readyDocuments.front()->frameStarts, keyFrames.times)
        << "the replaced file's own key frames";
    std::vector<std::string> notices = window.notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(gone), std::string::npos);
}

// Media times of the key frames a cut of `ranges` should hold: each kept frame's start moved back
// by the gaps before it.
std::vector<std::uint64_t> expectedKeyFrames(const ThumbDocument& document) {
    thumbs::MediaTime* ranges = nullptr;
    std::int32_t count = 0;
    document.getRanges(&ranges, &count);
    std::vector<std::uint64_t> times;
    std::uint64_t offset = 0;
    for (std::int32_t r = 0; r + 1 < count; r += 2) {
        for (std::uint64_t start : document.frameStarts) {
            if (start >= ranges[r] && start < ranges[r + 1]) {
                times.push_back(start - ranges[r] + offset);
            }
        }
        offset += ranges[r + 1] - ranges[r];
    }
    std::free(ranges);
    return times;
}

bool decodesCleanly(const std::string& path) {
    int status = -1;
    const std::string output = testsupport::runCommand(
        "ffmpeg -nostdin -v error -i " + testsupport::shellQuote(path) + " -f null - 2>&1",
        &status);
    return status == 0 && output.empty();
}

TEST_F(ControllerTest, EditedDocumentsAreCutAndOpenOnesComeBackAfterARestart) {
    start();
    const std::string a = source("demo.wmv", "a.wmv");
    const std::string b = source("all_key_small_packets.wmv", "b.wmv");
    const std::string c = source("wmv2_wmav2.wmv", "c.wmv");
    ASSERT_TRUE(loadAll({a, b, c}));
    ASSERT_EQ(currentPath(), a);

    // Delete two key frames in the middle of a.wmv, then save it numbered and close it.
    ThumbDocument* current = controller->currentDocument.load();
    ASSERT_GT(current->frameStarts.size(), 6u);
    current->removeFrame(4);
    current->removeFrame(4);
    const std::vector<std::uint64_t> expectedA = expectedKeyFrames(*current);
    controller->saveNumbered();
    controller->closeDocument(&window, false);

    // b.wmv is shown next: keep a run of it.
    ASSERT_EQ(currentPath(), b);
    current = controller->currentDocument.load();
    current->selectionAnchor = 10;
    current->selectionEnd = 20;
    const std::vector<std::uint64_t> expectedB = expectedKeyFrames(*current);
    ASSERT_EQ(expectedB.size(), 11u);
    controller->saveAs(sources + "b-run.wmv");

    ASSERT_TRUE(eventually([&] { return cutListDestinations().empty(); }, 120s));
    ASSERT_TRUE(eventually([&] { return fs::exists(sources + "b-run.wmv"); }));
    const std::vector<std::pair<std::string, std::vector<std::uint64_t>>> outputs = {
        {sources + "a-1.wmv", expectedA}, {sources + "b-run.wmv", expectedB}};
    for (const auto& [output, expected] : outputs) {
        SCOPED_TRACE(output);
        ASSERT_TRUE(fs::exists(output));
        EXPECT_TRUE(decodesCleanly(output));
        cli::KeyFrames keyFrames;
        ASSERT_EQ(cli::readKeyFrames(output, keyFrames), media::S_OK);
        ASSERT_EQ(keyFrames.times.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(static_cast<double>(keyFrames.times[i]), static_cast<double>(expected[i]),
                        10000.0)
                << "key frame " << i;
        }
    }

    // Shut down with b and c open: both come back with the same frames, b shown.
    const std::vector<std::uint64_t> framesB = controller->currentDocument.load()->frameStarts;
    controller->shutdown();
    controller.reset();
    start();
    ASSERT_EQ(currentPath(), b);
    EXPECT_EQ(controller->currentDocument.load()->frameStarts, framesB);
    ASSERT_EQ(readyPaths(), std::vector<std::string>{c});
    // A restored document shows and cuts like any other.
    controller->closeDocument(&window, false);
    ASSERT_EQ(currentPath(), c);
    controller->saveNumbered();
    controller->startLoading();  // lets the loader go idle and the worker run
    ASSERT_TRUE(eventually([&] { return fs::exists(sources + "c-1.wmv"); }, 120s));
    ASSERT_TRUE(eventually([&] { return cutListDestinations().empty(); }, 120s));
    EXPECT_TRUE(decodesCleanly(sources + "c-1.wmv"));
}

// Switching documents while the loader extracts and the worker cuts: no deadlock, no lost job,
// every document accounted for. Run under ThreadSanitizer too.
TEST_F(ControllerTest, SwitchingWhileTheLoaderExtractsAndTheWorkerCutsLosesNothing) {
    start();
    const std::vector<std::string> media = {"wmv1_wmav1.wmv", "wmv2_wmav2.wmv", "mp43_only.asf",
                                            "odd_width.wmv", "all_key_small_packets.wmv"};
    std::vector<std::string> paths;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t m = 0; m < media.size(); ++m) {
            const std::string extension = media[m].substr(media[m].size() - 4);
            paths.push_back(source(
                media[m], "r" + std::to_string(round) + "m" + std::to_string(m) + extension));
        }
    }
    std::mt19937 random(7);
    std::size_t added = 0;
    int saves = 0;
    std::set<std::string> closed;
    for (int step = 0; step < 300 && (added < paths.size() || held() > 1); ++step) {
        if (added < paths.size() && step % 4 == 0) {
            controller->addFile(paths[added++], &window);
            controller->startLoading();
        }
        ThumbDocument* current = controller->currentDocument.load();
        if (current != nullptr && current->ready) {
            switch (random() % 4) {
                case 0:
                    controller->sendBack(&window);
                    break;
                case 1:
                    if (current->nextSaveNumber == 1) {
                        controller->saveNumbered();
                        ++saves;
                    }
                    break;
                case 2:
                    if (held() > 2) {
                        closed.insert(current->sourcePath());
                        controller->closeDocument(&window, false);
                    }
                    break;
                default:
                    controller->resize(&window, 160 + random() % 1200, 120 + random() % 800);
                    break;
            }
        }
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(added, paths.size());
    ASSERT_TRUE(loaderIdle());
    // Every document is closed or still held, and only held ones have files.
    EXPECT_EQ(held() + closed.size(), paths.size());
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, "-thum.txt").size(), held());
    // Every numbered save turns into an output that decodes.
    ASSERT_TRUE(eventually([&] { return cutListDestinations().empty(); }, 300s));
    int outputs = 0;
    for (const std::string& name : platform::findFilesWithSuffix(sources, "")) {
        if (name.find("-1.") != std::string::npos) {
            ++outputs;
            EXPECT_TRUE(decodesCleanly(sources + name)) << name;
        }
    }
    EXPECT_EQ(outputs, saves);
}

using testsupport::packets;

// The thumbnail records a document of `source` must show: a fresh extraction's cache file.
std::string referenceRecords(const std::string& source) {
    testsupport::ScratchDir directory("control-ref");
    ThumbDocument document(source, directory.path(), 0, 0, nullptr);
    document.backgroundOnly = true;
    document.extract();
    EXPECT_TRUE(document.ready) << source;
    return readFile(document.cacheFilePath());
}

TEST_F(ControllerTest, EverySourceHasFilesOfItsOwnHoweverItIsNamed) {
    // Two different videos with one file name, and other spellings of the first.
    fs::create_directories(sources + "d1");
    fs::create_directories(sources + "d2");
    const std::string one = source("wmv1_wmav1.wmv", "d1/clip.wmv");
    const std::string two = source("mp43_only.asf", "d2/clip.wmv");
    fs::create_directory_symlink(sources + "d1", sources + "link");
    start();
    const fs::path before = fs::current_path();
    fs::current_path(sources + "d1");
    controller->addFile("clip.wmv", &window);  // relative: stored absolute
    controller->addFile("./clip.wmv", &window);
    fs::current_path(before);
    for (const std::string& spelling :
         {one, sources + "link/clip.wmv", sources + "d1/../d1/clip.wmv"}) {
        controller->addFile(spelling, &window);
    }
    controller->addFile(two, &window);
    EXPECT_EQ(held(), 2u);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(currentPath(), one);
    ASSERT_EQ(readyPaths(), std::vector<std::string>{two});
    // The first holder keeps the plain names; the second gets names of its own.
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, ""),
              (std::vector<std::string>{"clip.wmv-2-thum.txt", "clip.wmv-2.thum",
                                        "clip.wmv-thum.txt", "clip.wmv.thum"}));
    const std::string recordsOne = referenceRecords(one), recordsTwo = referenceRecords(two);
    ASSERT_NE(recordsOne, recordsTwo);
    EXPECT_EQ(readFile(thumbDir + "clip.wmv.thum"), recordsOne);
    EXPECT_EQ(readFile(thumbDir + "clip.wmv-2.thum"), recordsTwo);

    // Both come back after a restart from another directory, each with its own pictures, and
    // a numbered save of the restored one lands beside its source.
    controller->shutdown();
    controller.reset();
    fs::current_path("/");
    start();
    fs::current_path(before);
    // The first index file found (in name order) is shown first.
    ASSERT_EQ(currentPath(), two);
    ASSERT_EQ(readyPaths(), std::vector<std::string>{one});
    EXPECT_EQ(readFile(controller->currentDocument.load()->cacheFilePath()), recordsTwo);
    controller->closeDocument(&window, false);  // removes two's files only
    ASSERT_EQ(currentPath(), one);
    EXPECT_EQ(readFile(controller->currentDocument.load()->cacheFilePath()), recordsOne);
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, ""),
              (std::vector<std::string>{"clip.wmv-thum.txt", "clip.wmv.thum"}));
    // Its bitmaps are its own pictures.
    const auto& bitmaps = controller->currentDocument.load()->frameBitmaps;
    for (std::size_t i = 0; i < bitmaps.size(); ++i) {
        ASSERT_NE(bitmaps[i], nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bitmaps[i]->pixels()), 57600),
                  recordsOne.substr(i * 57600, 57600));
    }
    // Added by a relative name before the restart, it is still saved beside its source.
    controller->saveNumbered();
    controller->startLoading();
    EXPECT_TRUE(eventually([&] { return fs::exists(sources + "d1/clip-1.wmv"); }));
}

TEST_F(ControllerTest, LeftoversAndRejectedIndexFilesNeverBlockTheStart) {
    const std::string good = source("wmv1_wmav1.wmv", "good.wmv");
    // A good pair, restored as it was.
    {
        start();
        controller->addFile(good, &window);
        controller->startLoading();
        ASSERT_TRUE(loaderIdle());
        controller->shutdown();
        controller.reset();
    }
    const std::string goodIndex = readFile(thumbDir + "good.wmv-thum.txt");
    // An index file cut inside its last number (a crash while it was written in place), with
    // its cache file; one whose start times go backwards; an extraction killed part-way (a
    // cache file alone); FIFOs named like an index, a cache and a cut list file.
    const std::string cut = sources + "cut.wmv";
    writeFile(thumbDir + "a.wmv-thum.txt", cut + "\r\n2\r\n2\r\n0\r\n20000000\r\n4");
    writeFile(thumbDir + "a.wmv.thum", std::string(2 * 57600, 'a'));
    writeFile(thumbDir + "b.wmv-thum.txt",
              sources + "b.wmv\r\n2\r\n2\r\n20000000\r\n0\r\n30000000\r\n");
    writeFile(thumbDir + "killed.wmv.thum", std::string(3 * 57600, 'k'));
    for (const char* name : {"fifo.wmv-thum.txt", "fifo.wmv.thum", "fifo.wmv-cut.txt"}) {
        ASSERT_EQ(::mkfifo((thumbDir + name).c_str(), 0644), 0);
    }
    // An index file naming the good source again under another name of its own (found first:
    // it becomes the document, the other pair is set aside).
    writeFile(thumbDir + "good.wmv-2-thum.txt", goodIndex);
    writeFile(thumbDir + "good.wmv-2.thum", readFile(thumbDir + "good.wmv.thum"));

    start();
    // Only the good document came back, shown and ready: the commands work on it.
    ASSERT_EQ(currentPath(), good);
    EXPECT_TRUE(controller->currentDocument.load()->ready);
    EXPECT_TRUE(readyPaths().empty());
    // Rejected files are set aside, not deleted; the lone cache file is gone; nothing else
    // was touched.
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, ""),
              (std::vector<std::string>{"a.wmv-thum.txt.rejected", "a.wmv.thum.rejected",
                                        "b.wmv-thum.txt.rejected", "fifo.wmv-cut.txt",
                                        "fifo.wmv-thum.txt.rejected", "fifo.wmv.thum",
                                        "good.wmv-2-thum.txt", "good.wmv-2.thum",
                                        "good.wmv-thum.txt.rejected", "good.wmv.thum.rejected"}));
    EXPECT_EQ(readFile(thumbDir + "a.wmv.thum.rejected"), std::string(2 * 57600, 'a'));
    // A cut of it runs.
    controller->saveAs(sources + "out.wmv");
    controller->startLoading();
    ASSERT_TRUE(eventually([&] { return fs::exists(sources + "out.wmv"); }));
    EXPECT_TRUE(decodesCleanly(sources + "out.wmv"));
}

TEST_F(ControllerTest, AShownDocumentGetsItsBitmapsWhateverTheHiddenOnesHold) {
    const std::string a = source("all_key_small_packets.wmv", "a.wmv");  // 50 key frames
    const std::string b = source("wmv1_wmav1.wmv", "b.wmv");
    start();
    controller->addFile(a, &window);
    controller->addFile(b, &window);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(currentPath(), a);
    const std::size_t frames = controller->currentDocument.load()->frameStarts.size();
    ASSERT_GT(frames, 40u);
    // b waits without bitmaps; a holds the whole quota.
    {
        std::lock_guard<std::recursive_mutex> guard(controller->listLock);
        controller->readyDocuments.front()->releaseBitmaps();
    }
    const std::size_t previous = platform::setBitmapQuota(platform::liveBitmapCount());
    controller->sendBack(&window);
    ASSERT_EQ(currentPath(), b);
    for (const auto& bitmap : controller->currentDocument.load()->frameBitmaps) {
        EXPECT_NE(bitmap, nullptr);
    }
    controller->sendBack(&window);
    ASSERT_EQ(currentPath(), a);
    for (const auto& bitmap : controller->currentDocument.load()->frameBitmaps) {
        EXPECT_NE(bitmap, nullptr);
    }
    platform::setBitmapQuota(previous);
}

TEST_F(ControllerTest, SavesNeverReplaceTheSourceOrAnExistingFile) {
    fs::create_directories(sources + "real");
    const std::string clip = source("wmv2_wmav2.wmv", "real/clip.wmv");
    fs::create_directory_symlink(sources + "real", sources + "link");
    const std::string original = readFile(clip);
    writeFile(sources + "real/clip-1.wmv", "the user's own");
    start();
    controller->addFile(sources + "link/clip.wmv", &window);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(currentPath(), sources + "link/clip.wmv");
    controller->cutQueue->pauseWorker();
    // The source under its real path, through ".." and relative to the current directory.
    controller->saveAs(clip);
    controller->saveAs(sources + "link/../real/clip.wmv");
    const fs::path before = fs::current_path();
    fs::current_path(sources + "real");
    controller->saveAs("clip.wmv");
    fs::current_path(before);
    EXPECT_TRUE(cutListDestinations().empty());
    // Numbered saves pass over the existing clip-1.wmv, and over the queued clip-2.wmv after a
    // restart (which starts counting at 1 again).
    controller->saveNumbered();
    EXPECT_EQ(cutListDestinations(), std::vector<std::string>{sources + "link/clip-2.wmv"});
    controller->shutdown();
    controller.reset();
    start();
    controller->cutQueue->pauseWorker();
    controller->saveNumbered();
    EXPECT_EQ(cutListDestinations(),
              (std::vector<std::string>{sources + "link/clip-2.wmv", sources + "link/clip-3.wmv"}));
    controller->startLoading();
    ASSERT_TRUE(eventually([&] { return cutListDestinations().empty(); }));
    EXPECT_EQ(readFile(clip), original);
    EXPECT_EQ(readFile(sources + "real/clip-1.wmv"), "the user's own");
    EXPECT_TRUE(decodesCleanly(sources + "real/clip-2.wmv"));
    EXPECT_TRUE(decodesCleanly(sources + "real/clip-3.wmv"));
}

TEST_F(ControllerTest, ALongSourceNameIsKeptAndRestoredAndANumberedSaveThatCannotBeNamedSaysSo) {
    const std::string name = std::string(251, 'n') + ".wmv";  // 255 bytes
    const std::string clip = source("wmv1_wmav1.wmv", name);
    start();
    controller->addFile(clip, &window);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    ASSERT_EQ(currentPath(), clip);
    const std::vector<std::string> files = platform::findFilesWithSuffix(thumbDir, "");
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& file : files) {
        EXPECT_LE(file.size(), platform::kMaxFileNameBytes);
    }
    controller->saveNumbered();
    // (The worker, woken as the loader went idle, may show its idle text after it.)
    const std::vector<std::string> shown = window.texts(4);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const std::string& text) {
        return text.rfind("名前が長すぎて保存できません", 0) == 0;
    }));
    EXPECT_TRUE(cutListDestinations().empty());
    // A shorter name of its own keeps working: a Save As.
    controller->saveAs(sources + "short.wmv");
    EXPECT_TRUE(eventually([&] { return cutListDestinations().empty(); }));
    EXPECT_TRUE(fs::exists(sources + "short.wmv"));
    controller->shutdown();
    controller.reset();

    start();
    ASSERT_EQ(currentPath(), clip);
    cli::KeyFrames keyFrames;
    ASSERT_EQ(cli::readKeyFrames(clip, keyFrames), media::S_OK);
    EXPECT_EQ(controller->currentDocument.load()->frameStarts, keyFrames.times);
}

namespace {

// Whether `directory` holds a cache file whose index file is not written yet: an extraction
// in progress.
bool extracting(const std::string& directory) {
    for (const std::string& name : platform::findFilesWithSuffix(directory, ".thum")) {
        if (!fs::exists(directory + name.substr(0, name.size() - 5) + "-thum.txt")) {
            return true;
        }
    }
    return false;
}

// Whether a cut's output is being made: its temporary in the thumbnail folder (renamed into
// place when done), or a copy of it beside the destination (where the folders' file systems
// differ).
bool finishing(const std::string& thumbnails, const std::string& destinations) {
    for (const std::string& name : platform::findFilesWithSuffix(thumbnails, ".wmv")) {
        if (name.rfind(".splicor-temp", 0) == 0) {
            return true;
        }
    }
    return !platform::findFilesWithSuffix(destinations, ".splicor-part").empty();
}

}  // namespace

TEST_F(ControllerTest, KilledAtRandomMomentsNoJobOrDocumentIsLostMixedUpOrLeftBehind) {
    // Every run adds one more source, all named clip.wmv in folders of their own, of two
    // different videos, and queues one more cut to one of three destinations. Runs are killed
    // at random moments, or as soon as an extraction or a cut's output is under way.
    const std::vector<std::string> media = {"demo.wmv", "wmv1_wmav1.wmv"};
    const std::string out = sources + "out/";
    fs::create_directories(out);
    const std::vector<std::string> destinations = {out + "x.wmv", out + "y.wmv", out + "z.wmv"};
    struct Job {
        std::string source, destination;
        std::uint64_t start, end;
    };
    std::vector<std::string> added;
    std::vector<Job> jobs;
    std::mt19937 random(16);
    constexpr int kKills = 32;
    int caughtExtracting = 0, caughtFinishing = 0;
    for (int run = 0; run <= kKills; ++run) {
        const std::string folder = "d" + std::to_string(run) + "/";
        fs::create_directories(sources + folder);
        added.push_back(source(media[run % 2], folder + "clip.wmv"));
        // Whole-file cuts of demo.wmv make the output's writing long enough to be caught.
        const std::string& cutSource = added[run % 4 == 3 ? run - 1 : 0];
        const std::uint64_t start = (run % 3) * 20000000ull + 460000;
        jobs.push_back({cutSource, destinations[run % 3], run % 5 == 0 ? 0 : start,
                        run % 5 == 0 ? 300000000ull : start + 40000000});
        std::vector<std::string> args = {thumbDir};
        if (run == kKills) {
            args.push_back("--finish");
        }
        for (const std::string& path : added) {
            args.insert(args.end(), {"--add", path});
        }
        const Job& job = jobs.back();
        args.insert(args.end(), {"--job", job.source, job.destination, std::to_string(job.start),
                                 std::to_string(job.end)});
        const pid_t pid = testsupport::startKillableHelper(CONTROLLER_CRASH_HELPER, args, 6, 30000);
        int status = 0;
        if (run == kKills) {
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            break;
        }
        const auto until = std::chrono::steady_clock::now() + 1500ms;
        if (run % 3 == 1) {
            while (!extracting(thumbDir) && std::chrono::steady_clock::now() < until) {
            }
            caughtExtracting += extracting(thumbDir);
        } else if (run % 3 == 2) {
            while (!finishing(thumbDir, out) && std::chrono::steady_clock::now() < until) {
            }
            caughtFinishing += finishing(thumbDir, out);
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 400000));
        }
        ::kill(pid, SIGKILL);
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    }
    EXPECT_GT(caughtExtracting, 0);
    EXPECT_GT(caughtFinishing, 0);

    // Each destination holds the cut queued last for it: every job ran, in queue order.
    std::map<std::string, const Job*> last;
    for (const Job& job : jobs) {
        last[job.destination] = &job;
    }
    testsupport::ScratchDir referenceThumDir("control-refthum"), referenceOutDir("control-refout");
    const std::string referenceThum = referenceThumDir.path(),
                      referenceOut = referenceOutDir.path();
    {
        cut::CutQueue queue(referenceThum, &bar);
        for (const auto& [destination, job] : last) {
            auto* times = static_cast<std::uint64_t*>(std::malloc(2 * sizeof(std::uint64_t)));
            times[0] = job->start;
            times[1] = job->end;
            queue.enqueue(job->source, referenceOut + fs::path(destination).filename().string(),
                          times, 2, 0);
        }
        ASSERT_TRUE(eventually([&] {
            return platform::findFilesWithSuffix(referenceThum, journal::kCutListSuffix).empty();
        }));
    }
    for (const std::string& destination : destinations) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(packets(destination),
                  packets(referenceOut + fs::path(destination).filename().string()));
    }
    // Nothing left behind: only the outputs beside them, only the sources in their folders,
    // only each document's two files in thum/.
    EXPECT_EQ(platform::findFilesWithSuffix(out, ""),
              (std::vector<std::string>{"x.wmv", "y.wmv", "z.wmv"}));
    for (int run = 0; run <= kKills; ++run) {
        EXPECT_EQ(platform::findFilesWithSuffix(sources + "d" + std::to_string(run) + "/", ""),
                  std::vector<std::string>{"clip.wmv"});
    }
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, "").size(), 2 * added.size());

    // Every document comes back, once, with its own pictures.
    start();
    std::vector<std::string> restored = readyPaths();
    restored.push_back(currentPath());
    std::sort(restored.begin(), restored.end());
    std::vector<std::string> expected = added;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(restored, expected);
    const std::string pictures[] = {referenceRecords(added[0]), referenceRecords(added[1])};
    std::map<std::string, std::size_t> whichMedium;
    for (std::size_t i = 0; i < added.size(); ++i) {
        whichMedium[added[i]] = i % 2;
    }
    std::vector<ThumbDocument*> documents(controller->readyDocuments.begin(),
                                          controller->readyDocuments.end());
    documents.push_back(controller->currentDocument.load());
    for (ThumbDocument* document : documents) {
        EXPECT_EQ(readFile(document->cacheFilePath()),
                  pictures[whichMedium[document->sourcePath()]])
            << document->sourcePath();
    }
}

}  // namespace
