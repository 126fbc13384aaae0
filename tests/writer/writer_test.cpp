// The writer driven directly: the order of calls, refused samples and attributes, unwritable and
// full disks, where each attribute ends up, send times of samples handed over out of time order,
// an empty file, and a file over 4 GiB.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "asf/data_packet.h"
#include "asf/file.h"
#include "asf/guids.h"
#include "asf/sample_reader.h"
#include "cli/commands.h"
#include "media/header_data.h"
#include "media/sample_buffer.h"
#include "media/wmsdk.h"
#include "platform/text.h"
#include "support/scratch.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

using namespace media;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

constexpr QWORD kMs = 10000;
// The generated file the profile comes from: stream 1 WMV2 video, stream 2 WMA2 audio.
constexpr WORD kVideo = 1;
constexpr WORD kAudio = 2;

std::string sourceFile() {
    const std::string media = testsupport::testMediaDir();
    return media.empty() ? "" : media + "/wmv2_wmav2.wmv";
}

ComPtr<IWMProfile> profileOf(const std::string& path) {
    ComPtr<IWMSyncReader> reader;
    ComPtr<IWMProfile> profile;
    EXPECT_EQ(WMCreateSyncReader(nullptr, 0, reader.put()), S_OK);
    EXPECT_EQ(reader->Open(platform::utf8ToUtf16(path).c_str()), S_OK);
    EXPECT_EQ(reader.as(IID_IWMProfile, profile), S_OK);
    return profile;
}

struct Writing {
    ComPtr<IWMWriter> writer;
    ComPtr<IWMWriterAdvanced> advanced;
    ComPtr<IWMHeaderInfo3> header;

    HRESULT write(WORD stream, QWORD time, const std::vector<BYTE>& bytes, DWORD flags = 0,
                  QWORD duration = 40 * kMs) {
        ComPtr<INSSBuffer> buffer = SampleBuffer::create(bytes);
        return advanced->WriteStreamSample(stream, time, 0, duration, flags, buffer.get());
    }
};

// A writer set up with the test file's profile, writing to `output`.
Writing newWriter(const std::string& output) {
    Writing w;
    EXPECT_EQ(WMCreateWriter(nullptr, w.writer.put()), S_OK);
    EXPECT_EQ(w.writer.as(IID_IWMWriterAdvanced, w.advanced), S_OK);
    EXPECT_EQ(w.writer.as(IID_IWMHeaderInfo3, w.header), S_OK);
    EXPECT_EQ(w.writer->SetProfile(profileOf(sourceFile()).get()), S_OK);
    EXPECT_EQ(w.writer->SetOutputFilename(platform::utf8ToUtf16(output).c_str()), S_OK);
    return w;
}

std::vector<BYTE> bytes(std::size_t size, BYTE seed) {
    std::vector<BYTE> b(size);
    for (std::size_t i = 0; i < size; ++i) {
        b[i] = static_cast<BYTE>(seed + i * 7);
    }
    return b;
}

// A fresh, empty directory inside the scratch directory.
std::string freshDir(const std::string& name) {
    const std::string dir = writertest::scratchDir() + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Every test writes from the generated file's profile.
class Writer : public testing::Test {
protected:
    void SetUp() override {
        if (sourceFile().empty()) {
            GTEST_SKIP() << "no media";
        }
    }
};

}  // namespace

TEST_F(Writer, OffersItsInterfacesAndRefusesCallsOutOfOrder) {
    ComPtr<IWMWriter> writer;
    ASSERT_EQ(WMCreateWriter(nullptr, writer.put()), S_OK);
    for (const IID* iid : {&IID_IUnknown, &IID_IWMWriter, &IID_IWMWriterAdvanced,
                           &IID_IWMHeaderInfo, &IID_IWMHeaderInfo2, &IID_IWMHeaderInfo3}) {
        ComPtr<IUnknown> found;
        EXPECT_EQ(writer->QueryInterface(*iid, found.putVoid()), S_OK) << iid->toString();
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(writer->QueryInterface(IID_IWMReader, none.putVoid()), E_NOINTERFACE);
    EXPECT_FALSE(none);

    ComPtr<IWMWriterAdvanced> advanced;
    ComPtr<IWMHeaderInfo3> header;
    ASSERT_EQ(writer.as(IID_IWMWriterAdvanced, advanced), S_OK);
    ASSERT_EQ(writer.as(IID_IWMHeaderInfo3, header), S_OK);
    ComPtr<INSSBuffer> sample = SampleBuffer::create(bytes(100, 1));
    // Nothing works before the profile.
    DWORD inputs = 0;
    EXPECT_EQ(writer->GetInputCount(&inputs), ASF_E_INVALIDSTATE);
    EXPECT_EQ(writer->BeginWriting(), ASF_E_INVALIDSTATE);
    EXPECT_EQ(header->SetAttribute(0, u"Title", WMT_TYPE_STRING, nullptr, 0), ASF_E_INVALIDSTATE);
    EXPECT_EQ(advanced->WriteStreamSample(kVideo, 0, 0, 0, 0, sample.get()), ASF_E_INVALIDSTATE);

    ASSERT_EQ(writer->SetProfile(profileOf(sourceFile()).get()), S_OK);
    EXPECT_EQ(writer->GetInputCount(&inputs), S_OK);
    EXPECT_EQ(inputs, 2u);
    EXPECT_EQ(writer->SetInputProps(2, nullptr), E_INVALIDARG);
    // Without an output name there is nothing to begin.
    EXPECT_EQ(writer->BeginWriting(), ASF_E_INVALIDSTATE);
    EXPECT_EQ(advanced->WriteStreamSample(kVideo, 0, 0, 0, 0, sample.get()), ASF_E_INVALIDSTATE);
    EXPECT_EQ(writer->EndWriting(), ASF_E_INVALIDSTATE);

    const std::string output = freshDir("order") + "/out.wmv";
    ASSERT_EQ(writer->SetOutputFilename(platform::utf8ToUtf16(output).c_str()), S_OK);
    ASSERT_EQ(writer->BeginWriting(), S_OK);
    // The header is fixed once writing has begun; it can still be read.
    EXPECT_EQ(header->SetAttribute(0, u"Title", WMT_TYPE_STRING, nullptr, 0), ASF_E_INVALIDSTATE);
    EXPECT_EQ(header->AddScript(u"URL", u"x", 0), ASF_E_INVALIDSTATE);
    WORD count = 1;
    EXPECT_EQ(header->GetAttributeCount(0, &count), S_OK);
    EXPECT_EQ(writer->SetProfile(profileOf(sourceFile()).get()), ASF_E_INVALIDSTATE);
    EXPECT_EQ(writer->BeginWriting(), ASF_E_INVALIDSTATE);
    // Nothing shows under the output name until the file is finished.
    EXPECT_FALSE(std::filesystem::exists(output));
    EXPECT_EQ(advanced->WriteStreamSample(kVideo, 0, 0, 40 * kMs, WM_SF_CLEANPOINT, sample.get()),
              S_OK);
    EXPECT_EQ(writer->EndWriting(), S_OK);
    EXPECT_EQ(writer->EndWriting(), ASF_E_INVALIDSTATE);
    EXPECT_EQ(advanced->WriteStreamSample(kVideo, 0, 0, 0, 0, sample.get()), ASF_E_INVALIDSTATE);
    EXPECT_EQ(testsupport::namesIn(freshDir("order") + "/.."),
              testsupport::namesIn(writertest::scratchDir()));
}

TEST_F(Writer, RefusesSamplesForStreamsTheProfileLacksAndGoesOn) {
    const std::string output = freshDir("streams") + "/out.wmv";
    Writing w = newWriter(output);
    ASSERT_EQ(w.writer->BeginWriting(), S_OK);
    EXPECT_EQ(w.write(0, 0, bytes(10, 1)), E_INVALIDARG);
    EXPECT_EQ(w.write(3, 0, bytes(10, 1)), E_INVALIDARG);
    EXPECT_EQ(w.write(200, 0, bytes(10, 1)), E_INVALIDARG);
    EXPECT_EQ(w.advanced->WriteStreamSample(kVideo, 0, 0, 0, 0, nullptr), E_POINTER);
    EXPECT_EQ(w.write(kVideo, 0, bytes(5000, 1), WM_SF_CLEANPOINT), S_OK);
    EXPECT_EQ(w.writer->EndWriting(), S_OK);
    std::ostringstream samples;
    ASSERT_EQ(cli::packetsCommand(output, samples), 0);
    EXPECT_EQ(testsupport::lines(samples.str()).size(), 1u);
}

TEST_F(Writer, UnwritablePathsFailAtBeginWritingAndLeaveNothingBehind) {
    const std::string dir = freshDir("unwritable");
    struct Case {
        std::string output;
        HRESULT expected;
    };
    // (Permission bits do not stop root, which the tests may run as; /proc takes no new files.)
    for (const Case& c : {Case{dir + "/missing/out.wmv", NS_E_FILE_NOT_FOUND},
                          Case{dir, E_ACCESSDENIED}, Case{"/proc/version", E_FAIL}}) {
        SCOPED_TRACE(c.output);
        Writing w = newWriter(c.output);
        const HRESULT hr = w.writer->BeginWriting();
        EXPECT_TRUE(FAILED(hr));
        if (c.expected != E_FAIL) {
            EXPECT_EQ(hr, c.expected);
        }
        // The failure sticks.
        EXPECT_EQ(w.write(kVideo, 0, bytes(10, 1)), hr);
        EXPECT_EQ(w.writer->EndWriting(), hr);
    }
    EXPECT_TRUE(testsupport::namesIn(dir).empty());
}

TEST_F(Writer, AFullDiskFailsTheWritingAndLeavesTheOldFileAsItWas) {
    const std::string dir = freshDir("full");
    const std::string output = dir + "/out.wmv";
    std::ofstream(output) << "an older file";
    HRESULT failure = S_OK;
    {
        writertest::FileSizeLimit limit(256 * 1024);
        Writing w = newWriter(output);
        ASSERT_EQ(w.writer->BeginWriting(), S_OK);
        for (int i = 0; i < 300 && SUCCEEDED(failure); ++i) {
            failure = w.write(kVideo, i * 40 * kMs, bytes(10000, BYTE(i)), WM_SF_CLEANPOINT);
        }
        if (SUCCEEDED(failure)) {
            failure = w.writer->EndWriting();
        }
        EXPECT_EQ(w.writer->EndWriting(), failure);
    }
    EXPECT_EQ(failure, HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    EXPECT_EQ(testsupport::readFile(output), "an older file");
    EXPECT_EQ(testsupport::namesIn(dir), std::vector<std::string>{"out.wmv"});
}

TEST_F(Writer, AWriterReleasedBeforeEndWritingLeavesNothingBehind) {
    const std::string dir = freshDir("released");
    {
        Writing w = newWriter(dir + "/out.wmv");
        ASSERT_EQ(w.writer->BeginWriting(), S_OK);
        EXPECT_EQ(w.write(kVideo, 0, bytes(3000000, 1), WM_SF_CLEANPOINT), S_OK);
    }
    EXPECT_TRUE(testsupport::namesIn(dir).empty());
}

TEST_F(Writer, AFileWithoutSamplesIsStillAValidFile) {
    const std::string output = freshDir("empty") + "/out.wmv";
    Writing w = newWriter(output);
    ASSERT_EQ(w.writer->BeginWriting(), S_OK);
    ASSERT_EQ(w.writer->EndWriting(), S_OK);
    writertest::expectWellFormed(output);
    // (GStreamer refuses any ASF file without packets, FFmpeg's own included.)
    int status = 0;
    EXPECT_EQ(runCommand("ffmpeg -nostdin -v error -i " + shellQuote(output) + " -f null - 2>&1",
                         &status),
              "");
    EXPECT_EQ(status, 0);
    // The editor's pass, as the cut engine makes it, keeps it valid.
    ComPtr<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(editor.put()), S_OK);
    ASSERT_EQ(editor->Open(platform::utf8ToUtf16(output).c_str()), S_OK);
    EXPECT_EQ(editor->Flush(), S_OK);
    EXPECT_EQ(editor->Close(), S_OK);
    writertest::expectWellFormed(output);
}

TEST_F(Writer, StoresEachAttributeInItsObjectAndRefusesTheOnesItCannot) {
    const std::string output = freshDir("attributes") + "/out.wmv";
    Writing w = newWriter(output);
    const std::vector<BYTE> title = attributeString(u"A title");
    const std::vector<BYTE> album = attributeString(u"An album");
    const std::vector<BYTE> number = attributeValue(7, WMT_TYPE_DWORD);
    const std::vector<BYTE> yes = attributeValue(1, WMT_TYPE_BOOL);
    const std::vector<BYTE> frames = attributeValue(999, WMT_TYPE_QWORD);
    const std::vector<BYTE> guid(16, 0xAB);
    auto set = [&](WORD stream, const char16_t* name, WMT_ATTR_DATATYPE type,
                   const std::vector<BYTE>& value) {
        return w.header->SetAttribute(stream, name, type, value.data(),
                                      static_cast<WORD>(value.size()));
    };
    EXPECT_EQ(set(0, u"Title", WMT_TYPE_STRING, title), S_OK);
    EXPECT_EQ(set(0, u"WM/AlbumTitle", WMT_TYPE_STRING, album), S_OK);
    EXPECT_EQ(set(0, u"IsVBR", WMT_TYPE_BOOL, yes), S_OK);
    EXPECT_EQ(set(kVideo, u"Custom", WMT_TYPE_DWORD, number), S_OK);
    EXPECT_EQ(set(kVideo, u"NumberOfFrames", WMT_TYPE_QWORD, frames), S_OK);
    EXPECT_EQ(set(kVideo, u"Rank", WMT_TYPE_WORD, attributeValue(3, WMT_TYPE_WORD)), S_OK);
    EXPECT_EQ(set(kVideo, u"Flag", WMT_TYPE_BOOL, yes), S_OK);
    EXPECT_EQ(set(0, u"WM/MediaClassPrimaryID", WMT_TYPE_GUID, guid), S_OK);
    // Derived by the runtime, held by an object this runtime does not write, of the wrong
    // size, or for a stream the profile lacks.
    EXPECT_EQ(set(0, u"Duration", WMT_TYPE_QWORD, frames), E_INVALIDARG);
    EXPECT_EQ(set(0, u"Seekable", WMT_TYPE_BOOL, yes), E_INVALIDARG);
    EXPECT_EQ(set(0, u"BannerImageURL", WMT_TYPE_STRING, album), E_INVALIDARG);
    EXPECT_EQ(set(0, u"Odd", WMT_TYPE_DWORD, frames), E_INVALIDARG);
    EXPECT_EQ(set(0, u"Title", WMT_TYPE_BINARY, frames), E_INVALIDARG);
    EXPECT_EQ(set(5, u"Custom", WMT_TYPE_DWORD, number), E_INVALIDARG);
    EXPECT_EQ(w.header->AddCodecInfo(u"Codec", u"described", WMT_CODECINFO_VIDEO, 4,
                                     reinterpret_cast<const BYTE*>("WMV2")),
              S_OK);
    EXPECT_EQ(w.header->AddCodecInfo(u"Sound", u"two", WMT_CODECINFO_AUDIO, 2,
                                     reinterpret_cast<const BYTE*>("ab")),
              S_OK);
    EXPECT_EQ(w.header->AddScript(u"URL", u"http://example.com/", 1500 * kMs), S_OK);
    EXPECT_EQ(w.header->AddScript(u"TEXT", u"hello", 2500 * kMs), S_OK);
    ASSERT_EQ(w.writer->BeginWriting(), S_OK);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(
            w.write(kVideo, i * 40 * kMs, bytes(2000, BYTE(i)), i == 0 ? WM_SF_CLEANPOINT : 0),
            S_OK);
    }
    ASSERT_EQ(w.writer->EndWriting(), S_OK);

    asf::File file;
    ASSERT_EQ(file.open(output), asf::Status::Ok);
    const asf::Header& h = file.header();
    ASSERT_TRUE(h.contentDescription);
    EXPECT_EQ(h.contentDescription->title, u"A title");
    ASSERT_TRUE(h.extendedContentDescription);
    ASSERT_TRUE(h.extendedContentDescription->find(u"WM/AlbumTitle"));
    const asf::Attribute* vbr = h.extendedContentDescription->find(u"IsVBR");
    ASSERT_TRUE(vbr);
    EXPECT_EQ(vbr->value.size(), 4u);  // booleans take four bytes there
    ASSERT_TRUE(h.metadata);
    ASSERT_EQ(h.metadata->records.size(), 4u);
    EXPECT_EQ(h.metadata->records[0].streamNumber, kVideo);
    EXPECT_EQ(h.metadata->records[0].name, u"Custom");
    // Frames counted are the ones written.
    EXPECT_EQ(h.metadata->records[1].name, u"NumberOfFrames");
    EXPECT_EQ(h.metadata->records[1].number(), 3u);
    EXPECT_EQ(h.metadata->records[2].type, asf::kAttributeWord);
    EXPECT_EQ(h.metadata->records[2].value.size(), 2u);
    EXPECT_EQ(h.metadata->records[3].type, asf::kAttributeBool);
    EXPECT_EQ(h.metadata->records[3].value.size(), 2u);  // and two bytes in the metadata objects
    ASSERT_TRUE(h.metadataLibrary);
    EXPECT_EQ(h.metadataLibrary->records.at(0).name, u"WM/MediaClassPrimaryID");
    EXPECT_EQ(h.metadataLibrary->records.at(0).type, asf::kAttributeGuid);

    // And the readers show them back as they were set.
    std::ostringstream info;
    ASSERT_EQ(cli::infoCommand(output, info), 0);
    for (const char* line :
         {"[0] Title = STRING \"A title\"", "[0] IsVBR = BOOL true", "[1] Custom = DWORD 7",
          "[1] NumberOfFrames = QWORD 3", "[1] Rank = WORD 3", "[1] Flag = BOOL true",
          "[0] WM/MediaClassPrimaryID = GUID", "video \"Codec\" \"described\"",
          "audio \"Sound\" \"two\"", "1.500 s URL \"http://example.com/\"",
          "2.500 s TEXT \"hello\""}) {
        EXPECT_NE(info.str().find(line), std::string::npos) << line << "\n" << info.str();
    }
}

TEST_F(Writer, SamplesOutOfTimeOrderGetSendTimesThatNeverPassThem) {
    const std::string output = freshDir("order") + "/sendtimes.wmv";
    Writing w = newWriter(output);
    ASSERT_EQ(w.writer->BeginWriting(), S_OK);
    // Packets of 3200 bytes with nothing but audio due at 5 s, then video due from 0 s on,
    // mixed with more audio: the first packets must not keep the send time of their audio.
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(w.write(kAudio, (5000 + i * 20) * kMs, bytes(743, BYTE(i)), WM_SF_CLEANPOINT),
                  S_OK);
    }
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(w.write(kVideo, i * 40 * kMs, bytes(4000 + i * 50, BYTE(i)),
                          i % 10 == 0 ? WM_SF_CLEANPOINT : 0),
                  S_OK);
        if (i % 3 == 0) {
            ASSERT_EQ(w.write(kAudio, (5240 + i * 20) * kMs, bytes(743, BYTE(i)), WM_SF_CLEANPOINT),
                      S_OK);
        }
    }
    ASSERT_EQ(w.writer->EndWriting(), S_OK);
    writertest::expectWellFormed(output);
}

// 64-bit sizes throughout: the file, the Data Object, the packet offsets the index leads to.
TEST_F(Writer, FilesOverFourGibibytesAreWrittenWhole) {
    const std::string output = freshDir("large") + "/large.wmv";
    constexpr std::size_t kSample = 1 << 20;
    constexpr int kSamples = 4200;  // 4.1 GiB of samples
    {
        Writing w = newWriter(output);
        ASSERT_EQ(w.writer->BeginWriting(), S_OK);
        std::vector<BYTE> data(kSample, 0x5A);
        for (int i = 0; i < kSamples; ++i) {
            std::memcpy(data.data(), &i, sizeof i);  // each sample tells which it is
            ASSERT_EQ(w.write(kVideo, i * 40 * kMs, data, i % 25 == 0 ? WM_SF_CLEANPOINT : 0),
                      S_OK);
        }
        ASSERT_EQ(w.writer->EndWriting(), S_OK);
    }
    asf::File file;
    ASSERT_EQ(file.open(output), asf::Status::Ok);
    EXPECT_GT(file.fileSize(), uint64_t{1} << 32);
    EXPECT_EQ(file.header().fileProperties.fileSize, file.fileSize());
    EXPECT_EQ(file.header().fileProperties.dataPacketsCount, file.packetCount());
    EXPECT_EQ(file.dataObject().declaredSize, 50 + file.packetCount() * file.packetSize());
    EXPECT_FALSE(file.truncated());
    ASSERT_EQ(file.simpleIndexes().size(), 1u);

    // The last key frame, found through the index, is whole and is the one written there.
    const asf::SimpleIndex& index = file.simpleIndexes()[0];
    ASSERT_FALSE(index.entries.empty());
    asf::SampleReader reader(file);
    reader.seekToPacket(index.entries.back().packetNumber);
    asf::Sample sample;
    ASSERT_TRUE(reader.next(sample));
    int which = -1;
    std::memcpy(&which, sample.data.data(), sizeof which);
    EXPECT_TRUE(sample.cleanPoint);
    EXPECT_EQ(which, (kSamples - 1) / 25 * 25);
    EXPECT_EQ(sample.data.size(), kSample);
    EXPECT_GT(file.packetOffset(sample.startPacket), uint64_t{1} << 32);

    // FFmpeg seeks there through the index too.
    const std::string first = runCommand(
        "ffprobe -v error -read_intervals 165%+#1 -show_entries packet=pts_time,flags -of "
        "csv=p=0 " +
        shellQuote(output));
    EXPECT_EQ(first, "164.000000,K_\n");
    std::filesystem::remove(output);
}
