#pragma once

// CutQueue: the cut jobs waiting to run, and the cut worker thread that runs them one at a time.
//
// Every job is journalled in a cut list file of its own in the thumbnail directory (see
// journal/cut_list_file.h) from the moment it is queued until its cut engine has returned,
// whatever the result; the next CutQueue queues again every job whose file is still there, and
// those jobs start at once.
//
// The worker and the threads that control it (see thread control in platform/thread.h):
// - The worker is created suspended. Each enqueue resumes it once (resumeThread), so it starts
//   a newly queued job at once unless someone else holds it stopped.
// - With nothing to do, or with `paused` set, it suspends itself by its own id. A resume that
//   reaches it between finding nothing and suspending is kept, so no job is left waiting.
// - pauseWorker sets `paused` and suspends the worker once; the cut in hand stops at the
//   worker's next safe point (the reader stops delivering samples) and, when something wakes
//   the worker before resumeWorker (an enqueue, the end of a document switch), it finishes that
//   cut and then takes no new job until resumeWorker or the destructor clears `paused`.
// - Other threads may also suspend and resume the worker by workerThreadId() without touching
//   `paused` (around a document switch): the cut in hand then simply waits.
// - The worker never stops while it holds `lock`.
//
// Threads that call in: the user-interface thread (construction, enqueue, pauseWorker,
// destruction), the Controller's loader thread (resumeWorker), preload threads and the
// Controller (plain suspension and resumption by id).

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "journal/cut_list_file.h"
#include "platform/own_files.h"
#include "platform/thread.h"

namespace status {
class StatusBar;
}  // namespace status

namespace cut {

class CutQueue {
public:
    // `thumbnailDirectory` ends in "/" and exists; `statusBar` outlives the queue. Deletes what
    // a run killed in the middle of a cut left there, then queues every job of the cut list
    // files found there in the order they were queued (files that do not record it first, in
    // ascending byte order of their names). A job whose destination is its source, or an
    // existing file that is not an ASF file, or whose source has been written or replaced since
    // the file was written, is not queued: its file is set aside (renamed "NAME.refused") and
    // the status bar's notice says why. The partial copy a killed final copy left beside a
    // restored job's destination is deleted.
    CutQueue(std::string thumbnailDirectory, status::StatusBar* statusBar);
    // Lets the worker finish the cut in hand (without a time limit) and ends it. Jobs still
    // queued keep their cut list files, for the next start.
    ~CutQueue();
    CutQueue(const CutQueue&) = delete;
    CutQueue& operator=(const CutQueue&) = delete;

    // Queues the job that the cut list file at `path` holds, as the constructor does for each,
    // and writes the file again under the same name. The job's key stream is found in the
    // source when it runs: the stream its thumbnails come from. A malformed file queues nothing
    // and is left as it is.
    void loadCutList(const std::string& path);

    // Queues a job: cut `source` into `destination`, keeping the ranges (times[0], times[1]),
    // (times[2], times[3]), ... of which at most the first 100 are cut; a last odd value is
    // ignored. `times` is a malloc block of `count` values that the queue frees after the job
    // (it may be null when count is 0); a negative count counts as 0. keyStream is the stream
    // whose clean points open ranges (0: the source's thumbnail stream). `sourceStamp`, when
    // given, is the source as the ranges were chosen on: a source that is no longer that file
    // when the job runs is not cut, and the job fails; so is one whose destination is no longer
    // what it was when queued (a file made under its name since, another job's output). The
    // cut list file is on disk before the
    // worker can see the job. Resumes the worker once. A job whose destination is its source (the
    // same file, however spelled) or that lacks either path is refused: false, and `times` is
    // freed.
    bool enqueue(std::string source, std::string destination, std::uint64_t* times,
                 std::int32_t count, std::uint16_t keyStream,
                 std::optional<platform::FileStamp> sourceStamp = std::nullopt);

    // Whether a job waiting or running writes `destination` (compared as given).
    bool hasDestination(const std::string& destination);

    // Holds the worker: sets `paused` and suspends it once.
    void pauseWorker();
    // Lets the worker take jobs again: clears `paused` and resumes it whatever its suspend count.
    void resumeWorker();

    // The worker's id, for plain suspension and resumption that leave `paused` as it is.
    platform::ThreadId workerThreadId() const { return workerThread.id(); }

private:
    struct Job;
    // What a job checks before it cuts: the source as its ranges were chosen on, and, for a job
    // queued in this run, its destination as it was when the user chose it (none: no file).
    struct Stamps {
        std::optional<platform::FileStamp> source;
        bool destinationKnown = false;
        std::optional<platform::FileStamp> destination;
    };

    friend void cutWorkerMain(CutQueue* queue);

    std::string reserveCutListFile(const std::string& destination);
    void restoreJob(const std::string& path, journal::CutList list);
    void addJob(std::string source, std::string destination, std::uint64_t* times,
                std::int32_t count, std::uint16_t keyStream, std::string cutListFile,
                std::uint64_t order, Stamps stamps);
    bool takeJob(Job& job);
    void runJob(const Job& job);
    void finishJob(const Job& job);
    void removeLeftoverOutputs();

    // The waiting jobs, front first: position k of each queue belongs to the k-th job. The job
    // being cut is no longer in them.
    std::deque<std::string> sources;
    std::deque<std::string> destinations;
    std::deque<std::uint64_t*> timeLists;  // malloc blocks, freed after the job
    std::deque<std::int32_t> timeCounts;
    std::deque<std::uint16_t> keyStreams;
    std::deque<std::string> cutListFiles;  // path of each job's own cut list file, or empty
    std::deque<Stamps> jobStamps;
    // Paths of the cut list files this queue's jobs own, from the choice of the name until the
    // job is done, the running job's included: no two jobs ever share a file.
    std::set<std::string> cutListNames;
    // The destination of the job being cut; empty between jobs.
    std::string runningDestination;
    // The order the next queued job records in its cut list file: past every restored one.
    std::uint64_t nextOrder = 1;
    // Guards the seven queues (which change only together), cutListNames, runningDestination,
    // nextOrder and the stored cut pending count of the status bar. Never held while calling out to
    // the window or the engine; the worker is never stopped while holding it.
    std::mutex lock;

    std::atomic<bool> running{true};  // cleared when the destructor begins
    // Set by pauseWorker, cleared by resumeWorker and the destructor; always written before the
    // suspension or resumption it goes with. Read by the worker at the top of each turn.
    std::atomic<bool> paused{false};
    status::StatusBar* const statusBar;
    const std::string thumbnailDirectory;
    // Declared last: created suspended once everything it reads is in place.
    platform::Thread workerThread;
};

// The cut worker thread's body: one job per turn while `running`.
void cutWorkerMain(CutQueue* queue);

}  // namespace cut
