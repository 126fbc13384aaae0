#include "asf/sample_assembler.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "asf/guids.h"
#include "asf/header.h"
#include "asf/test_support.h"

namespace {

using asf_test::Bytes;
using asf_test::MiniFile;

asf::Header parseMini(const MiniFile& mini) {
    const Bytes h = mini.header();
    asf::Header header;
    EXPECT_EQ(asf::parseHeader(h.data.data(), h.size(), header), asf::Status::Ok);
    return header;
}

// Fragments own their bytes here; payloads point into them.
struct Fragment {
    asf::Payload payload;
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> extension;
};

Fragment fragment(uint8_t stream, uint32_t object, uint32_t size, uint32_t offset,
                  std::vector<uint8_t> bytes, bool key = false, uint32_t time = 3000) {
    Fragment f;
    f.payload.streamNumber = stream;
    f.payload.keyFrame = key;
    f.payload.objectNumber = object;
    f.payload.objectSize = size;
    f.payload.offset = offset;
    f.payload.presentationTime = time;
    f.bytes = std::move(bytes);
    return f;
}

// Feeds fragments as one packet each, numbered from 0, and collects what completes.
std::vector<asf::Sample> feed(asf::SampleAssembler& assembler, std::vector<Fragment>& fragments) {
    std::vector<asf::Sample> out;
    for (size_t i = 0; i < fragments.size(); ++i) {
        Fragment& f = fragments[i];
        f.payload.data = {f.bytes.data(), f.bytes.size()};
        f.payload.extensionData = {f.extension.data(), f.extension.size()};
        asf::PacketInfo info;
        info.sendTime = static_cast<uint32_t>(100 * i);
        assembler.addPacket(i, info, {f.payload}, out);
    }
    return out;
}

TEST(SampleAssembler, JoinsFragmentsByOffsetInAnyOrder) {
    asf::SampleAssembler assembler(parseMini(MiniFile()));
    std::vector<Fragment> fragments = {
        fragment(1, 7, 6, 4, {5, 6}),
        fragment(1, 7, 6, 0, {1, 2}, true),
        fragment(1, 7, 6, 2, {3, 4}),
    };
    const auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 1u);
    const asf::Sample& s = samples[0];
    EXPECT_EQ(s.data, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    // The key bit comes from the offset-0 fragment even when it was not the first to arrive.
    EXPECT_TRUE(s.cleanPoint);
    EXPECT_EQ(s.objectNumber, 7u);
    EXPECT_EQ(s.presentationTimeMs, 3000u);
    EXPECT_EQ(s.startPacket, 0u);
    EXPECT_EQ(s.packetCount, 3u);
    EXPECT_EQ(s.sendTimeMs, 0u);
}

TEST(SampleAssembler, DropsUnfinishedObjectWhenTheStreamMovesOn) {
    asf::SampleAssembler assembler(parseMini(MiniFile()));
    std::vector<Fragment> fragments = {
        fragment(1, 1, 4, 0, {1, 2}),
        fragment(2, 9, 2, 0, {8, 8}),  // another stream does not disturb stream 1
        fragment(1, 2, 3, 0, {7, 7, 7}, true, 3040),
        fragment(1, 1, 4, 2, {3, 4}),  // the late rest of object 1 starts a new, partial one
    };
    const auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].stream, 2);
    EXPECT_EQ(samples[1].data, (std::vector<uint8_t>{7, 7, 7}));
    EXPECT_EQ(samples[1].startPacket, 2u);
    EXPECT_EQ(samples[1].sendTimeMs, 200u);
    EXPECT_EQ(assembler.droppedObjects(), 1u);
    assembler.reset();
    EXPECT_EQ(assembler.droppedObjects(), 2u);
}

TEST(SampleAssembler, RefusesFragmentsOutsideTheObject) {
    asf::SampleAssembler assembler(parseMini(MiniFile()));
    std::vector<Fragment> fragments = {
        fragment(1, 1, 4, 0, {1, 2}),
        fragment(1, 1, 4, 3, {9, 9}),           // ends past the object
        fragment(1, 1, 4, 0xFFFFFFFF, {9, 9}),  // offset overflow
        fragment(1, 1, 4, 0, {1, 2}),           // a repeat adds nothing
        fragment(1, 1, 4, 2, {3, 4}),
        fragment(2, 1, asf::SampleAssembler::kMaxObjectSize + 1, 0, {1}),
        fragment(2, 2, 0, 0, {}),
    };
    const auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data, (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(assembler.rejectedFragments(), 4u);
}

TEST(SampleAssembler, TellsApartObjectsThatShareANumber) {
    // Object numbers wrap at 256: an unfinished object and a later one with the same number
    // but another time are different objects.
    asf::SampleAssembler assembler(parseMini(MiniFile()));
    std::vector<Fragment> fragments = {
        fragment(1, 5, 4, 0, {1, 2}, false, 1000),
        fragment(1, 5, 4, 0, {5, 6}, false, 9000),
        fragment(1, 5, 4, 2, {7, 8}, false, 9000),
    };
    const auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data, (std::vector<uint8_t>{5, 6, 7, 8}));
    EXPECT_EQ(samples[0].presentationTimeMs, 9000u);
}

TEST(SampleAssembler, SkipsStreamsOutsideTheFilterAndUnknownStreams) {
    asf::SampleAssembler assembler(parseMini(MiniFile()));
    assembler.setStreamFilter({2});
    std::vector<Fragment> fragments = {
        fragment(1, 1, 1, 0, {1}),
        fragment(2, 1, 1, 0, {2}),
        fragment(9, 1, 1, 0, {3}),
    };
    auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].stream, 2);
    assembler.clearStreamFilter();
    samples = feed(assembler, fragments);
    EXPECT_EQ(samples.size(), 2u);
}

TEST(SampleAssembler, UndoesAudioSpreadScrambling) {
    // Span 3, virtual packets of 4 bytes made of 2-byte chunks: objects of 12 bytes, k = 2.
    MiniFile mini;
    mini.audioSpan = 3;
    mini.audioVirtualPacket = 4;
    mini.audioVirtualChunk = 2;
    asf::SampleAssembler assembler(parseMini(mini));
    // Chunk i of the result is stored as chunk i / 3 + (i % 3) * 2.
    const std::vector<uint8_t> stored = {0, 0, 3, 3, 1, 1, 4, 4, 2, 2, 5, 5};
    std::vector<Fragment> fragments = {fragment(2, 1, 12, 0, stored)};
    auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data, (std::vector<uint8_t>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5}));

    // An object of another size is left as it is.
    fragments = {fragment(2, 2, 4, 0, {9, 8, 7, 6})};
    samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].data, (std::vector<uint8_t>{9, 8, 7, 6}));
}

TEST(SampleAssembler, ReadsSampleDurationAfterAVariableSizeExtension) {
    MiniFile mini;
    mini.extensionObjects.push_back(asf_test::extendedStreamProperties(
        1, {{asf::kExtFileName, 0xFFFF}, {asf::kExtSampleDuration, 2}}));
    asf::SampleAssembler assembler(parseMini(mini));
    Fragment f = fragment(1, 1, 2, 0, {1, 2}, true);
    f.extension = {3, 0, 'a', 'b', 'c', 40, 0};
    std::vector<Fragment> fragments = {f};
    const auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].durationMs, 40);
    EXPECT_EQ(samples[0].extensionData, f.extension);
}

TEST(SampleAssembler, TimesPayloadsWithoutReplicatedDataByTheirPacket) {
    asf::SampleAssembler assembler(parseMini(MiniFile()));
    Fragment f = fragment(1, 4, 0, 0, {1, 2, 3});
    f.payload.hasTime = false;
    std::vector<Fragment> fragments = {fragment(2, 1, 1, 0, {0}), f};
    const auto samples = feed(assembler, fragments);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].data, (std::vector<uint8_t>{1, 2, 3}));
    // Packet 1 was sent at 100 ms; the preroll of 3000 ms is added like any payload time.
    EXPECT_EQ(samples[1].presentationTimeMs, 3100u);
}

}  // namespace
