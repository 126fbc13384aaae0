#include "control/controller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "cut/cut_queue.h"
#include "platform/file_search.h"
#include "platform/own_files.h"
#include "platform/window.h"
#include "status/status_bar.h"
#include "thumbs/thumb_document.h"

namespace control {

namespace {

using ListGuard = platform::StopFreeLock<std::recursive_mutex>;

// The highest number a numbered save may carry.
constexpr std::int32_t kLastSaveNumber = 99;

}  // namespace

Controller::Controller(std::string directory, status::StatusBar* bar)
    : running(true), statusBar(bar), thumbnailDirectory(std::move(directory)) {
    // The queue first: it queues again the cut jobs of the last run, which start at once.
    cutQueue = new cut::CutQueue(thumbnailDirectory, statusBar);
    // The loader waits, suspended, for the first startLoading.
    loaderThread =
        platform::Thread([this] { loaderThreadMain(this); }, platform::Thread::Start::Suspended,
                         platform::ThreadPriority::TimeCritical);
    loaderThreadId = loaderThread.id();

    // The documents still open when the program last ended. They are laid out by the first
    // resize and get their bitmaps when they are painted; no count is shown yet. An index file
    // that is rejected is set aside and makes no document.
    for (const std::string& name : platform::findFilesWithSuffix(
             thumbnailDirectory, thumbs::ThumbDocument::kIndexFileSuffix)) {
        const std::string path = thumbnailDirectory + name;
        auto* document =
            new thumbs::ThumbDocument(std::string(), thumbnailDirectory, 0, 0, mainWindow.load());
        if (!document->loadIndexFile(path)) {
            delete document;
            continue;
        }
        if (findDocument(document->sourcePath()) != nullptr) {
            // A second index file of one source (left by a run that opened it twice): the
            // first one found is the document.
            const std::string cacheFile = document->cacheFilePath();
            document->keepFilesOnDestroy();
            delete document;
            platform::setAside(path, thumbs::ThumbDocument::kRejectedTag);
            platform::setAside(cacheFile, thumbs::ThumbDocument::kRejectedTag);
            continue;
        }
        if (currentDocument.load() == nullptr) {
            currentDocument = document;
        } else {
            readyDocuments.push_back(document);
        }
    }
    removeOrphanCacheFiles();
}

void Controller::removeOrphanCacheFiles() {
    // An extraction cut short by the end of the process leaves a cache file without its index
    // file. No document can come back from it, and it may be large.
    const std::string suffix = thumbs::ThumbDocument::kCacheFileSuffix;
    for (const std::string& name : platform::findFilesWithSuffix(thumbnailDirectory, suffix)) {
        const std::string base = thumbnailDirectory + name.substr(0, name.size() - suffix.size());
        struct stat info;
        if (platform::isRegularFile(base + suffix) &&
            ::lstat((base + thumbs::ThumbDocument::kIndexFileSuffix).c_str(), &info) != 0) {
            ::unlink((base + suffix).c_str());
        }
    }
}

thumbs::ThumbDocument* Controller::findDocument(const std::string& path) {
    auto same = [&path](const thumbs::ThumbDocument* document) {
        return document != nullptr && platform::sameFile(document->sourcePath(), path);
    };
    thumbs::ThumbDocument* current = currentDocument.load();
    if (same(current)) {
        return current;
    }
    ListGuard guard(listLock);
    for (const auto* list : {&pendingDocuments, &readyDocuments}) {
        for (thumbs::ThumbDocument* document : *list) {
            if (same(document)) {
                return document;
            }
        }
    }
    return nullptr;
}

Controller::~Controller() {
    if (!shutDown_) {
        shutdown();
    }
}

void Controller::addFile(std::string path, platform::Window* window) {
    if (path.empty()) {
        return;
    }
    // Stored absolute, so that the path still names the file after a restart from another
    // directory; one file is one document however it is named.
    path = platform::absolutePath(path);
    if (findDocument(path) != nullptr) {
        return;
    }
    auto* document = new thumbs::ThumbDocument(
        std::move(path), thumbnailDirectory, static_cast<std::int32_t>(clientWidth.load()),
        static_cast<std::int32_t>(clientHeight.load()), window);
    {
        ListGuard guard(listLock);
        pendingDocuments.push_back(document);
        statusBar->setPendingCount(static_cast<std::int32_t>(pendingDocuments.size()));
    }
    statusBar->showPendingCount();
}

void Controller::startLoading() {
    // Pause first, then wake the loader: the loader resumes the worker when it finds nothing
    // left to extract, and that resume must come after this pause. In the other order a loader
    // with nothing to do could resume the worker before the pause, which would then hold the
    // queued cuts until the next file is added.
    cutQueue->pauseWorker();
    platform::resumeThreadById(loaderThreadId);
}

void Controller::resize(platform::Window* window, std::uint32_t width, std::uint32_t height) {
    clientWidth = width;
    clientHeight = height;
    if (thumbs::ThumbDocument* current = currentDocument.load()) {
        current->layout(window, static_cast<std::int32_t>(width),
                        static_cast<std::int32_t>(height));
    }
}

void Controller::saveAs(std::string destination) {
    thumbs::ThumbDocument* current = currentDocument.load();
    if (destination.empty() || current == nullptr) {
        return;
    }
    const std::string source = current->sourcePath();
    destination = platform::absolutePath(destination);
    if (platform::sameFile(destination, source)) {
        return;  // a cut never overwrites its own source, however it is named
    }
    thumbs::MediaTime* times = nullptr;
    std::int32_t count = 0;
    current->getRanges(&times, &count);
    cutQueue->enqueue(source, std::move(destination), times, count, current->videoStream);
}

void Controller::saveNumbered() {
    thumbs::ThumbDocument* current = currentDocument.load();
    if (current == nullptr || !current->ready || current->nextSaveNumber > kLastSaveNumber) {
        return;
    }
    const std::string source = current->sourcePath();
    // The extension is the last four characters (".wmv", ".asf"); the number goes before it.
    const std::size_t stemLength = source.size() >= 4 ? source.size() - 4 : 0;
    auto numbered = [&](std::int32_t number) {
        return source.substr(0, stemLength) + "-" + std::to_string(number) +
               source.substr(stemLength);
    };
    // A numbered save never replaces a file: numbers whose files exist (from an earlier run,
    // say) or are queued are passed over.
    std::string destination;
    while (current->nextSaveNumber <= kLastSaveNumber) {
        const std::string candidate = numbered(current->nextSaveNumber++);
        struct stat info;
        const int error = ::lstat(candidate.c_str(), &info) == 0 ? 0 : errno;
        if (error == ENAMETOOLONG) {
            --current->nextSaveNumber;
            statusBar->showNameTooLong(candidate);
            return;
        }
        if (error == ENOENT && !cutQueue->hasDestination(candidate)) {
            destination = candidate;
            break;
        }
    }
    if (destination.empty()) {
        return;
    }
    thumbs::MediaTime* times = nullptr;
    std::int32_t count = 0;
    current->getRanges(&times, &count);
    cutQueue->enqueue(source, std::move(destination), times, count, current->videoStream);
}

void Controller::makeFirstReadyCurrent(platform::Window* window, bool suspendLoader,
                                       bool alwaysPreload) {
    thumbs::ThumbDocument* next = readyDocuments.front();
    readyDocuments.pop_front();
    // A preload started by an earlier switch may still be filling this document; it becomes
    // current only once that is over, so nothing paints it while another thread writes it.
    next->waitForPreload();

    if (suspendLoader) {
        platform::suspendThreadById(loaderThreadId);
    }
    const platform::ThreadId workerId = cutQueue->workerThreadId();
    platform::suspendThreadById(workerId);
    bool loaded = next->loadBitmaps(false);
    if (!loaded) {
        // The bitmap quota is full: the documents not shown give up theirs before the one
        // shown goes blank.
        for (thumbs::ThumbDocument* hidden : readyDocuments) {
            hidden->waitForPreload();
            hidden->releaseBitmaps();
        }
        loaded = next->loadBitmaps(false);
    }
    if ((loaded || alwaysPreload) && !readyDocuments.empty()) {
        // The preload resumes both threads when it is done.
        readyDocuments.front()->startPreload(loaderThreadId, workerId);
    } else {
        platform::resumeThreadById(loaderThreadId);
        platform::resumeThreadById(workerId);
    }
    next->layout(window, static_cast<std::int32_t>(clientWidth.load()),
                 static_cast<std::int32_t>(clientHeight.load()));
    // Published last: the user-interface thread paints whatever it finds here.
    currentDocument = next;
}

void Controller::closeDocument(platform::Window* window, bool fromLoader) {
    std::string title;
    {
        ListGuard guard(listLock);
        if (thumbs::ThumbDocument* closing = currentDocument.exchange(nullptr)) {
            closing->reset();
            delete closing;
        }
        if (!readyDocuments.empty()) {
            makeFirstReadyCurrent(window, !fromLoader, false);
            statusBar->setReadyCount(static_cast<std::int32_t>(readyDocuments.size()));
            if (window != nullptr) {
                window->invalidate();
            }
        }
        if (thumbs::ThumbDocument* current = currentDocument.load()) {
            title = current->sourcePath();
        }
    }
    if (fromLoader) {
        return;  // the loader shows the counts and the title once it has let go of the lock
    }
    statusBar->showReadyCount();
    statusBar->setTitle(title);
}

void Controller::sendBack(platform::Window* window) {
    std::string title;
    {
        ListGuard guard(listLock);
        if (!readyDocuments.empty()) {
            readyDocuments.push_back(currentDocument.load());
            makeFirstReadyCurrent(window, true, true);
            if (window != nullptr) {
                window->invalidate();
            }
        }
        if (thumbs::ThumbDocument* current = currentDocument.load()) {
            title = current->sourcePath();
        }
    }
    statusBar->setTitle(title);
}

void Controller::shutdown() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    running = false;
    platform::resumeThreadById(loaderThreadId);
    loaderThread.join();

    delete cutQueue;  // waits for the job in progress
    cutQueue = nullptr;

    // The documents still held keep their thumbnail files, so the next start restores them;
    // only their memory goes. A preload still running ends first.
    std::list<thumbs::ThumbDocument*> held;
    {
        ListGuard guard(listLock);
        held.splice(held.end(), readyDocuments);
        held.splice(held.end(), pendingDocuments);
        if (thumbs::ThumbDocument* current = currentDocument.exchange(nullptr)) {
            held.push_front(current);
        }
    }
    for (thumbs::ThumbDocument* document : held) {
        document->keepFilesOnDestroy();
        delete document;
    }
}

void loaderThreadMain(Controller* controller) {
    if (!controller->running) {
        return;
    }
    status::StatusBar* statusBar = controller->statusBar;
    do {
        thumbs::ThumbDocument* document = nullptr;
        {
            ListGuard guard(controller->listLock);
            if (!controller->pendingDocuments.empty()) {
                // The count shown while extracting still includes the document taken now.
                statusBar->setPendingCount(
                    static_cast<std::int32_t>(controller->pendingDocuments.size()));
                document = controller->pendingDocuments.front();
                controller->pendingDocuments.pop_front();
            }
        }
        statusBar->showPendingCount();

        if (document == nullptr) {
            controller->cutQueue->resumeWorker();
            statusBar->setPendingCount(0);
            statusBar->showPendingCount();
            statusBar->showLoading(std::string());
            // Until startLoading or shutdown resumes it. Shutdown clears running before its
            // wake-up, which a stop taken earlier in this pass may already have spent.
            if (!controller->running) {
                break;
            }
            platform::suspendThreadById(controller->loaderThreadId);
            continue;
        }

        statusBar->showLoading(document->sourcePath());
        {
            ListGuard guard(controller->listLock);
            // Others are waiting to be shown: extraction then writes the cache file only.
            if (!controller->readyDocuments.empty()) {
                document->backgroundOnly = true;
            }
        }
        document->extract();
        if (!document->ready) {
            delete document;  // removes whatever files it wrote
            continue;
        }

        bool switched = false;
        std::string title;
        {
            ListGuard guard(controller->listLock);
            controller->readyDocuments.push_back(document);
            if (controller->currentDocument.load() == nullptr) {
                controller->closeDocument(controller->mainWindow.load(), true);
                switched = true;
                if (thumbs::ThumbDocument* current = controller->currentDocument.load()) {
                    title = current->sourcePath();
                }
            }
            statusBar->setReadyCount(static_cast<std::int32_t>(controller->readyDocuments.size()));
        }
        statusBar->showReadyCount();
        if (switched) {
            statusBar->setTitle(title);
        }
    } while (controller->running);
}

}  // namespace control
