#pragma once

// The Controller: the one application object between the main window and the background work.
//
// It holds every opened file as a ThumbDocument and moves each through a fixed pipeline: pending
// (waiting for thumbnail extraction), in the loader thread's hands (being extracted), ready
// (thumbnails complete), current (shown in the window), and finally closed. At most one document
// is current; the others wait in two first-in-first-out lists. The loader thread extracts the
// pending documents one at a time; the CutQueue takes the cuts asked of the current document.
// At construction the documents still open when the program last ended come back from the
// thumbnail index files in the thumbnail directory.
//
// Threads. The user-interface thread calls every operation; the loader thread runs
// loaderThreadMain and, from it, closeDocument. listLock guards the two lists, the hand-over of
// a ready document to currentDocument and the backgroundOnly flags; it is re-entrant because the
// loader thread calls closeDocument while it holds it. The StatusBar's set calls are made under
// the lock, its show calls and titles only once the lock is fully released.
//
// currentDocument is read by the user-interface thread without the lock. The loader thread sets
// it only when it is null; otherwise only the user-interface thread changes it. A document
// becomes current only once its bitmaps are made and no preload of it runs, so painting never
// meets a document that another thread is still filling.

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/thread.h"

namespace platform {
class Window;
}  // namespace platform
namespace status {
class StatusBar;
}  // namespace status
namespace cut {
class CutQueue;
}  // namespace cut
namespace thumbs {
class ThumbDocument;
}  // namespace thumbs

namespace control {

class Controller {
public:
    // The name of the list of waiting files in the thumbnail directory.
    static constexpr char kWaitingFilesName[] = "waiting-files.list";

    // Starts the cut queue (which queues again the cut jobs left in the thumbnail directory),
    // creates the loader thread suspended, and restores the documents of the last run: the
    // first index file found (ascending name order) becomes current, the others ready. A
    // document whose source is gone is dropped (its files set aside, the user told); one whose
    // source was written or replaced since its thumbnails were made is queued to be read again.
    // Then the files that waited to be read when the last run ended are queued again, in their
    // order. Stores the counts in the StatusBar without showing them. thumbnailDirectory ends in
    // "/".
    Controller(std::string thumbnailDirectory, status::StatusBar* statusBar);
    // Shuts down if shutdown was not called.
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Queues a source file for extraction, unless the path is empty or names a file already
    // current, pending or ready (compared by identity: one file under two names is one
    // document). The path is stored absolute. Does not wake the loader thread: call
    // startLoading after a batch.
    void addFile(std::string path, platform::Window* window);
    // Pauses the cut worker until the loader has nothing left to do, and lets the loader run.
    void startLoading();
    // A new client size; lays out the current document.
    void resize(platform::Window* window, std::uint32_t width, std::uint32_t height);
    // Queues a cut of the current document to `destination` (ignored when empty or when it
    // names the source file, however spelled). Only while the current document is ready.
    void saveAs(std::string destination);
    // Queues a cut of the current document to stem + "-" + n + extension, n = 1 to 99, passing
    // over numbers whose files exist or are queued, so that it never replaces a file. Only while
    // a document is current. A name too long for the file system queues nothing and says so in
    // the status bar.
    void saveNumbered();
    // Discards the current document (and its thumbnail files) and makes the first ready
    // document current. fromLoader: called by the loader thread, which holds listLock and makes
    // the status and title calls itself once it has let go of the lock.
    void closeDocument(platform::Window* window, bool fromLoader);
    // Moves the current document to the back of the ready documents and makes the first ready
    // document current.
    void sendBack(platform::Window* window);
    // Stops the loader thread (after the extraction it may be in), then the cut queue (after the
    // job it may be in). Documents still held keep their thumbnail files for the next start.
    void shutdown();

    cut::CutQueue* cutQueue = nullptr;
    std::recursive_mutex listLock;
    // Written by resize; read also by the loader thread when it shows a document.
    std::atomic<std::uint32_t> clientWidth{0};
    std::atomic<std::uint32_t> clientHeight{0};
    std::atomic<bool> running{false};
    std::atomic<platform::Window*> mainWindow{nullptr};
    status::StatusBar* statusBar = nullptr;
    std::atomic<thumbs::ThumbDocument*> currentDocument{nullptr};
    std::list<thumbs::ThumbDocument*> readyDocuments;
    std::list<thumbs::ThumbDocument*> pendingDocuments;
    // The document in the loader thread's hands (being extracted), or null. Guarded by listLock.
    thumbs::ThumbDocument* loadingDocument = nullptr;
    // Its source, as it was taken: the document's own fields are the loader's while it extracts.
    std::string loadingPath;
    platform::Thread loaderThread;
    platform::ThreadId loaderThreadId = platform::kNoThread;
    std::string thumbnailDirectory;

private:
    friend void loaderThreadMain(Controller* controller);
    // The document current, pending or ready whose source is the file `path` names.
    thumbs::ThumbDocument* findDocument(const std::string& path);
    // Queues a cut of `document` to `destination`; a refusal is told.
    void queueCut(thumbs::ThumbDocument* document, std::string destination);
    // The list of waiting files (kWaitingFilesName in the thumbnail directory): the sources of
    // the document being extracted and of the pending ones, in order, so that the files not yet
    // read come back at the next start. Written whole (see platform/own_files.h) each time the
    // documents waiting change; removed when none waits.
    std::vector<std::string> readWaitingFiles() const;
    void writeWaitingFiles();
    std::mutex waitingFilesLock_;
    // Deletes the cache files that no index file names (extractions cut short).
    void removeOrphanCacheFiles();
    // Makes the first ready document current; the caller holds listLock and has checked that
    // the list is not empty. Suspends the background threads while the new document's bitmaps
    // are made, then hands them to the next ready document's preload or resumes them.
    void makeFirstReadyCurrent(platform::Window* window, bool suspendLoader, bool alwaysPreload);
    bool shutDown_ = false;
};

// The loader thread's body: extracts pending documents while the Controller runs, suspending
// itself whenever none is left.
void loaderThreadMain(Controller* controller);

}  // namespace control
