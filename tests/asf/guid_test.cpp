#include "asf/guid.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "asf/guids.h"

namespace {

TEST(Guid, StoresTheFirstThreeGroupsLittleEndian) {
    const asf::Guid g = asf::Guid::fromString("75B22630-668E-11CF-A6D9-00AA0062CE6C");
    const std::vector<uint8_t> onDisk = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    EXPECT_EQ(std::vector<uint8_t>(g.bytes().begin(), g.bytes().end()), onDisk);
    EXPECT_EQ(g, asf::Guid::fromBytes(onDisk.data()));
    EXPECT_EQ(g.toString(), "75B22630-668E-11CF-A6D9-00AA0062CE6C");
    EXPECT_EQ(asf::Guid::fromString("{75b22630-668e-11cf-a6d9-00aa0062ce6c}"), g);
}

TEST(Guid, TurnsBadTextIntoTheNullGuid) {
    for (const char* text : {"", "75B22630-668E-11CF-A6D9-00AA0062CE6",
                             "75B22630x668E-11CF-A6D9"
                             "-00AA0062CE6C",
                             "G5B22630-668E-11CF-A6D9-00AA0062CE6C"}) {
        EXPECT_TRUE(asf::Guid::fromString(text).isNull()) << text;
    }
}

TEST(Guid, OrdersByStoredBytes) {
    const asf::Guid a = asf::Guid::fromString("00000001-0000-0000-0000-000000000000");
    const asf::Guid b = asf::Guid::fromString("00000100-0000-0000-0000-000000000000");
    // 01 00 00 00 ... sorts after 00 01 00 00 ...
    EXPECT_TRUE(b < a);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(a < a);
}

TEST(GuidTable, FindsEveryEntryAndHoldsNoDuplicates) {
    std::set<asf::Guid> seen;
    for (size_t i = 0; i < asf::guidTableSize(); ++i) {
        const asf::GuidInfo& info = asf::guidTable()[i];
        EXPECT_FALSE(info.guid.isNull()) << info.name;
        EXPECT_TRUE(seen.insert(info.guid).second) << "duplicate: " << info.name;
        EXPECT_EQ(asf::findGuid(info.guid), &info);
    }
    EXPECT_STREQ(asf::guidName(asf::kExtSampleDuration), "Sample Duration");
    EXPECT_EQ(asf::findGuid(asf::Guid()), nullptr);
    EXPECT_EQ(asf::describeGuid(asf::Guid::fromString("00000000-0000-0000-0000-000000000001")),
              "00000000-0000-0000-0000-000000000001");
}

}  // namespace
