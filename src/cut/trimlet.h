#pragma once

// Trimlet, the cut engine: writes a new file holding only the kept ranges of a source file,
// sample by sample, without decoding anything, with the time stamps shifted so that the ranges
// follow one another without gaps.
//
// The engine is the asynchronous reader's callback object. run() is called once, on the cut
// worker thread, which then waits on doneEvent while the reader calls back on its own thread;
// the callbacks select and write the samples and pace the reader one second at a time.
//
// Sample selection goes by time alone: every sample of every stream whose time lies in a kept
// range [start, end) is written at its time less that range's shift, whatever order the file
// sends its streams in (encoders send audio a second or more ahead of or behind the video).
// Every range and its shift are known before the first sample arrives. A range opens when the
// key stream reaches its start with a clean point timed exactly there (a first range starting
// at 0 is open from the outset); a range whose start the key stream passes without such a clean
// point never opens, and neither does any later one; the cut then fails rather than call an
// output without them done. Samples of other streams, and frames of the key stream timed at the
// start itself, that arrive for a range before the key stream has opened it wait in `pending`
// until it does. The reading ends
// when every stream has gone past the end of the last range that can still be written (with a
// second to spare for frames sent out of presentation order), or at the end of the file.
//
// Ownership: the cut worker holds the engine in a shared pointer that deletes it directly.
// refCount starts at 1 and that reference is never released, so the reader's AddRef and
// Release never destroy the engine while a job runs. Before the engine goes, its destructor
// closes the reader and waits for its thread, so no callback reaches a destroyed engine.

#include <boost/shared_array.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "asf/media_time.h"
#include "media/wmsdk.h"
#include "platform/event.h"

namespace cut {

class TemporaryFile;

using media::BOOL;
using media::BYTE;
using media::DWORD;
using media::GUID;
using media::HRESULT;
using media::QWORD;
using media::ULONG;
using media::WCHAR;
using media::WORD;

// At most this many ranges are cut from one source.
constexpr int kMaxRanges = 100;
// How far an output's length may run past the end of its last sample (a header's duration
// beyond that is not believed).
constexpr media::QWORD kMaxTail = 10 * asf::kTicksPerSecond;

class Trimlet final : public media::IWMReaderCallback, public media::IWMReaderCallbackAdvanced {
public:
    // The engine writes the start of every range it is given to `startTimes` (the window
    // program's standard output), which must outlive it.
    explicit Trimlet(std::ostream& startTimes);
    ~Trimlet();
    Trimlet(const Trimlet&) = delete;
    Trimlet& operator=(const Trimlet&) = delete;

    // Cuts `source` into `destination` through the temporary file `tempName` (the same name as
    // a wide string in `tempNameWide`). starts and ends hold 100 media times, of which the first
    // rangeCount (0 to 100) count; keyStream is the stream whose clean points open ranges.
    // Writes one line per range to the engine's stream: the range start in whole milliseconds,
    // its low 32 bits as an unsigned decimal number. Returns the first failing step's code; on
    // failure the destination is left as it was.
    HRESULT run(std::string tempName, std::string destination, boost::shared_array<WCHAR> source,
                boost::shared_array<WCHAR> tempNameWide, boost::shared_array<QWORD> starts,
                boost::shared_array<QWORD> ends, std::int32_t rangeCount, WORD keyStream);

    // IUnknown, shared by both interfaces: one object, one count.
    HRESULT QueryInterface(const media::IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IWMStatusCallback / IWMReaderCallback. Called on the reader's thread.
    HRESULT OnStatus(media::WMT_STATUS Status, HRESULT hr, media::WMT_ATTR_DATATYPE dwType,
                     BYTE* pValue, void* pvContext) override;
    HRESULT OnSample(DWORD dwOutputNum, QWORD cnsSampleTime, QWORD cnsSampleDuration, DWORD dwFlags,
                     media::INSSBuffer* pSample, void* pvContext) override;

    // IWMReaderCallbackAdvanced. Called on the reader's thread.
    HRESULT OnStreamSample(WORD wStreamNum, QWORD cnsSampleTime, QWORD cnsSampleDuration,
                           DWORD dwFlags, media::INSSBuffer* pSample, void* pvContext) override;
    HRESULT OnTime(QWORD cnsCurrentTime, void* pvContext) override;
    HRESULT OnStreamSelection(WORD wStreamCount, WORD* pStreamNumbers,
                              media::WMT_STREAM_SELECTION* pSelections, void* pvContext) override;
    HRESULT OnOutputPropsChanged(DWORD dwOutputNum, media::WM_MEDIA_TYPE* pMediaType,
                                 void* pvContext) override;
    HRESULT AllocateForStream(WORD wStreamNum, DWORD cbBuffer, media::INSSBuffer** ppBuffer,
                              void* pvContext) override;
    HRESULT AllocateForOutput(DWORD dwOutputNum, DWORD cbBuffer, media::INSSBuffer** ppBuffer,
                              void* pvContext) override;

private:
    HRESULT openSource(const WCHAR* source);
    HRESULT readStreams();
    HRESULT createWriter(const WCHAR* output);
    HRESULT copyAttributes();
    HRESULT copyCodecInfo();
    HRESULT copyScripts();
    HRESULT transfer();
    HRESULT finishOutput(const WCHAR* output);
    HRESULT waitDone();
    // Stores a callback's outcome for the waiting worker; a failure is never overwritten.
    void setResult(HRESULT hr);
    void signalDone() { doneEvent->signal(); }

public:
    // Fields, in the engine's order. Those the callbacks share with the worker are written by
    // the callbacks and read by the worker only after doneEvent has woken it.
    std::int32_t rangeCount = 0;
    std::int32_t rangeIndex = 0;
    media::IWMWriter* writer = nullptr;
    media::IWMWriterAdvanced* writerAdvanced = nullptr;
    media::IWMHeaderInfo* writerHeader = nullptr;
    media::IWMReader* reader = nullptr;
    media::IWMReaderAdvanced* readerAdvanced = nullptr;
    media::IWMHeaderInfo* readerHeader = nullptr;
    media::IWMProfile* profile = nullptr;
    std::uint32_t streamCount = 0;
    QWORD rangeStarts[kMaxRanges] = {};
    QWORD rangeEnds[kMaxRanges] = {};
    // Per range, the amount subtracted from the source time of its samples: the first range's
    // start plus every gap between ranges before it, so the key stream opens the output at 0.
    QWORD rangeOffsets[kMaxRanges] = {};
    GUID* streamTypes = nullptr;    // malloc'd, streamCount entries, profile order
    WORD* streamNumbers = nullptr;  // malloc'd, streamCount entries, profile order
    WORD keyStream = 0;
    platform::Event* doneEvent = nullptr;
    std::atomic<HRESULT> result{media::S_OK};
    QWORD nextDeliverTime = 0;
    std::atomic<bool> finished{false};
    std::atomic<ULONG> refCount{1};
    QWORD duration = 0;
    // Ranges that may still be written: those before the first one that cannot open (its start
    // not a clean point of the key stream, or not after the previous range's end).
    std::int32_t writableRanges = 0;

    // Attributes of the source that the output does not carry (stream 0: the file), with why.
    struct SkippedAttribute {
        WORD stream;
        std::string name;
        HRESULT why;
    };
    std::vector<SkippedAttribute> skippedAttributes;
    // Whether the finished output may take the place of a file at the destination.
    bool replaceDestination = true;
    // Whether the temporary output's name is taken only once its samples are all written, not
    // before the cut starts: then a cut that is ended midway (even killed) leaves no file under
    // that name, since the writer's file has none until it is complete. The name is the one
    // asked for, or a numbered one beside it, that is free when the cut starts; should another
    // file take it meanwhile, the cut fails rather than replace it.
    bool nameTemporaryLate = false;
    // Told, on the reader's thread, each time the share of the output written (0 to 100, by the
    // time its samples reach) changes; may be empty.
    std::function<void(int)> progress;

private:
    std::ostream& startTimes_;
    int reportedPercent_ = -1;
    // A sample that waits for the key stream to open its range.
    struct Pending {
        std::int32_t range;
        WORD stream;
        QWORD time;
        QWORD duration;
        DWORD flags;
        media::ComPtr<media::INSSBuffer> buffer;
    };
    std::vector<Pending> pending;
    // Where the latest sample written ends, in output time.
    QWORD writtenEnd = 0;
    // Per stream number, whether a sample arrived and the latest time one carried.
    bool streamSeen[128] = {};
    QWORD streamLatest[128] = {};

    // The range [start, end) that holds time t among the writable ones, or -1.
    std::int32_t rangeOf(QWORD t) const;
    // The key stream reached a range's start with sample (t, flags): opens it or shuts it.
    void keyStreamReached(QWORD t, DWORD flags);
    void writeSample(std::int32_t range, WORD stream, QWORD t, QWORD d, DWORD flags,
                     media::INSSBuffer* buffer);
    // Whether every stream has gone past the last writable range.
    bool everyRangeDone() const;
    // Whether some stream has gone past it, or it ends within the samples a file cut short
    // before it was opened holds: all there is of such a file may be all the ranges keep.
    bool dataReachesPastEveryRange() const;
    std::u16string sourcePath_;
    // With nameTemporaryLate: the temporary file the output's name is taken for, and that name.
    TemporaryFile* lateTemporary_ = nullptr;
    std::string lateName_;
};

// One cut as the cut worker runs it: an engine over `ranges` (the first kMaxRanges of them) from
// `source` to `destination` through the temporary file `temporary`. The engine's range starts
// go to `startTimes`; the source's attributes it could not copy, to *skipped when given. Unless
// `replace`, a destination that exists when the output is finished is kept and the cut fails
// (ERROR_FILE_EXISTS). `progress`, when given, hears how far the output has come (see
// Trimlet::progress); `nameTemporaryLate`: see Trimlet::nameTemporaryLate.
HRESULT runCut(const std::string& source, const std::string& destination,
               const std::string& temporary, const std::vector<asf::TimeRange>& ranges,
               WORD keyStream, std::ostream& startTimes,
               std::vector<Trimlet::SkippedAttribute>* skipped = nullptr, bool replace = true,
               std::function<void(int)> progress = {}, bool nameTemporaryLate = false);

}  // namespace cut
