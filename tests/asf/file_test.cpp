#include "asf/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "asf/describe.h"
#include "asf/guids.h"
#include "asf/sample_reader.h"
#include "asf/test_support.h"
#include "support/scratch.h"

namespace {

using asf_test::Bytes;
using asf_test::MiniFile;
using asf_test::object;

asf::Status openBytes(asf::File& file, std::vector<uint8_t> bytes) {
    return file.open(std::make_unique<asf::MemorySource>(std::move(bytes)));
}

// Bytes whose reads of more than an object header at `failAt` fail half way.
class FailingSource : public asf::Source {
public:
    FailingSource(std::vector<uint8_t> bytes, uint64_t failAt)
        : bytes_(std::move(bytes)), failAt_(failAt) {}
    uint64_t size() const override { return bytes_.size(); }
    asf::Status readAt(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) const override {
        const asf::Status s = bytes_.readAt(offset, buffer, n, got);
        if (offset != failAt_ || n <= 24) {
            return s;
        }
        got /= 2;
        return asf::Status::IoError;
    }

private:
    asf::MemorySource bytes_;
    uint64_t failAt_;
};

std::vector<asf::Sample> readAllSamples(const asf::File& file) {
    std::vector<asf::Sample> samples;
    asf::SampleReader reader(file);
    asf::Sample s;
    while (reader.next(s)) {
        samples.push_back(std::move(s));
    }
    return samples;
}

// A video frame per packet, 100 bytes each, every other one a key frame.
MiniFile framesFile(int packets) {
    MiniFile mini;
    for (int i = 0; i < packets; ++i) {
        std::vector<uint8_t> frame(100, static_cast<uint8_t>(i));
        mini.packets.push_back(asf_test::singlePayloadPacket(
            mini.packetSize, 1, i % 2 == 0, static_cast<uint8_t>(i), 100, 0,
            static_cast<uint32_t>(3000 + 40 * i), frame, static_cast<uint32_t>(40 * i)));
    }
    return mini;
}

Bytes simpleIndex(std::vector<std::pair<uint32_t, uint16_t>> entries) {
    Bytes b;
    b.zeros(16).u64(10000000).u32(1).u32(static_cast<uint32_t>(entries.size()));
    for (const auto& [packet, count] : entries) {
        b.u32(packet).u16(count);
    }
    return object(asf::kSimpleIndexObject, b);
}

TEST(File, ReadsPacketsAndSamples) {
    asf::File file;
    ASSERT_EQ(openBytes(file, framesFile(3).build()), asf::Status::Ok);
    EXPECT_EQ(file.packetSize(), 256u);
    EXPECT_EQ(file.packetCount(), 3u);
    EXPECT_FALSE(file.truncated());
    EXPECT_TRUE(file.dataObject().sizeKnown);
    std::vector<uint8_t> packet;
    ASSERT_EQ(file.readPacket(2, packet), asf::Status::Ok);
    EXPECT_EQ(packet, framesFile(3).packets[2]);
    EXPECT_EQ(file.readPacket(3, packet), asf::Status::Truncated);

    const auto samples = readAllSamples(file);
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[1].presentationTimeMs, 3040u);
    EXPECT_EQ(samples[1].sendTimeMs, 40u);
    EXPECT_FALSE(samples[1].cleanPoint);
    EXPECT_EQ(samples[2].data, std::vector<uint8_t>(100, 2));
}

TEST(File, CountsOnlyThePacketsTheFileHolds) {
    MiniFile mini = framesFile(3);
    mini.overrideDataSize = true;
    mini.dataSize = 50 + 1000 * 256;  // a Data Object claiming 1000 packets
    asf::File file;
    ASSERT_EQ(openBytes(file, mini.build()), asf::Status::Ok);
    EXPECT_EQ(file.packetCount(), 3u);
    EXPECT_TRUE(file.truncated());

    // Cut in the middle of the last packet, whose frame takes bytes 28 to 128: the objects
    // the partial packet completes are read, one it cuts short is not.
    for (const auto& [cut, samples] : {std::pair<size_t, size_t>{100, 3}, {200, 2}}) {
        auto bytes = framesFile(3).build();
        bytes.resize(bytes.size() - cut);
        ASSERT_EQ(openBytes(file, bytes), asf::Status::Ok);
        EXPECT_EQ(file.packetCount(), 2u);
        EXPECT_EQ(file.partialPacketBytes(), 256 - cut);
        EXPECT_TRUE(file.truncated());
        const auto read = readAllSamples(file);
        ASSERT_EQ(read.size(), samples) << cut;
        EXPECT_EQ(read.back().data, std::vector<uint8_t>(100, static_cast<uint8_t>(samples - 1)));
    }
}

TEST(File, FindsTheEndOfBroadcastDataByTheObjectAfterIt) {
    for (uint64_t declared : {uint64_t{0}, uint64_t{50}}) {
        MiniFile mini = framesFile(4);
        mini.flags = asf::FileProperties::kBroadcast;
        mini.overrideDataSize = true;
        mini.dataSize = declared;
        mini.trailingObjects.push_back(simpleIndex({{0, 1}, {2, 1}}));
        asf::File file;
        ASSERT_EQ(openBytes(file, mini.build()), asf::Status::Ok);
        EXPECT_FALSE(file.dataObject().sizeKnown);
        EXPECT_EQ(file.packetCount(), 4u);
        EXPECT_FALSE(file.truncated());
        ASSERT_EQ(file.simpleIndexes().size(), 1u);
        EXPECT_EQ(file.simpleIndexes()[0].entries.size(), 2u);
    }
}

TEST(File, ReadsTheObjectsAfterTheData) {
    MiniFile mini = framesFile(2);
    mini.trailingObjects.push_back(simpleIndex({{0, 1}, {0, 1}, {1, 1}}));
    mini.trailingObjects.push_back(simpleIndex({{0, 1}}));
    Bytes index;
    index.u32(1000).u16(1).u32(1).u16(1).u16(3);
    index.u32(2).u64(0).u32(0).u32(0xFFFFFFFF);
    mini.trailingObjects.push_back(object(asf::kIndexObject, index));
    const Bytes unknown =
        object(asf::Guid::fromString("11111111-2222-3333-4444-555555555555"), Bytes().u8(7));
    mini.trailingObjects.push_back(unknown);
    asf::File file;
    ASSERT_EQ(openBytes(file, mini.build()), asf::Status::Ok);
    EXPECT_TRUE(file.problems().empty());
    ASSERT_EQ(file.simpleIndexes().size(), 2u);
    EXPECT_EQ(file.simpleIndexes()[0].streamNumber, 1);
    EXPECT_EQ(file.simpleIndexes()[0].entries[2].packetNumber, 1u);
    // There is one video stream, so a second Simple Index belongs to none.
    EXPECT_EQ(file.simpleIndexes()[1].streamNumber, 0);
    ASSERT_TRUE(file.index());
    ASSERT_EQ(file.index()->blocks.size(), 1u);
    EXPECT_EQ(file.index()->blocks[0].offsets,
              (std::vector<uint32_t>{0, asf::IndexBlock::kInvalidOffset}));
    ASSERT_EQ(file.trailingObjects().size(), 4u);
    EXPECT_EQ(file.trailingObjects()[3].bytes, unknown.data);
}

TEST(File, RefusesWhatItCannotRead) {
    asf::File file;
    EXPECT_EQ(openBytes(file, {}), asf::Status::NotAsf);
    EXPECT_EQ(openBytes(file, std::vector<uint8_t>(1000, 'x')), asf::Status::NotAsf);
    EXPECT_FALSE(file.isOpen());

    Bytes old;
    old.guid(asf::kPreReleaseHeaderObject).u64(30).u32(0).u8(1).u8(2);
    EXPECT_EQ(openBytes(file, old.data), asf::Status::NotAsf);

    // The header alone; then the header followed by something else than the Data Object.
    const Bytes header = framesFile(1).header();
    EXPECT_EQ(openBytes(file, header.data), asf::Status::Truncated);
    EXPECT_EQ(file.header().streams.size(), 2u);  // still there to look at
    Bytes other = header;
    other.raw(object(asf::kPaddingObject, Bytes().zeros(40)));
    EXPECT_EQ(openBytes(file, other.data), asf::Status::Malformed);

    // A header declaring more bytes than the file has.
    auto bytes = framesFile(1).build();
    bytes[16] = 0xFF;
    bytes[20] = 0x01;
    EXPECT_EQ(openBytes(file, bytes), asf::Status::Truncated);

    // Packet sizes: variable, zero.
    MiniFile variable = framesFile(1);
    Bytes varHeader = variable.header();
    const size_t minSizePos = 30 + 24 + 68;
    varHeader.data[minSizePos] = 0;
    varHeader.data[minSizePos + 1] = 0;
    EXPECT_EQ(openBytes(file, varHeader.data), asf::Status::Unsupported);
    MiniFile zero;
    zero.packetSize = 0;
    EXPECT_EQ(openBytes(file, zero.build()), asf::Status::Malformed);

    EXPECT_EQ(file.open("/nonexistent/file.wmv"), asf::Status::IoError);
    EXPECT_EQ(file.open("/"), asf::Status::IoError);
    // A FIFO named like a video is refused at once: opening it must not wait for a writer.
    const testsupport::ScratchDir fifoDir("fifo");
    const std::string fifo = fifoDir / "clip.wmv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto opened = std::async(std::launch::async, [&] { return asf::File().open(fifo); });
    if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "opening a FIFO blocked";
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets the blocked open return
    }
    EXPECT_EQ(opened.get(), asf::Status::IoError);
}

TEST(File, SurvivesObjectsAfterTheDataThatAreCutOrBroken) {
    for (int variant = 0; variant < 3; ++variant) {
        MiniFile mini = framesFile(2);
        auto bytes = mini.build();
        Bytes tail;
        if (variant == 0) {
            tail = simpleIndex({{0, 1}, {1, 1}});
            tail.data.resize(tail.size() - 3);  // cut inside the last entry
        } else if (variant == 1) {
            tail.guid(asf::kIndexObject).u64(10);  // smaller than an object header
        } else {
            tail.guid(asf::kIndexObject).u64(24 + 10).u32(1000).u16(0xFFFF).u32(0xFFFFFFFF);
        }
        bytes.insert(bytes.end(), tail.data.begin(), tail.data.end());
        asf::File file;
        ASSERT_EQ(openBytes(file, bytes), asf::Status::Ok) << variant;
        EXPECT_EQ(file.packetCount(), 2u);
        EXPECT_FALSE(file.problems().empty()) << variant;
        EXPECT_FALSE(file.index());
    }
    // An index whose read fails half way is not taken from the half that arrived.
    const auto data = framesFile(2).build();
    auto bytes = data;
    const Bytes index = simpleIndex({{0, 1}, {1, 1}});
    bytes.insert(bytes.end(), index.data.begin(), index.data.end());
    asf::File file;
    ASSERT_EQ(file.open(std::make_unique<FailingSource>(bytes, data.size())), asf::Status::Ok);
    EXPECT_EQ(file.packetCount(), 2u);
    EXPECT_TRUE(file.simpleIndexes().empty());
    ASSERT_EQ(file.problems().size(), 1u);
    EXPECT_EQ(file.problems()[0].status, asf::Status::IoError);
    EXPECT_EQ(file.problems()[0].offset, data.size());
}

// Cut copies of real files, written to disk, open to a status; whatever they yield is what the
// whole file yields.
TEST(File, TruncatedCopiesYieldAPrefixOfTheSamples) {
    std::vector<std::string> sources = asf_test::mediaFiles();
    ASSERT_FALSE(sources.empty());
    sources.resize(std::min<size_t>(sources.size(), 3));
    if (asf_test::corpusAvailable()) {
        sources.push_back(asf_test::corpusFile("wcs__smooth.wmv"));
        sources.push_back(asf_test::corpusFile("mphq__elephant.asf"));
    }
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        const auto whole = asf_test::readBytes(source);
        asf::File full;
        ASSERT_EQ(full.open(source), asf::Status::Ok);
        const auto all = readAllSamples(full);
        const size_t headerSize = static_cast<size_t>(full.header().size);
        std::vector<size_t> cuts;
        for (size_t n = 0; n < headerSize + 60; n += 7) {
            cuts.push_back(n);
        }
        for (size_t n = headerSize; n < whole.size(); n += whole.size() / 23 + 1) {
            cuts.push_back(n);
        }
        for (size_t n : cuts) {
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(n));
            const std::string path = asf_test::writeTempFile("cut.wmv", part);
            asf::File file;
            const asf::Status s = file.open(path);
            if (n < headerSize + 50) {
                EXPECT_NE(s, asf::Status::Ok) << n;
                continue;
            }
            ASSERT_EQ(s, asf::Status::Ok) << n;
            EXPECT_TRUE(file.truncated()) << n;
            std::map<uint8_t, size_t> seen;
            for (const asf::Sample& got : readAllSamples(file)) {
                const size_t k = seen[got.stream]++;
                size_t matched = 0;
                const asf::Sample* want = nullptr;
                for (const asf::Sample& w : all) {
                    if (w.stream == got.stream && matched++ == k) {
                        want = &w;
                        break;
                    }
                }
                ASSERT_NE(want, nullptr) << n;
                EXPECT_EQ(got.data, want->data) << n;
                EXPECT_EQ(got.presentationTimeMs, want->presentationTimeMs) << n;
            }
        }
    }
}

TEST(File, HandlesTheDamagedCorpusFiles) {
    if (!asf_test::corpusAvailable()) {
        GTEST_SKIP() << "corpus not available";
    }
    asf::File file;
    // Stream Properties missing: refused, not looped over.
    EXPECT_EQ(file.open(asf_test::corpusFile("mm__CWE-835.wma")), asf::Status::Malformed);
    // A header and nothing after it.
    EXPECT_EQ(file.open(asf_test::corpusFile("exiftool__ASF.wmv")), asf::Status::Truncated);
    EXPECT_EQ(file.header().streams.size(), 2u);
    // A live capture: broadcast flag, sizes and counts zero, a partial packet at the end.
    ASSERT_EQ(file.open(asf_test::corpusFile("moon__timecode-short-broadcast.wmv")),
              asf::Status::Ok);
    EXPECT_FALSE(file.dataObject().sizeKnown);
    EXPECT_EQ(file.packetCount(), 10u);
    EXPECT_TRUE(file.truncated());
    // Cut at 100 KiB: 13 of 465 packets.
    ASSERT_EQ(file.open(asf_test::corpusFile("hachoir__matrix_ping_pong.wmv")), asf::Status::Ok);
    EXPECT_EQ(file.packetCount(), 13u);
    EXPECT_EQ(file.dataObject().declaredPacketCount, 465u);
    EXPECT_TRUE(file.truncated());
    // Protected content opens; the caller decides.
    ASSERT_EQ(file.open(asf_test::corpusFile("fate__wmv_drm.wmv")), asf::Status::Ok);
    EXPECT_TRUE(file.header().isProtected);
}

// Seeking to an index entry's packet finds that key frame whole, as in a full read. (Frames of
// the same stream that finish in that packet before it may come first.)
TEST(SampleReader, SeeksToIndexedKeyFrames) {
    int checked = 0;
    for (const std::string& path : asf_test::mediaFiles()) {
        SCOPED_TRACE(path);
        asf::File file;
        ASSERT_EQ(file.open(path), asf::Status::Ok);
        size_t videos = 0;
        for (const asf::Stream& stream : file.header().streams) {
            videos += stream.isVideo() && !stream.hidden;
        }
        // FFmpeg's muxer writes one index shared by all video streams, not one per stream.
        if (videos != 1) {
            continue;
        }
        const auto all = readAllSamples(file);
        for (const asf::SimpleIndex& index : file.simpleIndexes()) {
            ASSERT_NE(index.streamNumber, 0);
            asf::SampleReader reader(file);
            reader.setStreamFilter({index.streamNumber});
            for (const asf::SimpleIndexEntry& entry : index.entries) {
                reader.seekToPacket(entry.packetNumber);
                asf::Sample s;
                do {
                    ASSERT_TRUE(reader.next(s));
                } while (!s.cleanPoint);
                EXPECT_EQ(s.stream, index.streamNumber);
                EXPECT_EQ(s.startPacket, entry.packetNumber);
                const auto same = std::find_if(all.begin(), all.end(), [&](const asf::Sample& w) {
                    return w.stream == s.stream && w.startPacket == s.startPacket &&
                           w.presentationTimeMs == s.presentationTimeMs;
                });
                ASSERT_NE(same, all.end());
                EXPECT_EQ(same->data, s.data);
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 0);
}

TEST(SampleReader, FilterKeepsOnlyTheChosenStream) {
    const auto files = asf_test::mediaFiles();
    ASSERT_FALSE(files.empty());
    asf::File file;
    ASSERT_EQ(file.open(files.front()), asf::Status::Ok);
    const auto all = readAllSamples(file);
    for (const asf::Stream& stream : file.header().streams) {
        asf::SampleReader reader(file);
        reader.setStreamFilter({stream.number});
        size_t k = 0;
        asf::Sample s;
        while (reader.next(s)) {
            while (k < all.size() && all[k].stream != stream.number) {
                ++k;
            }
            ASSERT_LT(k, all.size());
            EXPECT_EQ(s.data, all[k].data);
            ++k;
        }
        while (k < all.size() && all[k].stream != stream.number) {
            ++k;
        }
        EXPECT_EQ(k, all.size()) << "stream " << int{stream.number};
    }
}

// Offsets past 4 GiB: a sparse file whose last packets and index lie beyond that point.
TEST(File, ReadsPastFourGibibytes) {
    constexpr uint32_t kPacketSize = 32768;
    constexpr uint64_t kPackets = (uint64_t{1} << 32) / kPacketSize + 16;
    MiniFile mini;
    mini.packetSize = kPacketSize;
    const Bytes header = mini.header();
    Bytes data;
    data.guid(asf::kDataObject)
        .u64(50 + kPackets * kPacketSize)
        .zeros(16)
        .u64(kPackets)
        .u16(0x0101);
    const uint64_t firstPacket = header.size() + 50;
    const uint64_t lastPacket = kPackets - 1;
    const auto packet =
        asf_test::singlePayloadPacket(kPacketSize, 1, true, 3, 4, 0, 9000, {1, 2, 3, 4}, 6000);
    const Bytes index = simpleIndex({{0, 1}, {static_cast<uint32_t>(lastPacket), 1}});

    const std::string path = asf_test::writeTempFile("big.wmv", {});
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const uint64_t end = firstPacket + kPackets * kPacketSize;
    bool written = ::pwrite(fd, header.data.data(), header.size(), 0) == ssize_t(header.size()) &&
                   ::pwrite(fd, data.data.data(), data.size(), static_cast<off_t>(header.size())) ==
                       ssize_t(data.size()) &&
                   ::pwrite(fd, packet.data(), packet.size(),
                            static_cast<off_t>(firstPacket + lastPacket * kPacketSize)) ==
                       ssize_t(packet.size()) &&
                   ::pwrite(fd, index.data.data(), index.size(), static_cast<off_t>(end)) ==
                       ssize_t(index.size());
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        GTEST_SKIP() << "cannot write a sparse file beyond 4 GiB here";
    }
    asf::File file;
    ASSERT_EQ(file.open(path), asf::Status::Ok);
    EXPECT_EQ(file.packetCount(), kPackets);
    EXPECT_GT(file.packetOffset(lastPacket), uint64_t{1} << 32);
    ASSERT_EQ(file.simpleIndexes().size(), 1u);
    EXPECT_EQ(file.trailingObjects()[0].offset, end);
    EXPECT_EQ(file.simpleIndexes()[0].entries[1].packetNumber, lastPacket);
    asf::SampleReader reader(file);
    reader.seekToPacket(lastPacket - 1);
    asf::Sample s;
    ASSERT_TRUE(reader.next(s));
    EXPECT_EQ(s.startPacket, lastPacket);
    EXPECT_EQ(s.data, (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_FALSE(reader.next(s));
    ::unlink(path.c_str());
}

TEST(Describe, ListsObjectsStreamsAndPackets) {
    MiniFile mini = framesFile(3);
    mini.trailingObjects.push_back(simpleIndex({{0, 1}}));
    asf::File file;
    ASSERT_EQ(openBytes(file, mini.build()), asf::Status::Ok);
    const std::string text = asf::describe(file);
    for (const char* expected :
         {"@30 File Properties, 104 bytes", "Stream Properties", "Header Extension",
          "#1 video, WMV2 64x48", "#2 audio, format 0x0161", "Audio Spread (span 1",
          "3 whole packets of 256 bytes", "3 read, 0 damaged", "Simple Index, 62 bytes: stream #1",
          "property flags: 0x5D x 3"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
}

}  // namespace
