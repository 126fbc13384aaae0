#include "asf/header.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asf/file.h"
#include "asf/guids.h"
#include "asf/test_support.h"

namespace {

using asf_test::Bytes;
using asf_test::MiniFile;
using asf_test::object;

asf::Status parse(const Bytes& bytes, asf::Header& header) {
    return asf::parseHeader(bytes.data.data(), bytes.size(), header);
}

constexpr asf::Guid kUnknown = asf::Guid::fromString("DEADBEEF-0000-1111-2222-333344445555");

TEST(Header, ReadsStreamsAndTheirFormats) {
    MiniFile mini;
    asf::Header h;
    ASSERT_EQ(parse(mini.header(), h), asf::Status::Ok);
    EXPECT_EQ(h.fileProperties.maxPacketSize, 256u);
    EXPECT_EQ(h.preroll(), 3000u);
    ASSERT_EQ(h.streams.size(), 2u);

    const asf::Stream& video = h.streams[0];
    EXPECT_EQ(video.number, 1);
    ASSERT_TRUE(video.properties.video);
    EXPECT_EQ(video.properties.video->encodedWidth, 64u);
    EXPECT_EQ(video.properties.video->height, 48);
    EXPECT_EQ(video.properties.video->fourcc(), "WMV2");
    EXPECT_TRUE(video.properties.video->extradata.empty());

    const asf::Stream& audio = h.streams[1];
    ASSERT_TRUE(audio.properties.audio);
    EXPECT_EQ(audio.properties.audio->formatTag, 0x161);
    EXPECT_EQ(audio.properties.audio->blockAlign, 64);
    ASSERT_TRUE(audio.properties.audioSpread);
    EXPECT_EQ(audio.properties.audioSpread->span, 1);
    EXPECT_FALSE(audio.properties.audioSpread->descrambles());
    EXPECT_FALSE(h.isProtected);
    EXPECT_TRUE(h.problems.empty());
}

TEST(Header, KeepsEveryObjectRawInFileOrder) {
    MiniFile mini;
    Bytes unknownBody;
    unknownBody.u32(0x01020304).u8(9);
    mini.extraHeaderObjects.push_back(object(kUnknown, unknownBody));
    mini.extensionObjects.push_back(object(asf::kPaddingObject, Bytes().zeros(5)));
    mini.extensionObjects.push_back(object(kUnknown, unknownBody));
    const Bytes bytes = mini.header();
    asf::Header h;
    ASSERT_EQ(parse(bytes, h), asf::Status::Ok);

    ASSERT_EQ(h.objects.size(), 5u);
    EXPECT_EQ(h.objects[0].guid, asf::kFilePropertiesObject);
    EXPECT_EQ(h.objects[3].guid, asf::kHeaderExtensionObject);
    ASSERT_EQ(h.extensionObjects.size(), 2u);
    // Each raw object is exactly its bytes in the file, at its offset.
    for (const auto* list : {&h.objects, &h.extensionObjects}) {
        for (const asf::RawObject& o : *list) {
            ASSERT_EQ(o.bytes.size(), o.size);
            EXPECT_TRUE(std::equal(o.bytes.begin(), o.bytes.end(),
                                   bytes.data.begin() + static_cast<long>(o.offset)));
        }
    }
    EXPECT_EQ(h.objects[4].guid, kUnknown);
    EXPECT_EQ(h.extensionObjects[1].guid, kUnknown);
    EXPECT_EQ(h.extensionDataSize, 58u);
}

TEST(Header, AddsHiddenStreamsFromExtendedStreamProperties) {
    MiniFile mini;
    mini.extensionObjects.push_back(asf_test::extendedStreamProperties(
        5, {{asf::kExtSampleDuration, 2}}, MiniFile::audioStreamProperties(5)));
    // An embedded declaration of a visible stream does not replace it.
    mini.extensionObjects.push_back(
        asf_test::extendedStreamProperties(1, {}, MiniFile::audioStreamProperties(1)));
    asf::Header h;
    ASSERT_EQ(parse(mini.header(), h), asf::Status::Ok);
    ASSERT_EQ(h.streams.size(), 3u);
    EXPECT_EQ(h.streams[0].number, 1);
    EXPECT_TRUE(h.streams[0].isVideo());
    EXPECT_FALSE(h.streams[0].hidden);
    ASSERT_TRUE(h.streams[0].extended);
    EXPECT_TRUE(h.streams[0].extended->extensionSystems.empty());

    const asf::Stream& hidden = h.streams[2];
    EXPECT_EQ(hidden.number, 5);
    EXPECT_TRUE(hidden.hidden);
    EXPECT_TRUE(hidden.isAudio());
    ASSERT_TRUE(hidden.extended);
    EXPECT_EQ(hidden.extended->averageTimePerFrame, 400000u);
    ASSERT_EQ(hidden.extended->names.size(), 1u);
    EXPECT_EQ(hidden.extended->names[0].name, u"name");
    ASSERT_EQ(hidden.extended->extensionSystems.size(), 1u);
    EXPECT_EQ(hidden.extended->extensionSystems[0].id, asf::kExtSampleDuration);
    EXPECT_EQ(hidden.extended->extensionSystems[0].info, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(hidden.propertiesOffset, hidden.extended->streamPropertiesOffset);
}

// The objects whose layouts are easy to get wrong: lengths in characters or in bytes, lengths
// before names, per-entry lengths, odd lengths, missing terminators.
TEST(Header, ReadsTheDescriptiveObjects) {
    MiniFile mini;
    auto& extra = mini.extraHeaderObjects;
    Bytes script;  // the first type name lacks its terminator; the second is empty
    script.guid(asf::kReserved3).u16(1).u16(2).u16(2).utf16(u"UR", false).u16(0);
    script.u32(4500).u16(0).u16(4).utf16(u"abc");
    extra.push_back(object(asf::kScriptCommandObject, script));
    Bytes markers;
    markers.guid(asf::kReserved4).u32(1).u16(0).u16(0);
    markers.u64(123).u64(50000000).u16(12 + 6).u32(5000).u32(0).u32(3).utf16(u"m1");
    extra.push_back(object(asf::kMarkerObject, markers));
    Bytes ecd;  // an odd name length, as some writers leave it; the terminator is there anyway
    ecd.u16(1).u16(7).utf16(u"Yes").u16(3).u16(4).u32(1);
    extra.push_back(object(asf::kExtendedContentDescriptionObject, ecd));
    Bytes metadata;  // lengths and type come before the name here
    metadata.u16(1).u16(0).u16(1).u16(12).u16(3).u32(4).utf16(u"Ratio").u32(16);
    mini.extensionObjects.push_back(object(asf::kMetadataObject, metadata));
    Bytes library;
    library.u16(1).u16(1).u16(2).u16(4).u16(6).u32(16).utf16(u"G").guid(asf::kDataObject);
    mini.extensionObjects.push_back(object(asf::kMetadataLibraryObject, library));
    Bytes languages;
    languages.u16(2).u8(6).utf16(u"en").u8(0);
    mini.extensionObjects.push_back(object(asf::kLanguageListObject, languages));
    Bytes groups;
    groups.guid(asf::kMutexLanguage).u16(2).u16(1).u16(1).u16(2).u16(2).u16(3);
    mini.extensionObjects.push_back(object(asf::kGroupMutualExclusionObject, groups));

    asf::Header h;
    ASSERT_EQ(parse(mini.header(), h), asf::Status::Ok);
    EXPECT_TRUE(h.problems.empty());
    ASSERT_TRUE(h.scriptCommands);
    EXPECT_EQ(h.scriptCommands->types, (std::vector<std::u16string>{u"UR", u""}));
    ASSERT_EQ(h.scriptCommands->commands.size(), 1u);
    EXPECT_EQ(h.scriptCommands->commands[0].presentationTime, 4500u);
    EXPECT_EQ(h.scriptCommands->commands[0].name, u"abc");
    ASSERT_TRUE(h.markers);
    ASSERT_EQ(h.markers->markers.size(), 1u);
    EXPECT_EQ(h.markers->markers[0].presentationTime, 50000000u);
    EXPECT_EQ(h.markers->markers[0].description, u"m1");
    ASSERT_TRUE(h.extendedContentDescription);
    EXPECT_EQ(h.extendedContentDescription->attributes.at(0).name, u"Yes");
    EXPECT_EQ(h.extendedContentDescription->attributes.at(0).number(), 1u);
    ASSERT_TRUE(h.metadata);
    EXPECT_EQ(h.metadata->records.at(0).name, u"Ratio");
    EXPECT_EQ(h.metadata->records.at(0).number(), 16u);
    ASSERT_TRUE(h.metadataLibrary);
    EXPECT_EQ(h.metadataLibrary->records.at(0).languageIndex, 1);
    EXPECT_EQ(h.metadataLibrary->records.at(0).type, asf::kAttributeGuid);
    ASSERT_TRUE(h.languageList);
    EXPECT_EQ(h.languageList->languages, (std::vector<std::u16string>{u"en", u""}));
    ASSERT_EQ(h.groupMutualExclusions.size(), 1u);
    EXPECT_EQ(h.groupMutualExclusions[0].records.at(1), (std::vector<uint16_t>{2, 3}));
}

TEST(Header, DetectsEveryFormOfProtection) {
    struct Case {
        const char* what;
        MiniFile mini;
    };
    std::vector<Case> cases;
    {
        Case c{"content encryption object", MiniFile()};
        c.mini.extraHeaderObjects.push_back(
            object(asf::kContentEncryptionObject,
                   Bytes().u32(0).u32(4).raw({'D', 'R', 'M', 0}).u32(0).u32(0)));
        cases.push_back(c);
    }
    {
        Case c{"extended content encryption object", MiniFile()};
        c.mini.extraHeaderObjects.push_back(
            object(asf::kExtendedContentEncryptionObject, Bytes().u32(2).u16(0)));
        cases.push_back(c);
    }
    {
        Case c{"advanced content encryption object", MiniFile()};
        c.mini.extensionObjects.push_back(object(asf::kAdvancedContentEncryptionObject, Bytes()));
        cases.push_back(c);
    }
    {
        Case c{"encryption sample id extension", MiniFile()};
        c.mini.extensionObjects.push_back(
            asf_test::extendedStreamProperties(1, {{asf::kExtEncryptionSampleId, 8}}));
        cases.push_back(c);
    }
    {
        Case c{"DRM_ attribute", MiniFile()};
        c.mini.extraHeaderObjects.push_back(
            object(asf::kExtendedContentDescriptionObject,
                   Bytes().u16(1).u16(20).utf16(u"DRM_KeyID").u16(0).u16(2).utf16(u"")));
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        asf::Header h;
        ASSERT_EQ(parse(c.mini.header(), h), asf::Status::Ok) << c.what;
        EXPECT_TRUE(h.isProtected) << c.what;
    }

    // The encrypted-content bit of a stream.
    Bytes header = MiniFile().header();
    asf::Header plain;
    ASSERT_EQ(parse(header, plain), asf::Status::Ok);
    const size_t flagsPos = plain.streams[0].propertiesOffset + 24 + 48;
    header.data[flagsPos + 1] |= 0x80;
    asf::Header encrypted;
    ASSERT_EQ(parse(header, encrypted), asf::Status::Ok);
    EXPECT_TRUE(encrypted.streams[0].properties.encrypted());
    EXPECT_TRUE(encrypted.isProtected);

    // A signature alone is not encryption.
    MiniFile signedOnly;
    signedOnly.extraHeaderObjects.push_back(
        object(asf::kDigitalSignatureObject, Bytes().u32(2).u32(1).u8(0)));
    asf::Header h;
    ASSERT_EQ(parse(signedOnly.header(), h), asf::Status::Ok);
    EXPECT_TRUE(h.digitalSignature);
    EXPECT_FALSE(h.isProtected);
}

TEST(Header, RefusesOtherFormats) {
    asf::Header h;
    const std::vector<uint8_t> text = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '};
    EXPECT_EQ(asf::parseHeader(text.data(), text.size(), h), asf::Status::NotAsf);
    EXPECT_EQ(asf::parseHeader(nullptr, 0, h), asf::Status::NotAsf);
    Bytes old;
    old.guid(asf::kPreReleaseHeaderObject).u64(30).u32(0).u8(1).u8(2);
    EXPECT_EQ(parse(old, h), asf::Status::NotAsf);
    // The start of a real header, too short to parse: that is a truncated file.
    Bytes start;
    start.guid(asf::kHeaderObject);
    EXPECT_EQ(asf::parseHeader(start.data.data(), 10, h), asf::Status::Truncated);
}

TEST(Header, ReportsDamageWithoutReadingOutOfBounds) {
    const Bytes good = MiniFile().header();
    asf::Header h;
    // Cut anywhere: the header declares more than there is.
    for (size_t n = 0; n < good.size(); ++n) {
        const asf::Status s = asf::parseHeader(good.data.data(), n, h);
        EXPECT_TRUE(s == asf::Status::Truncated || (n < 16 && s == asf::Status::NotAsf)) << n;
    }
    // A child claiming less than its own object header.
    Bytes tiny = good;
    tiny.data[30 + 16] = 3;
    EXPECT_EQ(parse(tiny, h), asf::Status::Malformed);

    // No stream at all (the shape of a fuzzed file in the corpus).
    MiniFile noStreams;
    Bytes body;
    body.u32(1).u8(1).u8(2).raw(noStreams.fileProperties());
    EXPECT_EQ(parse(object(asf::kHeaderObject, body), h), asf::Status::Malformed);

    // Absurd counts in an optional object leave it raw and unparsed; the file stays readable.
    MiniFile absurd;
    absurd.extraHeaderObjects.push_back(
        object(asf::kCodecListObject, Bytes().guid(asf::kReserved2).u32(0xFFFFFFFF)));
    absurd.extensionObjects.push_back(object(asf::kMetadataObject, Bytes().u16(0xFFFF).u16(0)));
    ASSERT_EQ(parse(absurd.header(), h), asf::Status::Ok);
    EXPECT_FALSE(h.codecList);
    EXPECT_FALSE(h.metadata);
    EXPECT_EQ(h.problems.size(), 2u);
    EXPECT_EQ(h.objects.back().guid, asf::kCodecListObject);
}

TEST(Header, ReadsCorpusHeaders) {
    if (!asf_test::corpusAvailable()) {
        GTEST_SKIP() << "corpus not available";
    }
    asf::File file;
    ASSERT_EQ(file.open(asf_test::corpusFile("moon__ElephantsDream.en_fr.wmv")), asf::Status::Ok);
    const asf::Header& elephants = file.header();
    ASSERT_EQ(elephants.streams.size(), 3u);
    EXPECT_EQ(elephants.streams[2].number, 2);
    EXPECT_TRUE(elephants.streams[2].hidden);
    EXPECT_EQ(elephants.advancedMutualExclusions.size(), 1u);
    ASSERT_TRUE(elephants.indexParameters);
    ASSERT_TRUE(elephants.languageList);
    EXPECT_EQ(elephants.languageList->languages, (std::vector<std::u16string>{u"es", u"fr"}));
    EXPECT_EQ(elephants.streams[1].properties.video->fourcc(), "WMV3");

    ASSERT_EQ(file.open(asf_test::corpusFile("wcs__smooth.wmv")), asf::Status::Ok);
    ASSERT_TRUE(file.header().markers);
    ASSERT_EQ(file.header().markers->markers.size(), 3u);
    EXPECT_EQ(file.header().markers->markers[2].description, u"marker3");

    ASSERT_EQ(file.open(asf_test::corpusFile("wcs__house.wma")), asf::Status::Ok);
    ASSERT_TRUE(file.header().scriptCommands);
    EXPECT_EQ(file.header().scriptCommands->commands.size(), 3u);
    EXPECT_EQ(file.header().scriptCommands->types[0], u"CustomScript");

    ASSERT_EQ(file.open(asf_test::corpusFile("wcs__multilang.wma")), asf::Status::Ok);
    int hidden = 0;
    for (const asf::Stream& s : file.header().streams) {
        hidden += s.hidden;
    }
    EXPECT_EQ(hidden, 4);

    // Protected by its encryption objects only: neither stream has the encrypted bit.
    ASSERT_EQ(file.open(asf_test::corpusFile("fate__wmv_drm.wmv")), asf::Status::Ok);
    EXPECT_TRUE(file.header().isProtected);
    EXPECT_TRUE(file.header().contentEncryption);
    EXPECT_EQ(file.header().contentEncryption->protectionType, "DRM");
    EXPECT_TRUE(file.header().extendedContentEncryption);

    for (const std::string& path : asf_test::corpusFiles()) {
        asf::Header h;
        const auto bytes = asf_test::readBytes(path);
        const asf::Status s = asf::parseHeader(bytes.data(), bytes.size(), h);
        if (s != asf::Status::Ok) {
            continue;
        }
        // Nothing in the real files needs to be dropped as unreadable.
        EXPECT_TRUE(h.problems.empty()) << path;
    }
}

}  // namespace
