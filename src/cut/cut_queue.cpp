#include "cut/cut_queue.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <utility>
#include <vector>

#include "cut/failure_reason.h"
#include "cut/output_files.h"
#include "cut/trimlet.h"
#include "journal/cut_list_file.h"
#include "media/hresult.h"
#include "platform/file_search.h"
#include "platform/files.h"
#include "platform/own_files.h"
#include "platform/text.h"
#include "status/status_bar.h"

namespace cut {

namespace {

// The engine's temporary output goes into the thumbnail directory, a folder the program owns,
// not into the current directory, which may be any folder of the user's: a cut must never harm
// a user's file. The name is the program's own, so that clearing away what a killed run left
// never meets a file somebody else put there; the engine reserves it exclusively (or
// ".splicor-temp-N.wmv" when it is taken) and deletes only a file it made.
constexpr char kTemporaryStem[] = ".splicor-temp";
constexpr char kTemporaryExtension[] = ".wmv";

// Numbered cut list file names tried for one destination file name before giving up on
// journalling the job.
constexpr int kMaxCutListVariants = 10000;

// What the final copy names the file it fills beside the destination (see output_files.h):
// "." + name + ".splicor-part", or "." + name + "-N.splicor-part" when that is taken.
constexpr char kPartialCopyExtension[] = ".splicor-part";

// The first 16 bytes of every ASF file: the Header Object's id.
constexpr unsigned char kAsfHeaderId[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                            0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

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

bool isDecimal(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Whether `name` is `stem` + `extension` or `stem` + "-N" + `extension`: a name reserved by
// TemporaryFile for `stem` + `extension`.
bool isReservedName(const std::string& name, const std::string& stem,
                    const std::string& extension) {
    if (!startsWith(name, stem) || !endsWith(name, extension) ||
        name.size() < stem.size() + extension.size()) {
        return false;
    }
    std::string middle = name.substr(stem.size(), name.size() - stem.size() - extension.size());
    return middle.empty() || (middle[0] == '-' && isDecimal(middle.substr(1)));
}

// The engine's temporary output.
bool isTemporaryOutput(const std::string& name) {
    return isReservedName(name, kTemporaryStem, kTemporaryExtension);
}

// "." + temporary output + ".XXXXXX.part": the file the writer fills before renaming it to the
// temporary output.
bool isTemporaryOutputInTheMaking(const std::string& name) {
    std::size_t end = name.find(std::string(kTemporaryExtension) + ".");
    return startsWith(name, ".") && endsWith(name, ".part") && end != std::string::npos &&
           isTemporaryOutput(name.substr(1, end + sizeof kTemporaryExtension - 2));
}

// How many of the first 16 bytes of the regular file `path` match the ASF header's id, and
// how many it has (at most 16); false when it is not a regular file.
bool readStart(const std::string& path, unsigned char (&start)[16], std::size_t& length) {
    int fd = platform::openRegularFile(path);
    if (fd < 0) {
        return false;
    }
    ssize_t n = ::pread(fd, start, sizeof start, 0);
    ::close(fd);
    length = n < 0 ? 0 : static_cast<std::size_t>(n);
    return n >= 0;
}

// A regular file that begins as an ASF file does.
bool isAsfFile(const std::string& path) {
    unsigned char start[16];
    std::size_t length = 0;
    return readStart(path, start, length) && length == sizeof start &&
           std::memcmp(start, kAsfHeaderId, sizeof start) == 0;
}

// Deletes the partial copies a final copy to `destination` left beside it when the process
// ended during the copy. Only files of the copy's own names that hold nothing yet or the start
// of an ASF file (what the copy writes) go.
void removePartialCopies(const std::string& destination) {
    const std::string directory = platform::folderPart(destination);
    const std::string stem = partialCopyStem(platform::fileNamePart(destination));
    for (const std::string& name : platform::findFilesWithSuffix(
             directory.empty() ? "./" : directory, kPartialCopyExtension)) {
        if (!isReservedName(name, stem, kPartialCopyExtension)) {
            continue;
        }
        const std::string path = directory + name;
        unsigned char start[16];
        std::size_t length = 0;
        if (readStart(path, start, length) && std::memcmp(start, kAsfHeaderId, length) == 0) {
            ::unlink(path.c_str());
        }
    }
}

// The stream a document of `source` takes its thumbnails from, whose clean points open the
// ranges: the last video stream. 1 (as jobs were once restored) when the source cannot be read;
// the cut then fails as it would anyway.
std::uint16_t thumbnailStreamOf(const std::string& source) {
    media::ComPtr<media::IWMSyncReader> reader;
    media::ComPtr<media::IWMProfile> profile;
    media::DWORD count = 0;
    if (media::FAILED(media::WMCreateSyncReader(nullptr, 0, reader.put())) ||
        media::FAILED(reader->Open(platform::utf8ToUtf16(source).c_str())) ||
        media::FAILED(reader.as(media::IID_IWMProfile, profile)) ||
        media::FAILED(profile->GetStreamCount(&count))) {
        return 1;
    }
    std::uint16_t found = 1;
    for (media::DWORD i = 0; i < count; ++i) {
        media::ComPtr<media::IWMStreamConfig> config;
        media::GUID type{};
        media::WORD number = 0;
        if (media::SUCCEEDED(profile->GetStream(i, config.put())) &&
            media::SUCCEEDED(config->GetStreamType(&type)) &&
            media::SUCCEEDED(config->GetStreamNumber(&number)) &&
            type == media::WMMEDIATYPE_Video) {
            found = number;
        }
    }
    reader->Close();
    return found;
}

// Why a restored job (from the cut list file at `path`) must not run, or empty when it may.
std::string refusalOf(const journal::CutList& list, const std::string& path) {
    if (platform::sameFile(list.source, list.destination)) {
        return "保存先が元のファイルです";
    }
    struct stat info;
    if (::stat(list.destination.c_str(), &info) == 0 && !isAsfFile(list.destination)) {
        return "保存先に Windows Media ファイルでないファイルがあります";
    }
    // The ranges were chosen on the source as it was when the job was queued: the file's own
    // time says when that was. A source written or moved into place since holds other material.
    std::optional<platform::FileStamp> listed = platform::fileStamp(path);
    if (listed && ::stat(list.source.c_str(), &info) == 0 &&
        platform::changedSince(list.source, listed->modifiedNs)) {
        return "元のファイルが分割の予約の後に変更されています";
    }
    return "";
}

// Why the job's source cannot be cut as it was queued, or S_OK. Looked at before the cut starts,
// so that a failure that shows in the files is told at once, with its own reason.
media::HRESULT preflight(const std::string& source, const std::string& destination,
                         const std::optional<platform::FileStamp>& queuedStamp,
                         const std::optional<platform::FileStamp>* queuedDestination) {
    std::optional<platform::FileStamp> now = platform::fileStamp(source);
    if (!now) {
        return media::NS_E_FILE_NOT_FOUND;
    }
    if (queuedStamp && *now != *queuedStamp) {
        return kSourceChanged;
    }
    const std::string folder = platform::folderOf(destination);
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return media::HRESULT_FROM_WIN32(media::ERROR_PATH_NOT_FOUND);
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return media::hresultFromErrno(errno);
    }
    // The user agreed to replace the file that was there, or to none: a file that has taken
    // the name since (made by hand, an earlier job's output) is not theirs to lose.
    if (queuedDestination != nullptr && platform::fileStamp(destination) != *queuedDestination) {
        return media::HRESULT_FROM_WIN32(media::ERROR_FILE_EXISTS);
    }
    return media::S_OK;
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
    Stamps stamps;
};

CutQueue::CutQueue(std::string directory, status::StatusBar* bar)
    : statusBar(bar),
      thumbnailDirectory(std::move(directory)),
      workerThread([this] { cutWorkerMain(this); }, platform::Thread::Start::Suspended) {
    removeLeftoverOutputs();
    journal::removeUnfinishedCutListWrites(thumbnailDirectory);
    // The jobs of the last run, in the order they were queued. Files from before the order was
    // recorded come first (they are older), in name order.
    std::vector<std::pair<std::string, journal::CutList>> restored;
    for (const std::string& name :
         platform::findFilesWithSuffix(thumbnailDirectory, journal::kCutListSuffix)) {
        if (std::optional<journal::CutList> list =
                journal::readCutListFile(thumbnailDirectory + name)) {
            restored.emplace_back(thumbnailDirectory + name, std::move(*list));
        }
    }
    std::stable_sort(restored.begin(), restored.end(),
                     [](const auto& a, const auto& b) { return a.second.order < b.second.order; });
    for (const auto& [path, list] : restored) {
        nextOrder = std::max(nextOrder, list.order + 1);
    }
    // Each restored job resumes the worker, so the first of them starts at once.
    for (auto& [path, list] : restored) {
        restoreJob(path, std::move(list));
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
        if ((isTemporaryOutput(name) || isTemporaryOutputInTheMaking(name)) &&
            platform::isRegularFile(thumbnailDirectory + name)) {
            ::unlink((thumbnailDirectory + name).c_str());
        }
    }
}

void CutQueue::loadCutList(const std::string& path) {
    if (std::optional<journal::CutList> list = journal::readCutListFile(path)) {
        restoreJob(path, std::move(*list));
    }
}

void CutQueue::restoreJob(const std::string& path, journal::CutList list) {
    // A job that would write over its source, or over a file that is not a video of ours (a
    // hand-written or planted cut list file), is set aside with its file, not run.
    const std::string refusal = refusalOf(list, path);
    if (!refusal.empty()) {
        const std::string aside = platform::setAside(path, "refused");
        statusBar->notify("予約されていた分割を行いません: " + list.destination + "\n" + refusal +
                          " (予約: " + (aside.empty() ? path : aside) + ")");
        return;
    }
    {
        // A file that a job of this queue already owns is that job's.
        Lock guard(lock);
        if (!cutListNames.insert(path).second) {
            return;
        }
    }
    // A copy cut short by the end of the last run is of no use: the job runs again whole.
    removePartialCopies(list.destination);
    std::int32_t count = static_cast<std::int32_t>(list.times.size());
    auto* times = static_cast<std::uint64_t*>(std::malloc(sizeof(std::uint64_t) * (count + 1)));
    if (!times) {
        Lock guard(lock);
        cutListNames.erase(path);
        return;
    }
    std::copy(list.times.begin(), list.times.end(), times);
    // The file holds no stream number: the worker finds the key stream in the source (0). A
    // file without an order keeps none: it stays older than every job queued since.
    const std::uint64_t order = list.order;
    // From here on the job cuts the source as it is now.
    Stamps stamps;
    stamps.source = platform::fileStamp(list.source);
    addJob(std::move(list.source), std::move(list.destination), times, count, 0, path, order,
           std::move(stamps));
}

bool CutQueue::enqueue(std::string source, std::string destination, std::uint64_t* times,
                       std::int32_t count, std::uint16_t keyStream,
                       std::optional<platform::FileStamp> sourceStamp) {
    // However the two are spelled, a cut never writes over its own source.
    if (source.empty() || destination.empty() || platform::sameFile(source, destination)) {
        std::free(times);
        return false;
    }
    std::string cutListFile = reserveCutListFile(destination);
    Stamps stamps;
    stamps.source = sourceStamp;
    stamps.destinationKnown = true;
    stamps.destination = platform::fileStamp(destination);
    std::uint64_t order = 0;
    {
        Lock guard(lock);
        order = nextOrder++;
    }
    addJob(std::move(source), std::move(destination), times, std::max(count, 0), keyStream,
           std::move(cutListFile), order, std::move(stamps));
    return true;
}

bool CutQueue::hasDestination(const std::string& destination) {
    Lock guard(lock);
    return std::find(destinations.begin(), destinations.end(), destination) != destinations.end() ||
           runningDestination == destination;
}

std::string CutQueue::reserveCutListFile(const std::string& destination) {
    // The first name that neither a job of this queue owns nor a file already has: a file left
    // by a job this run did not restore (a malformed one) is not overwritten either.
    Lock guard(lock);
    for (int variant = 1; variant <= kMaxCutListVariants; ++variant) {
        std::string path = thumbnailDirectory + journal::cutListFileName(destination, variant);
        if (cutListNames.count(path) == 0 && !exists(path)) {
            cutListNames.insert(path);
            return path;
        }
    }
    return "";
}

void CutQueue::addJob(std::string source, std::string destination, std::uint64_t* times,
                      std::int32_t count, std::uint16_t keyStream, std::string cutListFile,
                      std::uint64_t order, Stamps stamps) {
    // The file goes to disk before the job enters the queues: a worker that took the job at
    // once could otherwise finish it and delete the file before it was written, and the file
    // would then bring the finished job back at the next start. A failed write is not fatal:
    // the job runs all the same, it just is not restored if the program ends first.
    if (!cutListFile.empty()) {
        journal::writeCutListFile(cutListFile, source, destination, times, count, order);
    }
    {
        Lock guard(lock);
        sources.push_back(std::move(source));
        destinations.push_back(std::move(destination));
        timeLists.push_back(times);
        timeCounts.push_back(count);
        keyStreams.push_back(keyStream);
        cutListFiles.push_back(std::move(cutListFile));
        jobStamps.push_back(std::move(stamps));
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
    job.stamps = std::move(jobStamps.front());
    runningDestination = job.destination;
    sources.pop_front();
    destinations.pop_front();
    timeLists.pop_front();
    timeCounts.pop_front();
    keyStreams.pop_front();
    cutListFiles.pop_front();
    jobStamps.pop_front();
    statusBar->setCutPendingCount(static_cast<std::int32_t>(sources.size()));
    return true;
}

void CutQueue::runJob(const Job& job) {
    statusBar->showCutting(job.destination);
    std::vector<asf::TimeRange> ranges;
    for (std::int32_t i = 0; i < std::min(job.count / 2, kMaxRanges); ++i) {
        ranges.emplace_back(job.times[2 * i], job.times[2 * i + 1]);
    }
    std::string temporary = thumbnailDirectory + kTemporaryStem + kTemporaryExtension;
    // Opened once: the file checked against the queued one below is the file cut, even when
    // another is renamed onto its name meanwhile.
    const platform::HeldFile source(job.source);
    // A restored job's key stream is the one its thumbnails came from.
    const std::uint16_t keyStream =
        job.keyStream != 0 ? job.keyStream : thumbnailStreamOf(source.path());
    // A failed job is gone like a finished one, and told in the window: its destination is as
    // it was, which the user would not otherwise learn.
    media::HRESULT hr = preflight(source.path(), job.destination, job.stamps.source,
                                  job.stamps.destinationKnown ? &job.stamps.destination : nullptr);
    if (media::SUCCEEDED(hr)) {
        hr = runCut(
            source.path(), job.destination, temporary, ranges, keyStream, std::cout, nullptr, true,
            [this, &job](int percent) { statusBar->showCutting(job.destination, percent); });
    }
    if (media::FAILED(hr)) {
        statusBar->showCutFailed(job.destination, failureReason(hr));
    } else {
        statusBar->showCutDone(job.destination);
    }
    removePartialCopies(job.destination);
    if (!job.cutListFile.empty()) {
        ::unlink(job.cutListFile.c_str());
    }
}

void CutQueue::finishJob(const Job& job) {
    std::free(job.times);
    Lock guard(lock);
    cutListNames.erase(job.cutListFile);
    runningDestination.clear();
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
