// Runs a Controller as the program does (without its window) and waits to be killed: the kill
// loop test ends it with SIGKILL at random moments, and once lets it finish.
//
//   controller_crash_helper THUMBDIR [--finish] [--add SOURCE]... [--job SOURCE DEST START END]...
//
// Adds the sources (a restored document's source is not added again), lets the loader run and
// queues the jobs, as saves of the window would (key stream 0: the source's thumbnail stream).
// Then writes "queued" to descriptor 3. With --finish it waits until nothing is left to
// extract or cut, shuts the Controller down and exits 0; otherwise it waits to be killed.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "control/controller.h"
#include "cut/cut_queue.h"
#include "harness/fake_window.h"
#include "journal/cut_list_file.h"
#include "platform/file_search.h"
#include "platform/thread.h"
#include "status/status_bar.h"

namespace {

class QuietWindow : public testsupport::NullWindow {
public:
    void setStatusText(int part, const std::string& text) override {
        std::lock_guard<std::mutex> guard(lock);
        texts[part] = text;
    }
    std::string shown(int part) {
        std::lock_guard<std::mutex> guard(lock);
        return texts[part];
    }

private:
    std::mutex lock;
    std::string texts[5];
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    const std::string thumb = argv[1];
    QuietWindow window;
    status::StatusBar bar;
    bar.statusWindow = &window;
    bar.mainWindow = &window;
    control::Controller controller(thumb, &bar);
    controller.mainWindow = &window;
    controller.resize(&window, 800, 600);
    bool finish = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--finish") == 0) {
            finish = true;
        } else if (std::strcmp(argv[i], "--add") == 0 && i + 1 < argc) {
            controller.addFile(argv[++i], &window);
        } else if (std::strcmp(argv[i], "--job") == 0 && i + 4 < argc) {
            auto* times = static_cast<std::uint64_t*>(std::malloc(2 * sizeof(std::uint64_t)));
            times[0] = std::strtoull(argv[i + 3], nullptr, 10);
            times[1] = std::strtoull(argv[i + 4], nullptr, 10);
            controller.cutQueue->enqueue(argv[i + 1], argv[i + 2], times, 2, 0);
            i += 4;
        } else {
            return 2;
        }
    }
    controller.startLoading();
    // Descriptor 3, as standard output carries the cut engine's lines.
    (void)!::write(3, "queued", 6);
    if (!finish) {
        for (;;) {
            ::pause();
        }
    }
    // Idle: the loader has nothing left (it shows no file and sleeps) and every cut list file
    // is gone.
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        bool loaderIdle = false;
        {
            std::lock_guard<std::recursive_mutex> guard(controller.listLock);
            loaderIdle = controller.pendingDocuments.empty() &&
                         window.shown(2) == "読込中ファイル無し" &&
                         platform::suspendCount(controller.loaderThreadId) > 0;
        }
        // Between cuts, part 4 shows the last one's outcome.
        const std::string cutPart = window.shown(4);
        const bool cutIdle = cutPart == "分割中ファイル無し" ||
                             cutPart.rfind("保存しました", 0) == 0 ||
                             cutPart.rfind("分割失敗", 0) == 0;
        if (loaderIdle && cutIdle &&
            platform::findFilesWithSuffix(thumb, journal::kCutListSuffix).empty()) {
            break;
        }
    }
    controller.shutdown();
    return 0;
}
