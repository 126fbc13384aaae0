#include "writer/writer_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "asf/data_packet.h"
#include "asf/file.h"
#include "media/header_attributes.h"
#include "media/source_file.h"
#include "platform/text.h"
#include "support/scratch.h"
#include "support/test_files.h"

namespace writertest {

std::string scratchDir() {
    static const testsupport::ScratchDir dir("writer");
    return dir.path().substr(0, dir.path().size() - 1);
}

bool readable(const std::string& path) {
    media::SourceFile file;
    return media::openSourceFile(platform::utf8ToUtf16(path), file) == media::S_OK;
}

bool derivedInfoLine(const std::string& line) {
    // "  [stream] Name = TYPE value"
    const std::size_t close = line.find("] ");
    const std::size_t equals = line.find(" = ");
    if (close == std::string::npos || equals == std::string::npos || equals < close) {
        return false;
    }
    return media::isDerivedAttribute(
        platform::utf8ToUtf16(line.substr(close + 2, equals - close - 2)));
}

bool haveTool(const std::string& program) {
    int status = 0;
    testsupport::runCommand("command -v " + program + " >/dev/null 2>&1", &status);
    return status == 0;
}

std::string gstreamerDecodeCommand(const std::string& path) {
    // GStreamer shows one stream of each set of mutually exclusive ones, so its own discoverer
    // counts the branches needed.
    const std::string quoted = testsupport::shellQuote(path);
    std::size_t streams = 0;
    for (const std::string& line :
         testsupport::lines(testsupport::runCommand("gst-discoverer-1.0 " + quoted + " 2>&1"))) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start != std::string::npos &&
            (line.compare(start, 7, "audio #") == 0 || line.compare(start, 7, "video #") == 0)) {
            ++streams;
        }
    }
    std::string command = "gst-launch-1.0 -q filesrc location=" + quoted + " ! decodebin name=d";
    for (std::size_t i = 0; i < std::max<std::size_t>(streams, 1); ++i) {
        command += " d. ! queue ! fakesink";
    }
    return command;
}

FileSizeLimit::FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    // Writes past the limit then fail with EFBIG instead of killing the process.
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lowered);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
}

void expectWellFormed(const std::string& path) {
    asf::File file;
    ASSERT_EQ(file.open(path), asf::Status::Ok) << path;
    const asf::Header& h = file.header();
    const asf::FileProperties& fp = h.fileProperties;
    EXPECT_TRUE(h.problems.empty());
    EXPECT_TRUE(file.problems().empty());
    EXPECT_FALSE(file.truncated());
    EXPECT_FALSE(fp.broadcast());
    EXPECT_EQ(fp.fileSize, file.fileSize());
    EXPECT_EQ(fp.dataPacketsCount, file.packetCount());
    EXPECT_EQ(file.dataObject().declaredPacketCount, file.packetCount());
    EXPECT_EQ(file.dataObject().declaredSize, 50 + file.packetCount() * file.packetSize());
    EXPECT_EQ(file.dataObject().fileId, fp.fileId);
    EXPECT_EQ(h.reserved1, 1);
    EXPECT_EQ(h.reserved2, 2);

    // Where each stream's key frames start.
    std::map<uint8_t, std::set<uint64_t>> keyFrameStarts;
    uint32_t lastSend = 0;
    uint64_t latePayloads = 0, backwardPackets = 0;
    std::vector<uint8_t> buffer;
    asf::PacketInfo info;
    std::vector<asf::Payload> payloads;
    for (uint64_t n = 0; n < file.packetCount(); ++n) {
        ASSERT_EQ(file.readPacket(n, buffer), asf::Status::Ok);
        ASSERT_EQ(asf::parsePacket(buffer.data(), buffer.size(), info, payloads), asf::Status::Ok)
            << "packet " << n;
        backwardPackets += info.sendTime < lastSend ? 1 : 0;
        lastSend = info.sendTime;
        for (const asf::Payload& p : payloads) {
            if (uint64_t{info.sendTime} + fp.preroll > p.presentationTime) {
                ++latePayloads;
            }
            if (p.keyFrame && p.offset == 0) {
                keyFrameStarts[p.streamNumber].insert(n);
            }
        }
    }
    EXPECT_EQ(backwardPackets, 0u);
    EXPECT_EQ(latePayloads, 0u);

    std::size_t videos = 0, withKeyFrames = 0;
    for (const asf::Stream& s : h.streams) {
        videos += s.isVideo() && !s.hidden ? 1 : 0;
        withKeyFrames += s.isVideo() && !s.hidden && !keyFrameStarts[s.number].empty() ? 1 : 0;
    }
    // Every visible video stream with key frames has an index, and no other stream has one
    // (an empty index would count as a stream's and call the file seekable).
    EXPECT_EQ(file.simpleIndexes().size(), withKeyFrames);
    bool everyVideoIndexed = withKeyFrames == videos;
    for (const asf::SimpleIndex& index : file.simpleIndexes()) {
        SCOPED_TRACE("simple index of stream " + std::to_string(index.streamNumber));
        EXPECT_EQ(index.fileId, fp.fileId);
        const std::set<uint64_t>& starts = keyFrameStarts[index.streamNumber];
        EXPECT_FALSE(index.entries.empty());
        for (const asf::SimpleIndexEntry& e : index.entries) {
            EXPECT_EQ(starts.count(e.packetNumber), 1u) << "packet " << e.packetNumber;
        }
    }
    EXPECT_EQ(fp.seekable(), file.packetCount() > 0 && everyVideoIndexed);
}

}  // namespace writertest
