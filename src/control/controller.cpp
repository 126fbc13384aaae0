#include "control/controller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "cut/cut_queue.h"
#include "cut/failure_reason.h"
#include "media/hresult.h"
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

// What a document's files get after their names when its source is gone at the start.
constexpr char kSourceGoneTag[] = "source-gone";

// The most the list of waiting files may hold.
constexpr std::size_t kMaxWaitingFilesBytes = 64 << 20;

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
        const std::string source = document->sourcePath();
        std::optional<platform::FileStamp> indexStamp = platform::fileStamp(path);
        struct stat sourceInfo;
        if (::stat(source.c_str(), &sourceInfo) != 0) {
            // The source is gone (deleted, moved, a disc not there): its thumbnails would cut
            // nothing. They are set aside, not deleted, and the user is told.
            const std::string cacheFile = document->cacheFilePath();
            document->keepFilesOnDestroy();
            delete document;
            platform::setAside(path, kSourceGoneTag);
            if (platform::isRegularFile(cacheFile)) {
                platform::setAside(cacheFile, kSourceGoneTag);
            }
            statusBar->notify("元のファイルが見つからないため閉じました: " + source);
            continue;
        }
        if (!indexStamp || platform::changedSince(source, indexStamp->modifiedNs)) {
            // Written or replaced since its thumbnails were made: they show other pictures than
            // the file holds, so it is read again, from the start of the queue.
            delete document;  // its files are of the old content
            if (findDocument(source) == nullptr) {
                pendingDocuments.push_back(
                    new thumbs::ThumbDocument(source, thumbnailDirectory, 0, 0, mainWindow.load()));
            }
            continue;
        }
        document->sourceStamp = platform::fileStamp(source);
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
    // The files that waited to be read, or were being read, when the program last ended, in
    // their order, after those read again above.
    for (const std::string& source : readWaitingFiles()) {
        addFile(source, nullptr);
    }
    writeWaitingFiles();
    // Stored for the window to show when it first shows every part.
    statusBar->setReadyCount(static_cast<std::int32_t>(readyDocuments.size()));
    statusBar->setPendingCount(static_cast<std::int32_t>(pendingDocuments.size()));
}

std::vector<std::string> Controller::readWaitingFiles() const {
    std::vector<std::string> sources;
    std::optional<std::string> content =
        platform::readRegularFile(thumbnailDirectory + kWaitingFilesName, kMaxWaitingFilesBytes);
    if (!content) {
        return sources;
    }
    // Each path ends in a NUL byte: the one byte no path holds. A last one without it was not
    // written whole and is left out; so is anything that is not an absolute path.
    std::size_t from = 0;
    for (std::size_t end; (end = content->find('\0', from)) != std::string::npos; from = end + 1) {
        std::string path = content->substr(from, end - from);
        if (!path.empty() && path[0] == '/') {
            sources.push_back(std::move(path));
        }
    }
    return sources;
}

void Controller::writeWaitingFiles() {
    std::string content;
    {
        ListGuard guard(listLock);
        if (loadingDocument != nullptr) {
            content += loadingPath + '\0';
        }
        for (const thumbs::ThumbDocument* document : pendingDocuments) {
            content += document->sourcePath() + '\0';
        }
    }
    // Written under its own lock, so that two writers never put an older list over a newer one.
    std::lock_guard<std::mutex> guard(waitingFilesLock_);
    const std::string path = thumbnailDirectory + kWaitingFilesName;
    if (content.empty()) {
        ::unlink(path.c_str());
    } else {
        platform::replaceFileWith(path, content);
    }
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
    // The document being extracted is the loader's alone: only the path it was taken with is
    // looked at.
    if (loadingDocument != nullptr && platform::sameFile(loadingPath, path)) {
        return loadingDocument;
    }
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
    writeWaitingFiles();
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
        // A cut never overwrites its own source, however it is named.
        statusBar->notify("元のファイルには保存できません: " + destination +
                          "\n別の名前を選んでください");
        return;
    }
    queueCut(current, std::move(destination));
}

void Controller::queueCut(thumbs::ThumbDocument* document, std::string destination) {
    thumbs::MediaTime* times = nullptr;
    std::int32_t count = 0;
    document->getRanges(&times, &count);
    if (!cutQueue->enqueue(document->sourcePath(), destination, times, count, document->videoStream,
                           document->sourceStamp)) {
        statusBar->notify("保存できません: " + destination);
    }
}

void Controller::saveNumbered() {
    thumbs::ThumbDocument* current = currentDocument.load();
    if (current == nullptr || !current->ready) {
        return;
    }
    if (current->nextSaveNumber > kLastSaveNumber) {
        statusBar->notify("番号を付けて保存できるのは 99 番までです: " + current->sourcePath());
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
        statusBar->notify("番号を付けて保存できるのは 99 番までです: " + source);
        return;
    }
    queueCut(current, std::move(destination));
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
    {
        // The extraction in hand is given up: it is read again at the next start, and the
        // program ends now, not once the whole file is read.
        ListGuard guard(listLock);
        running = false;
        if (loadingDocument != nullptr) {
            loadingDocument->abandonExtraction = true;
        }
    }
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
                controller->loadingDocument = document;
                controller->loadingPath = document->sourcePath();
                // Taken before shutdown began: it is given up when shutdown comes.
                document->abandonExtraction = !controller->running;
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
        const std::string source = document->sourcePath();
        document->extractionProgress = [statusBar, source](int percent) {
            statusBar->showLoading(source, percent);
        };
        document->extract();
        document->extractionProgress = nullptr;
        if (!document->ready) {
            const bool abandoned = document->loadResult == media::E_ABORT;
            const media::HRESULT why = document->loadResult;
            {
                ListGuard guard(controller->listLock);
                controller->loadingDocument = nullptr;
            }
            delete document;  // removes whatever files it wrote
            if (abandoned) {
                break;  // left in the list of waiting files, for the next start
            }
            controller->writeWaitingFiles();
            statusBar->notify("読み込めませんでした: " + source + "\n" + cut::failureReason(why));
            continue;
        }

        bool switched = false;
        std::string title;
        {
            ListGuard guard(controller->listLock);
            controller->loadingDocument = nullptr;
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
        controller->writeWaitingFiles();
        statusBar->showReadyCount();
        if (switched) {
            statusBar->setTitle(title);
        }
    } while (controller->running);
}

}  // namespace control
