// The asynchronous reader: opening, paced delivery of compressed samples through the callback,
// the end of the file, and closing after which nothing calls back.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <sstream>

#include "asf/media_time.h"
#include "cli/commands.h"
#include "harness/reader_callback.h"
#include "media/md5.h"
#include "media/wmsdk.h"
#include "platform/event.h"
#include "platform/text.h"
#include "platform/thread.h"
#include "support/scratch.h"
#include "support/test_files.h"

using namespace media;
using namespace std::chrono_literals;

namespace {

constexpr QWORD kSecond = asf::kTicksPerSecond;

// Records what the reader reports; grants time one second at a time like the cut engine.
class Recorder final : public testsupport::StackReaderCallback {
public:
    HRESULT OnStatus(WMT_STATUS status, HRESULT hr, WMT_ATTR_DATATYPE, BYTE*, void*) override {
        std::lock_guard<std::mutex> guard(lock);
        log << "status " << status << " " << hr << "\n";
        threads.push_back(platform::currentThreadId());
        lastStatus = status;
        lastResult = hr;
        if (status == WMT_STARTED && reader) {
            granted = kSecond;
            reader->DeliverTime(granted);
        }
        if (status == WMT_CLOSED) {
            closed = true;
        }
        if (afterClose) {
            lateCallbacks++;
        }
        event.signal();
        return S_OK;
    }
    HRESULT OnSample(DWORD, QWORD, QWORD, DWORD, INSSBuffer*, void*) override {
        uncompressed++;
        return S_OK;
    }
    HRESULT OnStreamSample(WORD stream, QWORD time, QWORD duration, DWORD flags, INSSBuffer* sample,
                           void*) override {
        BYTE* data;
        DWORD length;
        sample->GetBufferAndLength(&data, &length);
        std::lock_guard<std::mutex> guard(lock);
        if (time >= granted) {
            early++;
        }
        samples << stream << " " << time << " " << duration << " "
                << ((flags & WM_SF_CLEANPOINT) ? 1 : 0) << " " << length << " "
                << md5Hex(data, length) << "\n";
        if (afterClose) {
            lateCallbacks++;
        }
        return S_OK;
    }
    HRESULT OnTime(QWORD time, void*) override {
        std::lock_guard<std::mutex> guard(lock);
        times++;
        EXPECT_EQ(time, granted);
        granted += kSecond;
        reader->DeliverTime(granted);  // from inside the callback, as the cut engine does
        return S_OK;
    }

    // Waits for a status; false after two seconds without it.
    bool waitFor(WMT_STATUS status) {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (lastStatus == status) {
                    return true;
                }
            }
            event.waitFor(50ms);
        }
        return false;
    }

    std::mutex lock;
    platform::Event event;
    IWMReaderAdvanced* reader = nullptr;
    int lastStatus = -1;
    HRESULT lastResult = S_OK;
    QWORD granted = 0;
    int early = 0, times = 0, uncompressed = 0, lateCallbacks = 0;
    bool closed = false;
    std::atomic<bool> afterClose{false};
    std::vector<platform::ThreadId> threads;
    std::ostringstream log, samples;
};

struct OpenReader {
    ComPtr<IWMReader> reader;
    ComPtr<IWMReaderAdvanced> advanced;
};

OpenReader open(const std::string& path, Recorder& recorder) {
    OpenReader r;
    EXPECT_EQ(WMCreateReader(nullptr, 0, r.reader.put()), S_OK);
    EXPECT_EQ(r.reader.as(IID_IWMReaderAdvanced, r.advanced), S_OK);
    recorder.reader = r.advanced.get();
    EXPECT_EQ(r.reader->Open(platform::utf8ToUtf16(path).c_str(), &recorder, nullptr), S_OK);
    return r;
}

void receiveEveryStream(OpenReader& r) {
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(r.reader.as(IID_IWMProfile, profile), S_OK);
    DWORD count = 0;
    ASSERT_EQ(profile->GetStreamCount(&count), S_OK);
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> config;
        WORD number = 0;
        ASSERT_EQ(profile->GetStream(i, config.put()), S_OK);
        ASSERT_EQ(config->GetStreamNumber(&number), S_OK);
        ASSERT_EQ(r.advanced->SetReceiveStreamSamples(number, TRUE), S_OK);
    }
}

// Opens `path` for compressed samples of every stream on a clock the test grants.
void openForSamples(OpenReader& r, const std::string& path, Recorder& recorder) {
    r = open(path, recorder);
    ASSERT_TRUE(recorder.waitFor(WMT_OPENED));
    ASSERT_EQ(r.advanced->SetUserProvidedClock(TRUE), S_OK);
    receiveEveryStream(r);
}

// The tests read the generated media.
class AsyncReader : public testing::Test {
protected:
    void SetUp() override {
        if (media.empty()) {
            GTEST_SKIP() << "no media";
        }
    }
    const std::string media = testsupport::testMediaDir();
};

}  // namespace

TEST_F(AsyncReader, DeliversEverySampleInFileOrderPacedByTheUserClock) {
    std::string path = media + "/wmv2_wmav2.wmv";
    Recorder recorder;
    {
        OpenReader r = open(path, recorder);
        ASSERT_TRUE(recorder.waitFor(WMT_OPENED));
        EXPECT_EQ(recorder.lastResult, S_OK);
        EXPECT_NE(recorder.threads.at(0), platform::currentThreadId());
        ASSERT_EQ(r.advanced->SetUserProvidedClock(TRUE), S_OK);
        ASSERT_EQ(r.advanced->SetManualStreamSelection(TRUE), S_OK);
        receiveEveryStream(r);
        ASSERT_EQ(r.reader->Start(0, 0, 1.0f, nullptr), S_OK);
        ASSERT_TRUE(recorder.waitFor(WMT_END_OF_FILE));
        EXPECT_EQ(r.reader->Close(), S_OK);
        EXPECT_TRUE(recorder.closed);
        recorder.afterClose = true;
    }
    std::ostringstream expected;
    ASSERT_EQ(cli::packetsCommand(path, expected), 0);
    EXPECT_EQ(recorder.samples.str(), expected.str());
    EXPECT_EQ(recorder.early, 0);
    EXPECT_GE(recorder.times, 7);  // an 8-second file granted one second at a time
    EXPECT_EQ(recorder.uncompressed, 0);
    EXPECT_EQ(recorder.lateCallbacks, 0);
    EXPECT_EQ(recorder.refs, 1u);  // every reference the reader took was given back
}

TEST_F(AsyncReader, StopsWhenTimeIsNoLongerGrantedAndPausesWithItsOwner) {
    Recorder recorder;
    OpenReader r;
    openForSamples(r, media + "/long_gop.wmv", recorder);
    recorder.reader = nullptr;  // grant nothing after the first second
    std::atomic<bool> started{false};
    platform::Thread owner([&] {
        r.reader->Start(0, 0, 1.0f, nullptr);
        started = true;
        platform::suspendThreadById(platform::currentThreadId());
    });
    ASSERT_TRUE(recorder.waitFor(WMT_STARTED));
    // The owner is suspended now: delivery does not go on while it is.
    while (platform::suspendCount(owner.id()) != 1) {
        std::this_thread::yield();
    }
    {
        std::lock_guard<std::mutex> guard(recorder.lock);
        recorder.granted = 100 * kSecond;
    }
    r.advanced->DeliverTime(100 * kSecond);
    std::this_thread::sleep_for(100ms);
    std::string before;
    {
        std::lock_guard<std::mutex> guard(recorder.lock);
        before = recorder.samples.str();
    }
    EXPECT_TRUE(before.empty());
    platform::resumeThreadById(owner.id());
    owner.join();
    ASSERT_TRUE(recorder.waitFor(WMT_END_OF_FILE));
    EXPECT_EQ(r.reader->Close(), S_OK);
}

TEST_F(AsyncReader, ReportsAFailedOpenThroughTheCallback) {
    Recorder recorder;
    OpenReader r = open("/nonexistent/clip.wmv", recorder);
    ASSERT_TRUE(recorder.waitFor(WMT_OPENED));
    EXPECT_EQ(recorder.lastResult, NS_E_FILE_NOT_FOUND);
    ComPtr<IWMHeaderInfo> header;
    ASSERT_EQ(r.reader.as(IID_IWMHeaderInfo, header), S_OK);
    WORD stream = 0, length = 8;
    WMT_ATTR_DATATYPE type;
    QWORD duration;
    EXPECT_TRUE(FAILED(header->GetAttributeByName(&stream, u"Duration", &type,
                                                  reinterpret_cast<BYTE*>(&duration), &length)));
    EXPECT_EQ(r.reader->Close(), S_OK);
    EXPECT_TRUE(recorder.closed);
}

TEST_F(AsyncReader, ReleasedWithoutCloseEndsWithoutCallingBack) {
    Recorder recorder;
    {
        OpenReader r;
        openForSamples(r, media + "/demo.wmv", recorder);
        ASSERT_EQ(r.reader->Start(0, 0, 1.0f, nullptr), S_OK);
        ASSERT_TRUE(recorder.waitFor(WMT_STARTED));
        recorder.reader = nullptr;
        r.advanced.reset();
    }
    recorder.afterClose = true;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(recorder.lateCallbacks, 0);
    EXPECT_FALSE(recorder.closed);
    EXPECT_EQ(recorder.refs, 1u);
}

TEST_F(AsyncReader, AFileCutShortWhileItIsReadEndsInAFailureNotInItsEnd) {
    const testsupport::ScratchDir scratch("shrinking");
    const std::string path = scratch / "shrinking.wmv";
    // Cut short before it is opened or while it is read, the data ends before the Data
    // Object says it does.
    for (bool afterOpen : {false, true}) {
        std::filesystem::copy_file(media + "/wmv2_wmav2.wmv", path,
                                   std::filesystem::copy_options::overwrite_existing);
        const auto half = std::filesystem::file_size(path) / 2;
        if (!afterOpen) {
            std::filesystem::resize_file(path, half);
        }
        Recorder recorder;
        OpenReader r;
        openForSamples(r, path, recorder);
        if (afterOpen) {
            std::filesystem::resize_file(path, half);
        }
        ASSERT_EQ(r.reader->Start(0, 0, 1.0f, nullptr), S_OK);
        ASSERT_TRUE(recorder.waitFor(WMT_END_OF_FILE));
        EXPECT_EQ(recorder.lastResult, ASF_E_NODATAOBJECT) << afterOpen;
        EXPECT_EQ(r.reader->Close(), S_OK);
    }
}
