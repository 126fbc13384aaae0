// The Controller with real documents: the loader thread, switching between documents, saving,
// and what survives a restart.

#include "control/controller.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "control/cut_list_file.h"
#include "cut/cut_queue.h"
#include "platform/event.h"
#include "platform/file_search.h"
#include "shell/status_bar.h"
#include "support/fake_window.h"
#include "support/test_files.h"
#include "thumbs/thumb_document.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using control::Controller;
using thumbs::ThumbDocument;

namespace {

const std::string kBaseTitle = "splicor2 0.019";
const std::string kNothingLoading = "読込中ファイル無し";
constexpr int kPendingPart = 1;
constexpr int kLoadingPart = 2;

template <class Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = 60s) {
    for (auto end = std::chrono::steady_clock::now() + limit; !pred();) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::string makeTempDir(const char* tag) {
    std::string pattern =
        (fs::temp_directory_path() / "splicor-control-").string() + tag + "-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern + "/" : "";
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(testsupport::testMediaDir() + "/demo.wmv")) {
            GTEST_SKIP() << "test media missing";
        }
        sources = makeTempDir("src");
        thumbDir = makeTempDir("thum");
        ASSERT_FALSE(sources.empty());
        ASSERT_FALSE(thumbDir.empty());
        bar.baseTitle = kBaseTitle;
        bar.mainWindow = &window;
        bar.statusWindow = &window;
    }

    void TearDown() override {
        controller.reset();
        std::error_code ignored;
        fs::remove_all(sources, ignored);
        fs::remove_all(thumbDir, ignored);
    }

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
            if (auto list = control::readCutListFile(thumbDir + name)) {
                out.push_back(list->destination);
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    std::string sources;
    std::string thumbDir;
    testsupport::FakeWindow window;
    shell::StatusBar bar;
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
    for (const std::string& path : {a, b, c}) {
        controller->addFile(path, &window);
    }
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
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

TEST_F(ControllerTest, ShutdownFinishesTheExtractionInProgressAndKeepsDocumentsForTheNextStart) {
    start();
    const std::string first = source("wmv1_wmav1.wmv", "a.wmv");
    const std::string second = source("demo.wmv", "b.wmv");
    controller->addFile(first, &window);
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
    controller->addFile(second, &window);
    platform::Event extracting;
    window.watch([&](int part, const std::string& text) {
        if (part == kLoadingPart && text == "読込中..  b.wmv") {
            extracting.signal();
        }
    });
    controller->startLoading();
    ASSERT_TRUE(extracting.waitFor(60s));
    controller->shutdown();
    window.watch(nullptr);
    // The loader finished b.wmv and filed it as ready before it stopped.
    EXPECT_EQ(platform::findFilesWithSuffix(thumbDir, "-thum.txt"),
              (std::vector<std::string>{"a.wmv-thum.txt", "b.wmv-thum.txt"}));
    controller.reset();

    // The next start: the first index file found is current, the second ready, no count shown.
    const std::size_t textsBefore = window.allTexts().size();
    start();
    EXPECT_EQ(window.allTexts().size(), textsBefore);
    EXPECT_EQ(currentPath(), first);
    ASSERT_EQ(readyPaths(), std::vector<std::string>{second});
    thumbs::ThumbDocument* current = controller->currentDocument.load();
    EXPECT_TRUE(current->ready);
    cli::KeyFrames keyFrames;
    ASSERT_EQ(cli::readKeyFrames(first, keyFrames), media::S_OK);
    EXPECT_EQ(current->frameStarts, keyFrames.times);
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
    for (const std::string& path : {a, b, c}) {
        controller->addFile(path, &window);
    }
    controller->startLoading();
    ASSERT_TRUE(loaderIdle());
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

}  // namespace
