// Every file the readers can read, copied sample by sample through the writer as the cut engine
// drives it, must come back whole: FFmpeg and GStreamer decode the copy without a complaint, our
// reader and FFmpeg's both return the same samples as from the source, and the header shows the
// same streams, attributes, codec descriptions and script commands.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "asf/file.h"
#include "asf/sample_reader.h"
#include "cli/commands.h"
#include "harness/remux.h"
#include "support/packets.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

using testsupport::lines;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

struct Copy {
    std::string source;
    std::string output;
    remux::Result result;
};

std::string name(const std::string& path) {
    return std::filesystem::path(path).filename();
}

// Each test file copied once per run. Files FFmpeg cannot read are left out, and so are the
// ones our readers refuse (protected content) and the benchmark's long file.
const std::vector<Copy>& copies() {
    static const std::vector<Copy> all = [] {
        std::vector<Copy> out;
        const std::string dir = writertest::scratchDir();
        for (const std::string& file : testsupport::allMediaFiles()) {
            int status = 0;
            runCommand("ffprobe -v error " + shellQuote(file) + " >/dev/null 2>&1", &status);
            if (status != 0 || name(file) == "long.wmv" || !writertest::readable(file)) {
                continue;
            }
            Copy c;
            c.source = file;
            c.output = dir + "/" + name(file) + ".copy.wmv";
            c.result = remux::remuxFile(file, c.output);
            out.push_back(std::move(c));
        }
        return out;
    }();
    return all;
}

using testsupport::packets;

// The parts of "splicor-cli info" a copy keeps: streams, stored attributes, codecs, scripts.
std::string keptInfo(const std::string& path) {
    std::ostringstream out;
    EXPECT_EQ(cli::infoCommand(path, out), 0) << path;
    std::string kept, section;
    for (const std::string& line : lines(out.str())) {
        if (!line.empty() && line[0] != ' ') {
            section = line;
            if (section == "streams:" || section == "attributes:" || section == "codecs:" ||
                section == "script commands:") {
                kept += line + "\n";
            }
            continue;
        }
        if (section == "streams:" || section == "codecs:" || section == "script commands:" ||
            (section == "attributes:" && !writertest::derivedInfoLine(line))) {
            kept += line + "\n";
        }
    }
    return kept;
}

}  // namespace

TEST(Remux, CopiesEverySampleOfEveryReadableFile) {
    if (copies().empty()) {
        GTEST_SKIP() << "no media";
    }
    for (const Copy& c : copies()) {
        SCOPED_TRACE(name(c.source));
        ASSERT_EQ(c.result.hr, media::S_OK) << c.result.step;
        // stream, time, duration, clean point, size and digest of every sample, in order.
        EXPECT_EQ(packets(c.output), packets(c.source));
    }
}

// The payload extension data the streams declare (sample durations, pixel aspect ratios) is made
// anew from what the writer is told; for these files it comes out as the source had it.
TEST(Remux, CopiesCarryTheSamePayloadExtensionData) {
    for (const Copy& c : copies()) {
        SCOPED_TRACE(name(c.source));
        asf::File source, copy;
        ASSERT_EQ(source.open(c.source), asf::Status::Ok);
        ASSERT_EQ(copy.open(c.output), asf::Status::Ok);
        asf::SampleReader from(source), to(copy);
        asf::Sample a, b;
        int differing = 0;
        while (from.next(a) && to.next(b)) {
            differing += a.extensionData != b.extensionData ? 1 : 0;
        }
        EXPECT_EQ(differing, 0);
    }
}

TEST(Remux, CopiesShowTheSameStreamsAttributesCodecsAndScripts) {
    for (const Copy& c : copies()) {
        SCOPED_TRACE(name(c.source));
        EXPECT_EQ(keptInfo(c.output), keptInfo(c.source));
    }
}

TEST(Remux, FfmpegDecodesEveryCopyWithoutAWord) {
    for (const Copy& c : copies()) {
        SCOPED_TRACE(name(c.source));
        int status = 0;
        const std::string errors = runCommand(
            "ffmpeg -nostdin -v error -i " + shellQuote(c.output) + " -f null - 2>&1", &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(errors, "");
    }
}

// GStreamer's WMA Voice decoder fails on some real files; a copy may fail exactly where its
// source does, and nowhere else.
// FFmpeg's own view of every packet: stream, times, duration, size and digest.
std::vector<std::string> ffmpegPackets(const std::string& path) {
    std::vector<std::string> out;
    for (const testsupport::FramePacket& packet : testsupport::ffmpegFrameMd5(path).packets) {
        out.push_back(packet.line);
    }
    return out;
}

TEST(Remux, FfmpegReadsTheSamePacketsFromEveryCopy) {
    for (const Copy& c : copies()) {
        SCOPED_TRACE(name(c.source));
        std::vector<std::string> expected = ffmpegPackets(c.source);
        asf::File source;
        ASSERT_EQ(source.open(c.source), asf::Status::Ok);
        if (source.truncated() && !expected.empty()) {
            // FFmpeg hands out the object the source's end cuts off; our reader drops it.
            expected.pop_back();
        }
        EXPECT_EQ(ffmpegPackets(c.output), expected);
    }
}

TEST(Remux, GStreamerDecodesEveryCopyAsWellAsItsSource) {
    if (!writertest::haveTool("gst-launch-1.0") || !writertest::haveTool("gst-discoverer-1.0")) {
        GTEST_SKIP() << "the GStreamer tools are not installed";
    }
    auto errors = [](const std::string& path) {
        int status = 0;
        std::string found;
        for (const std::string& line : lines(runCommand(
                 "timeout 120 " + writertest::gstreamerDecodeCommand(path) + " 2>&1", &status))) {
            if (line.find("ERROR") != std::string::npos) {
                found += line + "\n";
            }
        }
        return status == 0 && found.empty() ? std::string()
                                            : "status " + std::to_string(status) + "\n" + found;
    };
    for (const Copy& c : copies()) {
        SCOPED_TRACE(name(c.source));
        const std::string copyErrors = errors(c.output);
        if (!copyErrors.empty()) {
            EXPECT_EQ(copyErrors, errors(c.source));
        }
    }
}

TEST(Remux, CopiesSendPacketsInOrderAndNeverAfterTheirPayloadsAreDue) {
    for (const Copy& c : copies()) {
        SCOPED_TRACE(name(c.source));
        writertest::expectWellFormed(c.output);
    }
}
