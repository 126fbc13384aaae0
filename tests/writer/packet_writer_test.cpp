// The container's write side on its own: objects laid out in packets come back whole through
// our packet parser and sample assembler, audio spread objects go back interleaved, and a header
// rewritten without changes keeps every object of every real file byte for byte.

#include <gtest/gtest.h>

#include <random>

#include "asf/byte_writer.h"
#include "asf/data_packet.h"
#include "asf/file.h"
#include "asf/guids.h"
#include "asf/header_writer.h"
#include "asf/packet_writer.h"
#include "asf/sample_assembler.h"
#include "support/test_files.h"

namespace {

class MemorySink final : public asf::PacketSink {
public:
    bool writePacket(const uint8_t* data, size_t size) override {
        packets.emplace_back(data, data + size);
        return true;
    }
    std::vector<std::vector<uint8_t>> packets;
};

struct Written {
    asf::MediaObject object;
    std::vector<uint8_t> data;
    std::vector<uint8_t> extension;
    asf::Placement placement;
};

asf::Stream stream(uint8_t number, std::vector<asf::PayloadExtensionSystem> systems) {
    asf::Stream s;
    s.number = number;
    s.properties.flags = number;
    if (!systems.empty()) {
        asf::ExtendedStreamProperties esp;
        esp.streamNumber = number;
        esp.extensionSystems = std::move(systems);
        s.extended = esp;
    }
    return s;
}

// Parses and assembles every packet, as a reader would.
std::vector<asf::Sample> readBack(const asf::Header& header,
                                  const std::vector<std::vector<uint8_t>>& packets,
                                  uint32_t packetSize) {
    asf::SampleAssembler assembler(header);
    std::vector<asf::Sample> samples;
    asf::PacketInfo info;
    std::vector<asf::Payload> payloads;
    for (size_t n = 0; n < packets.size(); ++n) {
        EXPECT_EQ(packets[n].size(), packetSize);
        EXPECT_EQ(asf::parsePacket(packets[n].data(), packets[n].size(), info, payloads),
                  asf::Status::Ok)
            << "packet " << n;
        EXPECT_LE(payloads.size(), asf::PacketWriter::kMaxPayloads);
        assembler.addPacket(n, info, payloads, samples);
    }
    EXPECT_EQ(assembler.droppedObjects(), 0u);
    EXPECT_EQ(assembler.rejectedFragments(), 0u);
    return samples;
}

}  // namespace

TEST(PacketWriter, ObjectsComeBackWholeFromPacketsOfEverySize) {
    const asf::PayloadExtensionSystem duration{asf::kExtSampleDuration, 2, {}};
    const asf::PayloadExtensionSystem timecode{asf::kExtTimecode, 14, {}};
    const asf::PayloadExtensionSystem fileName{asf::kExtFileName, 0xFFFF, {}};
    asf::Header header;
    header.fileProperties.preroll = 3000;
    header.streams = {stream(1, {duration}), stream(2, {}), stream(5, {timecode, fileName})};

    std::mt19937 random(7);
    for (uint32_t packetSize : {200u, 1000u, 3200u, 70000u}) {
        SCOPED_TRACE("packets of " + std::to_string(packetSize) + " bytes");
        MemorySink sink;
        asf::PacketWriter writer(packetSize, sink);
        std::vector<Written> written;
        // Objects from one byte to several packets, runs of tiny ones (more than a packet can
        // list), key frames here and there, extension data of every declared kind.
        for (int i = 0; i < 400; ++i) {
            Written w;
            const uint8_t number = i % 7 == 0 ? 5 : i % 3 == 0 ? 2 : 1;
            const size_t size = i >= 100 && i < 200 ? 1 + i % 3 : 1 + random() % (packetSize * 5);
            w.data.resize(size);
            for (uint8_t& b : w.data) {
                b = static_cast<uint8_t>(random());
            }
            if (number == 1) {
                w.extension = {static_cast<uint8_t>(i), 0};
            } else if (number == 5) {
                w.extension.assign(14, static_cast<uint8_t>(i));
                w.extension.insert(w.extension.end(), {0, 0});
            }
            w.object.stream = number;
            w.object.keyFrame = i % 5 == 0;
            w.object.presentationTime = 3000 + i * 20;
            w.object.sendLimit = i * 20;
            written.push_back(std::move(w));
        }
        for (Written& w : written) {
            w.object.data = {w.data.data(), w.data.size()};
            w.object.extensionData = {w.extension.data(), w.extension.size()};
            ASSERT_TRUE(writer.add(w.object, w.placement));
        }
        ASSERT_TRUE(writer.finish());
        EXPECT_EQ(writer.packetCount(), sink.packets.size());

        const std::vector<asf::Sample> samples = readBack(header, sink.packets, packetSize);
        ASSERT_EQ(samples.size(), written.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            SCOPED_TRACE("object " + std::to_string(i));
            const Written& w = written[i];
            const asf::Sample& s = samples[i];
            EXPECT_EQ(s.stream, w.object.stream);
            EXPECT_EQ(s.cleanPoint, w.object.keyFrame);
            EXPECT_EQ(s.presentationTimeMs, w.object.presentationTime);
            EXPECT_EQ(s.data, w.data);
            EXPECT_EQ(s.extensionData, w.extension);
            EXPECT_EQ(s.durationMs, w.object.stream == 1 ? i % 256 : 0);
            EXPECT_EQ(s.startPacket, w.placement.firstPacket);
            EXPECT_EQ(s.packetCount, w.placement.packetCount);
            // Every packet that holds part of the object may be sent by its limit.
            for (uint32_t p = 0; p < w.placement.packetCount; ++p) {
                EXPECT_LE(writer.sendTimes()[w.placement.firstPacket + p], w.object.sendLimit);
            }
        }
    }
}

TEST(PacketWriter, AudioSpreadObjectsGoBackInterleavedAsTheStreamDeclares) {
    asf::AudioSpread spread;
    spread.span = 3;
    spread.virtualPacketLength = 300;
    spread.virtualChunkLength = 100;
    asf::Header header;
    header.streams = {stream(1, {})};
    header.streams[0].properties.audioSpread = spread;

    std::vector<std::vector<uint8_t>> objects = {std::vector<uint8_t>(900),
                                                 std::vector<uint8_t>(50)};
    for (auto& o : objects) {
        for (size_t i = 0; i < o.size(); ++i) {
            o[i] = static_cast<uint8_t>(i / 100 * 16 + i % 7);
        }
    }
    MemorySink sink;
    asf::PacketWriter writer(1000, sink);
    for (const auto& o : objects) {
        std::vector<uint8_t> stored = o;
        asf::scrambleAudioSpread(spread, stored);
        // Only whole spread objects change; the chunks really move.
        EXPECT_EQ(stored == o, o.size() != 900);
        asf::MediaObject object;
        object.stream = 1;
        object.data = {stored.data(), stored.size()};
        asf::Placement placement;
        ASSERT_TRUE(writer.add(object, placement));
    }
    ASSERT_TRUE(writer.finish());
    const std::vector<asf::Sample> samples = readBack(header, sink.packets, 1000);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].data, objects[0]);
    EXPECT_EQ(samples[1].data, objects[1]);
}

TEST(HeaderRewrite, KeepsEveryObjectOfEveryFileAndPadsToTheSizeAsked) {
    std::vector<std::string> files = testsupport::allMediaFiles();
    if (files.empty()) {
        GTEST_SKIP() << "no media";
    }
    auto withoutPadding = [](const std::vector<asf::RawObject>& objects) {
        std::vector<std::vector<uint8_t>> kept;
        for (const asf::RawObject& o : objects) {
            if (o.guid != asf::kPaddingObject && o.guid != asf::kHeaderExtensionObject) {
                kept.push_back(o.bytes);
            }
        }
        return kept;
    };
    int rewritten = 0;
    for (const std::string& path : files) {
        asf::File file;
        if (file.open(path) != asf::Status::Ok || !file.header().problems.empty()) {
            continue;
        }
        SCOPED_TRACE(path);
        const asf::Header& h = file.header();
        const asf::HeaderLayout layout = asf::rewriteLayout(h, asf::HeaderRewrite());
        const uint64_t natural = asf::headerSize(layout);
        std::vector<uint8_t> bytes;
        EXPECT_FALSE(asf::writeHeader(layout, natural - 1, bytes));
        EXPECT_FALSE(asf::writeHeader(layout, natural + 23, bytes));
        for (uint64_t size : {natural, natural + 24, natural + 5000}) {
            ASSERT_TRUE(asf::writeHeader(layout, size, bytes));
            ASSERT_EQ(bytes.size(), size);
            asf::Header again;
            ASSERT_EQ(asf::parseHeader(bytes.data(), bytes.size(), again), asf::Status::Ok);
            EXPECT_TRUE(again.problems.empty());
            EXPECT_EQ(withoutPadding(again.objects), withoutPadding(h.objects));
            EXPECT_EQ(withoutPadding(again.extensionObjects), withoutPadding(h.extensionObjects));
            // The descriptive objects come back as they went in.
            EXPECT_EQ(asf::metadataOf(again).objects(), asf::metadataOf(h).objects());
        }
        ++rewritten;
    }
    EXPECT_GT(rewritten, 0);
}
