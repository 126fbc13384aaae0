#include "asf/data_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asf/packet_builder.h"
#include "asf/test_support.h"

namespace {

using asf_test::encodePacket;
using asf_test::PacketShape;
using asf_test::PayloadSpec;

asf::Status parse(const std::vector<uint8_t>& packet, asf::PacketInfo& info,
                  std::vector<asf::Payload>& payloads) {
    return asf::parsePacket(packet.data(), packet.size(), info, payloads);
}

std::vector<uint8_t> bytesOf(const asf::ByteSpan& s) {
    return s.toVector();
}

// A field of size code `code` holds at most this value.
uint32_t limitFor(unsigned code, uint32_t value) {
    switch (code) {
        case 0:
            return 0;
        case 1:
            return value & 0xFF;
        case 2:
            return value & 0xFFFF;
        default:
            return value;
    }
}

// Every combination of the length-type and property flags, with error correction bytes or
// without, single and multiple payloads, comes back field for field.
TEST(DataPacket, ReadsEveryFieldWidthCombination) {
    int checked = 0;
    for (int ec = 0; ec < 2; ++ec) {
        for (unsigned lengthType = 0; lengthType < 4; ++lengthType) {
            for (unsigned sequenceType = 0; sequenceType < 4; ++sequenceType) {
                for (unsigned paddingType = 0; paddingType < 4; ++paddingType) {
                    for (unsigned property = 0; property < 256; ++property) {
                        for (unsigned multi = 0; multi < 4; ++multi) {
                            PacketShape shape;
                            shape.errorCorrection = ec != 0;
                            shape.packetLengthType = lengthType;
                            shape.sequenceType = sequenceType;
                            shape.paddingType = paddingType;
                            shape.replicatedLengthType = property & 3;
                            shape.offsetType = (property >> 2) & 3;
                            shape.objectNumberType = (property >> 4) & 3;
                            shape.streamNumberType = property >> 6;
                            shape.multiple = multi != 0;
                            shape.payloadLengthType = multi;
                            shape.sequence = limitFor(sequenceType, 0x01020304);
                            shape.sendTime = 123456;
                            shape.duration = 77;
                            shape.padding = paddingType == 0 ? 0 : 3;
                            // An implicit padding needs a packet length field to stop short.
                            shape.implicitPadding = lengthType == 0 ? 0 : 5;
                            const bool withTimes = shape.replicatedLengthType != 0;
                            for (int i = 0; i < (shape.multiple ? 2 : 1); ++i) {
                                PayloadSpec p;
                                p.stream = shape.streamNumberType ? static_cast<uint8_t>(3 + i) : 0;
                                p.key = shape.streamNumberType != 0 && i == 0;
                                p.objectNumber = limitFor(shape.objectNumberType, 200 + i);
                                p.offset = limitFor(shape.offsetType, 40);
                                p.objectSize = 100;
                                p.time = 5000 + i;
                                p.noReplicatedData = !withTimes;
                                p.extension = {0xAB, 0xCD};
                                p.data = {static_cast<uint8_t>(i), 1, 2, 3, 4, 5};
                                shape.payloads.push_back(p);
                            }
                            const std::vector<uint8_t> packet = encodePacket(shape);
                            SCOPED_TRACE("ec " + std::to_string(ec) + " length " +
                                         std::to_string(lengthType) + " sequence " +
                                         std::to_string(sequenceType) + " padding " +
                                         std::to_string(paddingType) + " property " +
                                         std::to_string(property) + " multi " +
                                         std::to_string(multi));
                            asf::PacketInfo info;
                            std::vector<asf::Payload> payloads;
                            ASSERT_EQ(parse(packet, info, payloads), asf::Status::Ok);
                            EXPECT_EQ(info.errorCorrectionPresent, shape.errorCorrection);
                            EXPECT_EQ(info.sequence, shape.sequence);
                            EXPECT_EQ(info.sendTime, 123456u);
                            EXPECT_EQ(info.duration, 77);
                            EXPECT_EQ(info.multiplePayloads, shape.multiple);
                            EXPECT_EQ(info.payloadEnd,
                                      packet.size() - shape.padding - shape.implicitPadding);
                            ASSERT_EQ(payloads.size(), shape.payloads.size());
                            for (size_t i = 0; i < payloads.size(); ++i) {
                                const asf::Payload& got = payloads[i];
                                const PayloadSpec& want = shape.payloads[i];
                                EXPECT_EQ(got.streamNumber, want.stream);
                                EXPECT_EQ(got.keyFrame, want.key);
                                EXPECT_EQ(got.objectNumber, want.objectNumber);
                                EXPECT_EQ(got.offset, want.offset);
                                EXPECT_EQ(got.hasTime, withTimes);
                                if (withTimes) {
                                    EXPECT_EQ(got.objectSize, 100u);
                                    EXPECT_EQ(got.presentationTime, want.time);
                                    EXPECT_EQ(bytesOf(got.extensionData), want.extension);
                                }
                                EXPECT_EQ(bytesOf(got.data), want.data);
                            }
                            ++checked;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(checked, 2 * 4 * 4 * 4 * 256 * 4);
}

PayloadSpec compressedPayload(uint8_t stream, uint32_t firstObject, uint32_t time, uint8_t delta,
                              std::vector<std::vector<uint8_t>> subs) {
    PayloadSpec p;
    p.stream = stream;
    p.key = true;
    p.objectNumber = firstObject;
    p.time = time;
    p.compressed = true;
    p.delta = delta;
    p.subPayloads = std::move(subs);
    return p;
}

// Sub-payloads become complete payloads: times step by the delta, object numbers count on
// (wrapping in a byte field), and an empty sub-payload keeps its place in time but yields
// nothing.
TEST(DataPacket, ExpandsCompressedPayloads) {
    for (bool multiple : {false, true}) {
        PacketShape shape;
        shape.multiple = multiple;
        shape.payloads.push_back(compressedPayload(2, 254, 3000, 40, {{1, 1}, {2, 2, 2}, {}, {4}}));
        if (multiple) {
            PayloadSpec video;
            video.stream = 1;
            video.objectSize = 3;
            video.time = 3100;
            video.data = {9, 9, 9};
            shape.payloads.push_back(video);
        }
        const auto packet = encodePacket(shape);
        asf::PacketInfo info;
        std::vector<asf::Payload> payloads;
        ASSERT_EQ(parse(packet, info, payloads), asf::Status::Ok);
        ASSERT_EQ(payloads.size(), multiple ? 4u : 3u);
        const uint32_t objects[] = {254, 255, 1};
        const uint32_t times[] = {3000, 3040, 3120};
        const std::vector<uint8_t> data[] = {{1, 1}, {2, 2, 2}, {4}};
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_TRUE(payloads[k].compressed);
            EXPECT_TRUE(payloads[k].keyFrame);
            EXPECT_EQ(payloads[k].offset, 0u);
            EXPECT_EQ(payloads[k].objectNumber, objects[k]);
            EXPECT_EQ(payloads[k].presentationTime, times[k]);
            EXPECT_EQ(payloads[k].objectSize, data[k].size());
            EXPECT_EQ(bytesOf(payloads[k].data), data[k]);
        }
        if (multiple) {
            EXPECT_EQ(bytesOf(payloads[3].data), (std::vector<uint8_t>{9, 9, 9}));
        }
    }
}

TEST(DataPacket, RejectsInconsistentLengths) {
    PacketShape base;
    base.multiple = true;
    PayloadSpec p;
    p.objectSize = 4;
    p.data = {1, 2, 3, 4};
    base.payloads = {p, p};
    asf::PacketInfo info;
    std::vector<asf::Payload> payloads;

    // Padding that swallows the whole packet.
    auto packet = encodePacket(base);
    const size_t paddingPos = 3 + 2;  // after the error correction bytes and both flag bytes
    packet[paddingPos] = static_cast<uint8_t>(packet.size());
    packet[paddingPos + 1] = 0;
    EXPECT_EQ(parse(packet, info, payloads), asf::Status::Malformed);

    // A payload count of zero.
    packet = encodePacket(base);
    const size_t payloadFlagsPos = 3 + 2 + 2 + 6;
    packet[payloadFlagsPos] &= 0xC0;
    EXPECT_EQ(parse(packet, info, payloads), asf::Status::Malformed);

    // The second payload's length runs past the packet: the first payload is still returned.
    packet = encodePacket(base);
    packet[packet.size() - 6] = 0xFF;
    EXPECT_EQ(parse(packet, info, payloads), asf::Status::Malformed);
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(bytesOf(payloads[0].data), p.data);

    // Sub-payload lengths that do not add up to the payload.
    PacketShape compressed;
    compressed.payloads.push_back(compressedPayload(1, 0, 100, 10, {{1, 2}, {3, 4}}));
    packet = encodePacket(compressed);
    packet[packet.size() - 3] = 9;
    EXPECT_EQ(parse(packet, info, payloads), asf::Status::Malformed);
    EXPECT_EQ(payloads.size(), 1u);

    // An error correction part with a length type other than zero is not defined.
    packet = encodePacket(base);
    packet[0] = 0xA2;
    EXPECT_EQ(parse(packet, info, payloads), asf::Status::Malformed);
}

// Two to seven replicated bytes mean nothing: that payload is skipped, the next one is read.
TEST(DataPacket, SkipsPayloadsWithMeaninglessReplicatedLength) {
    asf_test::Bytes b;
    b.u8(0x82).u8(0).u8(0).u8(0x11).u8(0x5D).u16(0).u32(0).u16(0).u8(0x82);
    b.u8(1).u8(0).u32(0).u8(4).u32(0).u16(1).u8(9);         // 4 replicated bytes
    b.u8(1).u8(1).u32(0).u8(8).u32(1).u32(0).u16(1).u8(7);  // a proper one
    asf::PacketInfo info;
    std::vector<asf::Payload> payloads;
    ASSERT_EQ(parse(b.data, info, payloads), asf::Status::Ok);
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(bytesOf(payloads[0].data), std::vector<uint8_t>{7});
}

// Cut anywhere, a packet parses to a status, never past its end (the sanitizer builds check
// the reads).
TEST(DataPacket, SurvivesEveryTruncation) {
    PacketShape shape;
    shape.multiple = true;
    shape.packetLengthType = 2;
    shape.payloads.push_back(compressedPayload(2, 0, 100, 10, {{1, 2}, {3, 4}}));
    PayloadSpec p;
    p.objectSize = 3;
    p.data = {5, 6, 7};
    shape.payloads.push_back(p);
    const auto packet = encodePacket(shape);
    for (size_t n = 0; n <= packet.size(); ++n) {
        std::vector<uint8_t> cut(packet.begin(), packet.begin() + static_cast<long>(n));
        asf::PacketInfo info;
        std::vector<asf::Payload> payloads;
        const asf::Status s = asf::parsePacket(cut.data(), cut.size(), info, payloads);
        if (n < packet.size()) {
            EXPECT_NE(s, asf::Status::Ok) << n;
        }
        for (const asf::Payload& got : payloads) {
            EXPECT_LE(got.data.end(), cut.data() + cut.size());
        }
    }
}

}  // namespace
