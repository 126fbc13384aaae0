// The metadata editor: the cut engine's pass without changes, changes absorbed by the padding,
// changes that make the file be written anew, what it refuses, and a failed rewrite.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "asf/file.h"
#include "cli/commands.h"
#include "harness/remux.h"
#include "media/header_data.h"
#include "media/wmsdk.h"
#include "platform/text.h"
#include "support/packets.h"
#include "support/scratch.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

using namespace media;
using testsupport::readFile;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

using testsupport::packets;

std::string info(const std::string& path) {
    std::ostringstream out;
    EXPECT_EQ(cli::infoCommand(path, out), 0);
    return out.str();
}

// A fresh copy of a file to edit, in a directory of its own.
std::string editable(const std::string& source, const std::string& name) {
    const std::string dir = writertest::scratchDir() + "/edit-" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + name;
    std::filesystem::copy_file(source, path);
    return path;
}

struct Editing {
    ComPtr<IWMMetadataEditor> editor;
    ComPtr<IWMHeaderInfo3> header;

    HRESULT set(WORD stream, const char16_t* name, WMT_ATTR_DATATYPE type,
                const std::vector<BYTE>& value) {
        return header->SetAttribute(stream, name, type, value.data(),
                                    static_cast<WORD>(value.size()));
    }
};

Editing open(const std::string& path) {
    Editing e;
    EXPECT_EQ(WMCreateEditor(e.editor.put()), S_OK);
    EXPECT_EQ(e.editor->Open(platform::utf8ToUtf16(path).c_str()), S_OK);
    EXPECT_EQ(e.editor.as(IID_IWMHeaderInfo3, e.header), S_OK);
    return e;
}

std::string corpusFile(const std::string& name) {
    const std::string dir = testsupport::corpusDir();
    const std::string path = dir + "/" + name;
    return !dir.empty() && std::filesystem::exists(path) ? path : "";
}

void expectDecodesCleanly(const std::string& path) {
    int status = 0;
    EXPECT_EQ(
        runCommand("ffmpeg -nostdin -v error -i " + shellQuote(path) + " -f null - 2>&1", &status),
        "");
    EXPECT_EQ(status, 0);
}

}  // namespace

TEST(MetadataEditor, AFlushWithoutChangesLeavesTheFileByteForByte) {
    const std::string source = corpusFile("wcs__smooth.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no corpus";
    }
    const std::string path = editable(source, "same.wmv");
    const std::string before = readFile(path);
    Editing e = open(path);
    // Setting a value to what it already is changes nothing either.
    EXPECT_EQ(e.set(0, u"Title", WMT_TYPE_STRING, attributeString(u"Smooth")), S_OK);
    EXPECT_EQ(e.editor->Flush(), S_OK);
    EXPECT_EQ(e.editor->Close(), S_OK);
    EXPECT_EQ(readFile(path), before);
}

TEST(MetadataEditor, ASmallChangeIsWrittenInPlaceInThePadding) {
    const std::string media = testsupport::testMediaDir();
    if (media.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::string copy = writertest::scratchDir() + "/padded-source.wmv";
    ASSERT_EQ(remux::remuxFile(media + "/wmv2_wmav2.wmv", copy).hr, S_OK);
    const std::string path = editable(copy, "padded.wmv");
    const std::string before = readFile(path);
    {
        Editing e = open(path);
        EXPECT_EQ(e.set(0, u"Title", WMT_TYPE_STRING, attributeString(u"Renamed")), S_OK);
        EXPECT_EQ(e.set(0, u"WM/Genre", WMT_TYPE_STRING, attributeString(u"Test")), S_OK);
        EXPECT_EQ(e.editor->Flush(), S_OK);
        // Flush closes the file.
        EXPECT_EQ(e.editor->Flush(), ASF_E_INVALIDSTATE);
        EXPECT_EQ(e.editor->Close(), S_OK);
    }
    const std::string after = readFile(path);
    ASSERT_EQ(after.size(), before.size());
    asf::File file;
    ASSERT_EQ(file.open(path), asf::Status::Ok);
    // Everything after the header is as it was.
    const std::size_t header = static_cast<std::size_t>(file.header().size);
    EXPECT_EQ(after.substr(header), before.substr(header));
    EXPECT_NE(info(path).find("[0] Title = STRING \"Renamed\""), std::string::npos);
    EXPECT_NE(runCommand("ffprobe -v error -show_entries format_tags=title,genre -of csv=p=0 " +
                         shellQuote(path))
                  .find("Renamed"),
              std::string::npos);
    writertest::expectWellFormed(path);
    expectDecodesCleanly(path);
}

// Real files keep their markers, indexes and everything else the editor does not show.
TEST(MetadataEditor, AChangeTooBigForThePaddingWritesTheFileAnew) {
    const std::string source = corpusFile("wcs__multilang.wma");
    if (source.empty()) {
        GTEST_SKIP() << "no corpus";
    }
    const std::string path = editable(source, "grown.wma");
    const std::vector<BYTE> big(20000, 0x42);
    {
        Editing e = open(path);
        EXPECT_EQ(e.set(0, u"WM/Lyrics_Synchronised", WMT_TYPE_BINARY, big), S_OK);
        EXPECT_EQ(e.set(3, u"Note", WMT_TYPE_STRING, attributeString(u"third language")), S_OK);
        EXPECT_EQ(e.editor->Flush(), S_OK);
    }
    asf::File before, after;
    ASSERT_EQ(before.open(source), asf::Status::Ok);
    ASSERT_EQ(after.open(path), asf::Status::Ok);
    EXPECT_GT(after.header().size, before.header().size + big.size());
    EXPECT_EQ(after.header().fileProperties.fileSize, after.fileSize());
    EXPECT_EQ(after.fileSize() - after.header().size, before.fileSize() - before.header().size);
    EXPECT_EQ(after.header().fileProperties.fileId, before.header().fileProperties.fileId);
    EXPECT_EQ(after.simpleIndexes().size(), before.simpleIndexes().size());
    EXPECT_TRUE(after.index().has_value());
    EXPECT_EQ(packets(path), packets(source));
    // What changed, beside what stayed: the other attributes and the markers.
    const std::string got = info(path), expected = info(source);
    EXPECT_NE(got.find("[0] WM/Lyrics_Synchronised = BINARY 20000 bytes\n"), std::string::npos);
    EXPECT_NE(got.find("[3] Note = STRING \"third language\"\n"), std::string::npos);
    EXPECT_NE(got.find("[5] WM/WMADRCAverageReference = DWORD 9766\n"), std::string::npos);
    EXPECT_EQ(got.substr(got.find("markers:")), expected.substr(expected.find("markers:")));
    expectDecodesCleanly(path);
    EXPECT_TRUE(testsupport::namesIn(std::filesystem::path(path).parent_path()) ==
                std::vector<std::string>{"grown.wma"});
}

TEST(MetadataEditor, RefusesWhatItCannotStoreAndCallsOutOfOrder) {
    const std::string media = testsupport::testMediaDir();
    if (media.empty()) {
        GTEST_SKIP() << "no media";
    }
    ComPtr<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(editor.put()), S_OK);
    ComPtr<IWMHeaderInfo> header;
    ASSERT_EQ(editor.as(IID_IWMHeaderInfo, header), S_OK);
    WORD count = 0;
    EXPECT_EQ(header->GetAttributeCount(0, &count), ASF_E_INVALIDSTATE);
    EXPECT_EQ(editor->Flush(), ASF_E_INVALIDSTATE);
    EXPECT_EQ(editor->Close(), S_OK);
    EXPECT_EQ(editor->Open(u"/nonexistent/file.wmv"), NS_E_FILE_NOT_FOUND);
    const std::string notAsf = writertest::scratchDir() + "/not-asf.wmv";
    std::ofstream(notAsf) << "plain text, not a media file";
    EXPECT_EQ(editor->Open(platform::utf8ToUtf16(notAsf).c_str()), ASF_E_NOHEADEROBJECT);
    const std::string drm = corpusFile("fate__wmv_drm.wmv");
    if (!drm.empty()) {
        EXPECT_EQ(editor->Open(platform::utf8ToUtf16(drm).c_str()), NS_E_DRM_NO_RIGHTS);
    }

    const std::string path = editable(media + "/audio_only.wma", "refuse.wma");
    const std::string before = readFile(path);
    Editing e = open(path);
    EXPECT_EQ(e.editor->Open(platform::utf8ToUtf16(path).c_str()), ASF_E_INVALIDSTATE);
    EXPECT_EQ(e.set(0, u"Duration", WMT_TYPE_QWORD, attributeValue(1, WMT_TYPE_QWORD)),
              E_INVALIDARG);
    EXPECT_EQ(e.set(1, u"IsVBR", WMT_TYPE_BOOL, attributeValue(1, WMT_TYPE_BOOL)), E_INVALIDARG);
    EXPECT_EQ(e.set(9, u"Note", WMT_TYPE_STRING, attributeString(u"no such stream")), E_INVALIDARG);
    EXPECT_EQ(e.set(0, u"Odd", WMT_TYPE_WORD, attributeValue(1, WMT_TYPE_DWORD)), E_INVALIDARG);
    // Close drops the changes that were made.
    EXPECT_EQ(e.set(0, u"Title", WMT_TYPE_STRING, attributeString(u"dropped")), S_OK);
    EXPECT_EQ(e.editor->Close(), S_OK);
    EXPECT_EQ(readFile(path), before);
}

TEST(MetadataEditor, AFailedRewriteLeavesTheOriginalUntouched) {
    const std::string media = testsupport::testMediaDir();
    if (media.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::string path = editable(media + "/demo.wmv", "failed.wmv");
    const std::string before = readFile(path);
    Editing e = open(path);
    ASSERT_EQ(e.set(0, u"WM/Picture", WMT_TYPE_BINARY, std::vector<BYTE>(30000, 1)), S_OK);
    HRESULT hr;
    {
        writertest::FileSizeLimit limit(1 << 20);  // the copy cannot grow past 1 MiB
        hr = e.editor->Flush();
    }
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    EXPECT_EQ(readFile(path), before);
    EXPECT_TRUE(testsupport::namesIn(std::filesystem::path(path).parent_path()) ==
                std::vector<std::string>{"failed.wmv"});
}
