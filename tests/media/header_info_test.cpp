// Header data as the readers show it: sizes asked with null buffers, the derived attributes,
// codec descriptions, script commands and markers of real files.

#include <gtest/gtest.h>

#include "asf/attribute.h"
#include "media/wmsdk.h"
#include "platform/text.h"
#include "support/test_files.h"

using namespace media;

namespace {

ComPtr<IWMHeaderInfo3> openHeader(const std::string& path) {
    ComPtr<IWMSyncReader> reader;
    EXPECT_EQ(WMCreateSyncReader(nullptr, 0, reader.put()), S_OK);
    ComPtr<IWMHeaderInfo3> header;
    if (reader->Open(platform::utf8ToUtf16(path).c_str()) == S_OK) {
        EXPECT_EQ(reader.as(IID_IWMHeaderInfo3, header), S_OK);
    }
    return header;
}

}  // namespace

TEST(HeaderInfo, DurationIsTheFilesPlayDurationLessThePreroll) {
    std::string media = testsupport::testMediaDir();
    if (media.empty()) {
        GTEST_SKIP() << "no media";
    }
    ComPtr<IWMHeaderInfo3> header = openHeader(media + "/wmv2_wmav2.wmv");
    ASSERT_TRUE(header);
    WORD stream = 0, length = 0;
    WMT_ATTR_DATATYPE type;
    ASSERT_EQ(header->GetAttributeByName(&stream, u"Duration", &type, nullptr, &length), S_OK);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(type, WMT_TYPE_QWORD);
    QWORD duration = 0;
    ASSERT_EQ(header->GetAttributeByName(&stream, u"Duration", &type,
                                         reinterpret_cast<BYTE*>(&duration), &length),
              S_OK);
    // 8 s of video made at 25 frames a second; FFmpeg's muxer counts the last frame in.
    EXPECT_GE(duration, 79000000u);
    EXPECT_LE(duration, 81000000u);

    BYTE small[4];
    length = sizeof small;
    EXPECT_EQ(header->GetAttributeByName(&stream, u"Duration", &type, small, &length),
              ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(header->GetAttributeByName(&stream, u"NoSuchThing", &type, nullptr, &length),
              ASF_E_NOTFOUND);
    // A reader's header cannot be changed.
    EXPECT_TRUE(FAILED(header->SetAttribute(0, u"Title", WMT_TYPE_STRING, small, 2)));
}

TEST(HeaderInfo, AttributesComeWithTheirSizesFirst) {
    std::string corpus = testsupport::corpusDir();
    if (corpus.empty()) {
        GTEST_SKIP() << "no corpus";
    }
    ComPtr<IWMHeaderInfo3> header = openHeader(corpus + "/wcs__house.wma");
    ASSERT_TRUE(header);
    WORD count = 0;
    ASSERT_EQ(header->GetAttributeCount(0, &count), S_OK);
    bool sawTitle = false;
    for (WORD i = 0; i < count; ++i) {
        WORD stream = 0, nameLength = 0, valueLength = 0;
        WMT_ATTR_DATATYPE type;
        ASSERT_EQ(header->GetAttributeByIndex(i, &stream, nullptr, &nameLength, &type, nullptr,
                                              &valueLength),
                  S_OK);
        std::u16string name(nameLength, u'\0');
        std::vector<BYTE> value(valueLength);
        ASSERT_EQ(header->GetAttributeByIndex(i, &stream, name.data(), &nameLength, &type,
                                              value.data(), &valueLength),
                  S_OK);
        name.resize(nameLength - 1);  // the terminator is counted
        if (name == u"Title") {
            sawTitle = true;
            EXPECT_EQ(type, WMT_TYPE_STRING);
            EXPECT_EQ(asf::utf16Text(value), u"house");
        }
    }
    EXPECT_TRUE(sawTitle);
    WORD stream = 0, nameLength = 0, valueLength = 0;
    WMT_ATTR_DATATYPE type;
    EXPECT_EQ(header->GetAttributeByIndex(count, &stream, nullptr, &nameLength, &type, nullptr,
                                          &valueLength),
              E_INVALIDARG);

    WORD scripts = 0;
    ASSERT_EQ(header->GetScriptCount(&scripts), S_OK);
    ASSERT_EQ(scripts, 3);
    WORD typeLength = 0, commandLength = 0;
    QWORD time = 0;
    ASSERT_EQ(header->GetScript(1, nullptr, &typeLength, nullptr, &commandLength, &time), S_OK);
    std::u16string scriptType(typeLength, u'\0'), command(commandLength, u'\0');
    ASSERT_EQ(
        header->GetScript(1, scriptType.data(), &typeLength, command.data(), &commandLength, &time),
        S_OK);
    EXPECT_EQ(scriptType.c_str(), std::u16string(u"CustomScript"));
    EXPECT_EQ(command.c_str(), std::u16string(u"script2"));
    EXPECT_EQ(time, 40000000u);

    DWORD codecs = 0;
    ASSERT_EQ(header->GetCodecInfoCount(&codecs), S_OK);
    ASSERT_EQ(codecs, 1u);
    WORD nameLen = 0, descriptionLen = 0, infoLen = 0;
    WMT_CODEC_INFO_TYPE codecType;
    ASSERT_EQ(header->GetCodecInfo(0, &nameLen, nullptr, &descriptionLen, nullptr, &codecType,
                                   &infoLen, nullptr),
              S_OK);
    std::u16string codecName(nameLen, u'\0');
    std::u16string description(descriptionLen, u'\0');
    std::vector<BYTE> info(infoLen);
    ASSERT_EQ(header->GetCodecInfo(0, &nameLen, codecName.data(), &descriptionLen,
                                   description.data(), &codecType, &infoLen, info.data()),
              S_OK);
    EXPECT_EQ(codecType, WMT_CODECINFO_AUDIO);
    EXPECT_EQ(codecName.c_str(), std::u16string(u"Windows Media Audio V2"));
}

TEST(HeaderInfo, MarkersAreMediaTimes) {
    std::string corpus = testsupport::corpusDir();
    if (corpus.empty()) {
        GTEST_SKIP() << "no corpus";
    }
    ComPtr<IWMHeaderInfo3> header = openHeader(corpus + "/wcs__smooth.wmv");
    ASSERT_TRUE(header);
    WORD markers = 0;
    ASSERT_EQ(header->GetMarkerCount(&markers), S_OK);
    ASSERT_EQ(markers, 3);
    WORD length = 0;
    QWORD time = 0;
    ASSERT_EQ(header->GetMarker(2, nullptr, &length, &time), S_OK);
    std::u16string marker(length, u'\0');
    ASSERT_EQ(header->GetMarker(2, marker.data(), &length, &time), S_OK);
    EXPECT_EQ(marker.c_str(), std::u16string(u"marker3"));
    EXPECT_EQ(time / 10000, 7503u);
}
