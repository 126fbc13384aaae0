#include "asf/byte_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ByteReader, ReadsLittleEndianValues) {
    const std::vector<uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                        0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    asf::ByteReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.readU8(), 0x01);
    EXPECT_EQ(r.readU16(), 0x0302);
    EXPECT_EQ(r.readU32(), 0x07060504u);
    EXPECT_EQ(r.readU64(), 0x0F0E0D0C0B0A0908u);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.atEnd());
    r.seek(0);
    EXPECT_EQ(r.readSized(0), 0u);
    EXPECT_EQ(r.position(), 0u);
    EXPECT_EQ(r.readSized(2), 0x0201u);
    EXPECT_EQ(r.readSized(3), 0x06050403u);
}

TEST(ByteReader, FailsForGoodOnceARangeIsOverrun) {
    const std::vector<uint8_t> bytes = {1, 2, 3};
    asf::ByteReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.readU32(), 0u);
    EXPECT_FALSE(r.ok());
    // Later reads that would fit still fail: a parser checks ok() once at the end.
    EXPECT_EQ(r.readU8(), 0u);
    EXPECT_FALSE(r.ok());

    asf::ByteReader counts(bytes.data(), bytes.size());
    // A huge declared length fails without allocating.
    EXPECT_TRUE(counts.readBytes(0xFFFFFFFFu).empty());
    EXPECT_TRUE(counts.readUtf16Chars(0x7FFFFFFFu).empty());
    EXPECT_FALSE(counts.ok());

    EXPECT_FALSE(asf::ByteReader(bytes.data(), bytes.size()).subRange(2, 2).ok());
    EXPECT_TRUE(asf::ByteReader(bytes.data(), bytes.size()).subRange(1, 2).ok());
    asf::ByteReader outer(bytes.data(), bytes.size());
    asf::ByteReader inner = outer.readSub(2);
    EXPECT_EQ(inner.readU16(), 0x0201);
    EXPECT_FALSE(inner.readSub(1).ok());
    EXPECT_EQ(outer.readU8(), 3);
}

TEST(ByteReader, ReadsUtf16TextLeniently) {
    // "Hi", NUL, garbage, and an odd last byte.
    const std::vector<uint8_t> bytes = {'H', 0, 'i', 0, 0, 0, 'x', 0, 0x7F};
    asf::ByteReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.readUtf16Bytes(bytes.size()), u"Hi");
    EXPECT_TRUE(r.atEnd());
    // No terminator at all.
    asf::ByteReader bare(bytes.data(), 4);
    EXPECT_EQ(bare.readUtf16Chars(2), u"Hi");
    EXPECT_TRUE(bare.ok());
    const std::vector<uint8_t> ascii = {'D', 'R', 'M', 0, 'z'};
    asf::ByteReader a(ascii.data(), ascii.size());
    EXPECT_EQ(a.readAscii(ascii.size()), "DRM");
}

}  // namespace
