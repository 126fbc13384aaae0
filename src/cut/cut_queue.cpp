#include "cut/cut_queue.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/shared_array.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdlib>

#include "control/cut_list_file.h"
#include "cut/trimlet.h"
#include "platform/file_search.h"
#include "platform/text.h"
#include "shell/status_bar.h"

namespace cut {

namespace {

// The engine's temporary output goes into the thumbnail directory, a folder the program owns,
// not into the current directory, which may be any folder of the user's: a cut must never harm
// a user's file. The engine reserves the name exclusively (or "temp-N.wmv" when it is taken)
// and deletes only a file it made.
constexpr char kTemporaryOutput[] = "temp.wmv";

// Numbered cut list file names tried for one destination file name before giving up on
// journalling the job.
constexpr int kMaxCutListVariants = 10000;

using Lock = platform::StopFreeLock<std::mutex>;

bool exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// "temp.wmv" or "temp-N.wmv": the engine's temporary output.
bool isTemporaryOutput(const std::string& name) {
    if (name == kTemporaryOutput) {
        return true;
    }
    const std::string prefix = "temp-", suffix = ".wmv";
    if (name.size() <= prefix.size() + suffix.size() || !startsWith(name, prefix) ||
        !endsWith(name, suffix)) {
        return false;
    }
    std::string number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    return number.find_first_not_of("0123456789") == std::string::npos;
}

// ".temp.wmv.XXXXXX.part": the file the writer fills before renaming it to the temporary
// output.
bool isTemporaryOutputInTheMaking(const std::string& name) {
    std::size_t end = name.find(".wmv.");
    return startsWith(name, ".") && endsWith(name, ".part") && end != std::string::npos &&
           isTemporaryOutput(name.substr(1, end + 3));
}

// `text` as a terminated wide string in a shared array, as the engine takes paths.
boost::shared_array<WCHAR> wide(const std::string& text) {
    std::u16string converted = platform::utf8ToUtf16(text);
    boost::shared_array<WCHAR> out(new WCHAR[converted.size() + 1]);
    std::copy(converted.begin(), converted.end(), out.get());
    out[converted.size()] = 0;
    return out;
}

}  // namespace

// The job the worker has taken off the queues.
struct CutQueue::Job {
    std::string source;
    std::string destination;
    std::uint64_t* times = nullptr;
    std::int32_t count = 0;
    std::uint16_t keyStream = 0;
    std::string cutListFile;
};

CutQueue::CutQueue(std::string directory, shell::StatusBar* bar)
    : statusBar(bar),
      thumbnailDirectory(std::move(directory)),
      workerThread([this] { cutWorkerMain(this); }, platform::Thread::Start::Suspended) {
    removeLeftoverOutputs();
    control::removeUnfinishedCutListWrites(thumbnailDirectory);
    // Each restored job resumes the worker, so the first of them starts at once.
    for (const std::string& name :
         platform::findFilesWithSuffix(thumbnailDirectory, control::kCutListSuffix)) {
        loadCutList(thumbnailDirectory + name);
    }
}

CutQueue::~CutQueue() {
    paused = false;
    running = false;
    platform::resumeThreadById(workerThread.id());
    workerThread.join();
    // Jobs still queued are dropped from memory only; their files stay for the next start.
    for (std::uint64_t* times : timeLists) {
        std::free(times);
    }
}

void CutQueue::removeLeftoverOutputs() {
    // A run killed in the middle of a cut leaves its temporary output behind. Nothing else
    // uses the names (one instance runs at a time), and they must not pile up run after run.
    for (const std::string& name : platform::findFilesWithSuffix(thumbnailDirectory, "")) {
        if (isTemporaryOutput(name) || isTemporaryOutputInTheMaking(name)) {
            ::unlink((thumbnailDirectory + name).c_str());
        }
    }
}

void CutQueue::loadCutList(const std::string& path) {
    std::optional<control::CutList> list = control::readCutListFile(path);
    if (!list) {
        return;
    }
    {
        // A file that a job of this queue already owns is that job's.
        Lock guard(lock);
        if (!cutListNames.insert(path).second) {
            return;
        }
    }
    std::int32_t count = static_cast<std::int32_t>(list->times.size());
    auto* times = static_cast<std::uint64_t*>(std::malloc(sizeof(std::uint64_t) * (count + 1)));
    if (!times) {
        Lock guard(lock);
        cutListNames.erase(path);
        return;
    }
    std::copy(list->times.begin(), list->times.end(), times);
    // The file holds no stream number: a restored job's key stream is always 1.
    addJob(std::move(list->source), std::move(list->destination), times, count, 1, path);
}

void CutQueue::enqueue(std::string source, std::string destination, std::uint64_t* times,
                       std::int32_t count, std::uint16_t keyStream) {
    std::string cutListFile = reserveCutListFile(destination);
    addJob(std::move(source), std::move(destination), times, std::max(count, 0), keyStream,
           std::move(cutListFile));
}

std::string CutQueue::reserveCutListFile(const std::string& destination) {
    // The first name that neither a job of this queue owns nor a file already has: a file left
    // by a job this run did not restore (a malformed one) is not overwritten either.
    Lock guard(lock);
    for (int variant = 1; variant <= kMaxCutListVariants; ++variant) {
        std::string path = thumbnailDirectory + control::cutListFileName(destination, variant);
        if (cutListNames.count(path) == 0 && !exists(path)) {
            cutListNames.insert(path);
            return path;
        }
    }
    return "";
}

void CutQueue::addJob(std::string source, std::string destination, std::uint64_t* times,
                      std::int32_t count, std::uint16_t keyStream, std::string cutListFile) {
    // The file goes to disk before the job enters the queues: a worker that took the job at
    // once could otherwise finish it and delete the file before it was written, and the file
    // would then bring the finished job back at the next start. A failed write is not fatal:
    // the job runs all the same, it just is not restored if the program ends first.
    if (!cutListFile.empty()) {
        control::writeCutListFile(cutListFile, source, destination, times, count);
    }
    {
        Lock guard(lock);
        sources.push_back(std::move(source));
        destinations.push_back(std::move(destination));
        timeLists.push_back(times);
        timeCounts.push_back(count);
        keyStreams.push_back(keyStream);
        cutListFiles.push_back(std::move(cutListFile));
        statusBar->setCutPendingCount(static_cast<std::int32_t>(sources.size()));
    }
    statusBar->showCutPendingCount();
    platform::resumeThread(workerThread.id());
}

void CutQueue::pauseWorker() {
    paused = true;
    platform::suspendThreadById(workerThread.id());
}

void CutQueue::resumeWorker() {
    paused = false;
    platform::resumeThreadById(workerThread.id());
}

bool CutQueue::takeJob(Job& job) {
    Lock guard(lock);
    if (sources.empty()) {
        return false;
    }
    job.source = std::move(sources.front());
    job.destination = std::move(destinations.front());
    job.times = timeLists.front();
    job.count = timeCounts.front();
    job.keyStream = keyStreams.front();
    job.cutListFile = std::move(cutListFiles.front());
    sources.pop_front();
    destinations.pop_front();
    timeLists.pop_front();
    timeCounts.pop_front();
    keyStreams.pop_front();
    cutListFiles.pop_front();
    statusBar->setCutPendingCount(static_cast<std::int32_t>(sources.size()));
    return true;
}

void CutQueue::runJob(const Job& job) {
    statusBar->showCutting(job.destination);
    boost::shared_ptr<Trimlet> engine(new Trimlet());
    boost::shared_array<QWORD> starts(new QWORD[kMaxRanges]());
    boost::shared_array<QWORD> ends(new QWORD[kMaxRanges]());
    std::int32_t ranges = std::min(job.count / 2, kMaxRanges);
    for (std::int32_t i = 0; i < ranges; ++i) {
        starts[i] = job.times[2 * i];
        ends[i] = job.times[2 * i + 1];
    }
    std::string temporary = thumbnailDirectory + kTemporaryOutput;
    // The result is not reported: a failed job is gone like a finished one.
    engine->run(temporary, job.destination, wide(job.source), wide(temporary), starts, ends, ranges,
                job.keyStream);
    if (!job.cutListFile.empty()) {
        ::unlink(job.cutListFile.c_str());
    }
}

void CutQueue::finishJob(const Job& job) {
    std::free(job.times);
    Lock guard(lock);
    cutListNames.erase(job.cutListFile);
}

void cutWorkerMain(CutQueue* queue) {
    while (queue->running) {
        // A stop asked for between two jobs (a document switch) takes effect here.
        platform::safePoint();
        if (!queue->paused) {
            CutQueue::Job job;
            bool taken = queue->takeJob(job);
            queue->statusBar->showCutPendingCount();
            if (taken && !job.source.empty()) {
                queue->runJob(job);
                queue->finishJob(job);
                continue;
            }
            queue->statusBar->showCutting("");
            if (taken) {
                // A job without a source is no job: nothing is cut, and its cut list file
                // stays. The worker waits for the next wake-up even if more jobs wait.
                queue->finishJob(job);
            }
        }
        // The destructor clears running before its wake-up. A wake-up that found the worker
        // stopped by a pause (above) is spent by now; only this look keeps the worker from
        // falling asleep again with nobody left to wake it.
        if (!queue->running) {
            break;
        }
        platform::suspendThreadById(queue->workerThreadId());
    }
}

}  // namespace cut
