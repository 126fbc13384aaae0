// splicor-cli as a user runs it: exit statuses, refusals, --delete, audio-only cuts and join. Every
// file it writes is read back by FFmpeg and GStreamer.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <tuple>

#include "cli/commands.h"
#include "cli_run.h"
#include "media/md5.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

namespace fs = std::filesystem;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

using Result = clitest::CliRun;
using clitest::runCli;

std::string q(const std::string& path) {
    return shellQuote(path);
}

std::string generated(const std::string& name) {
    std::string dir = testsupport::testMediaDir();
    return dir.empty() || !fs::exists(dir + "/" + name) ? "" : dir + "/" + name;
}

std::string corpus(const std::string& name) {
    std::string dir = testsupport::corpusDir();
    return dir.empty() || !fs::exists(dir + "/" + name) ? "" : dir + "/" + name;
}

std::string scratch(const std::string& name) {
    std::string path = writertest::scratchDir() + "/" + name;
    fs::remove(path);
    return path;
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// FFmpeg decodes every stream without a message, and GStreamer plays the file through.
void expectPeersRead(const std::string& file) {
    int status = 0;
    std::string messages = testsupport::runPeer(
        "ffmpeg -v error -nostdin -i " + q(file) + " -map 0 -f null - 2>&1", &status);
    EXPECT_EQ(status, 0) << file;
    EXPECT_EQ(messages, "") << file;
    messages = testsupport::runPeer(writertest::gstreamerDecodeCommand(file) + " 2>&1", &status);
    EXPECT_EQ(status, 0) << file << "\n" << messages;
    writertest::expectWellFormed(file);
}

struct Sample {
    int stream;
    std::uint64_t time;
    std::string md5;
    bool operator==(const Sample& o) const {
        // ASF keeps times in whole milliseconds.
        return stream == o.stream && md5 == o.md5 && time / 10000 == o.time / 10000;
    }
};

std::ostream& operator<<(std::ostream& out, const Sample& s) {
    return out << "#" << s.stream << " at " << s.time << " " << s.md5;
}

std::vector<Sample> samples(const std::string& file) {
    std::vector<Sample> all;
    EXPECT_EQ(
        cli::readSamples(file,
                         [&](const cli::SampleInfo& s) {
                             all.push_back({s.stream, s.time, media::md5Hex(s.data, s.length)});
                         }),
        media::S_OK)
        << file;
    return all;
}

// The samples of `source` a cut keeping [start, end) must hold: those of every stream inside it,
// shifted to start at `shift`, in each stream's order.
std::vector<Sample> inside(const std::vector<Sample>& source, std::uint64_t start,
                           std::uint64_t end, std::uint64_t shift) {
    std::vector<Sample> kept;
    for (const Sample& s : source) {
        if (s.time >= start && s.time < end) {
            kept.push_back({s.stream, s.time - start + shift, s.md5});
        }
    }
    return kept;
}

// Where two sample lists first differ, stream by stream (so that the comparison does not depend
// on how streams interleave); empty when they hold the same samples.
std::string firstDifference(const std::vector<Sample>& got, const std::vector<Sample>& expected) {
    std::map<int, std::vector<Sample>> a, b;
    for (const Sample& s : got) {
        a[s.stream].push_back(s);
    }
    for (const Sample& s : expected) {
        b[s.stream].push_back(s);
    }
    std::ostringstream out;
    for (const auto& [stream, samples] : b) {
        const std::vector<Sample>& mine = a[stream];
        for (std::size_t i = 0; i < std::max(mine.size(), samples.size()); ++i) {
            if (i >= mine.size() || i >= samples.size() || !(mine[i] == samples[i])) {
                out << "stream " << stream << " sample " << i << " of " << samples.size() << ": ";
                i < mine.size() ? out << mine[i] : out << "none";
                out << " instead of ";
                i < samples.size() ? out << samples[i] : out << "none";
                return out.str();
            }
        }
    }
    if (a.size() != b.size()) {
        return std::to_string(a.size()) + " streams instead of " + std::to_string(b.size());
    }
    return "";
}

}  // namespace

TEST(CliProgram, AnswersHelpAndVersionAndTellsUsageErrorsFromFailures) {
    Result help = runCli("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"info", "keyframes", "packets", "thumbs", "cut", "join"}) {
        EXPECT_NE(help.out.find(std::string("splicor-cli ") + command + " "), std::string::npos)
            << command;
        Result own = runCli(std::string(command) + " --help");
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_EQ(own.out.rfind(std::string("usage: splicor-cli ") + command, 0), 0) << own.out;
        EXPECT_NE(own.out.find("Exit status"), std::string::npos) << command;
        EXPECT_EQ(runCli(std::string(command) + " --version").status, 0);
    }
    Result version = runCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("splicor-cli 0.", 0), 0) << version.out;

    // Wrong command lines: 2, with the usage on standard error and nothing on standard output.
    for (const char* words : {"", "frobnicate x", "info", "info a b", "info --jsn x",
                              "cut a.wmv b.wmv", "cut a.wmv b.wmv --frames",
                              "cut a.wmv --frames 0-1 b.wmv", "join a.wmv b.wmv", "thumbs a.wmv"}) {
        Result r = runCli(words);
        EXPECT_EQ(r.status, 2) << words;
        EXPECT_EQ(r.out, "") << words;
        EXPECT_NE(r.err.find("usage: splicor-cli"), std::string::npos) << words << r.err;
    }
    // Failures: 1, naming the real cause.
    Result missing = runCli("info /nonexistent/clip.wmv");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "splicor-cli: /nonexistent/clip.wmv: not found\n");
    Result folder = runCli("cut /tmp " + q(scratch("out.wmv")) + " 0-1");
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("/tmp: is a folder"), std::string::npos) << folder.err;
    Result noFolder = runCli("thumbs /etc/passwd /nonexistent/sheet.png");
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_NE(noFolder.err.find("/nonexistent does not exist"), std::string::npos) << noFolder.err;
    Result notAsf = runCli("keyframes /etc/passwd");
    EXPECT_EQ(notAsf.status, 1);
    EXPECT_NE(notAsf.err.find("/etc/passwd: "), std::string::npos);
}

TEST(CliProgram, NeverReplacesAFileUnlessForcedAndNeverAReadOnlyOne) {
    const std::string source = generated("wmv2_wmav2.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::string destination = scratch("existing.wmv");
    std::ofstream(destination) << "precious";
    for (const char* command : {"cut --quiet SRC DST 0-2", "join --quiet SRC SRC DST"}) {
        std::string words = command;
        words.replace(words.find("SRC"), 3, q(source));
        if (words.find("SRC") != std::string::npos) {
            words.replace(words.find("SRC"), 3, q(source));
        }
        words.replace(words.find("DST"), 3, q(destination));
        Result r = runCli(words);
        EXPECT_EQ(r.status, 1) << words;
        EXPECT_NE(r.err.find("already exists (--force replaces it)"), std::string::npos) << r.err;
        EXPECT_EQ(contents(destination), "precious");
    }
    Result thumbs = runCli("thumbs " + q(source) + " " + q(destination));
    EXPECT_EQ(thumbs.status, 1);
    EXPECT_EQ(contents(destination), "precious");
    // A link at the destination is replaced, never followed to the file it names.
    const std::string sheet = scratch("sheet.png");
    fs::create_symlink(destination, sheet);
    Result throughLink = runCli("thumbs --force " + q(source) + " " + q(sheet));
    EXPECT_EQ(throughLink.status, 0) << throughLink.err;
    EXPECT_EQ(contents(destination), "precious");
    EXPECT_FALSE(fs::is_symlink(sheet));
    EXPECT_EQ(runCommand("ffmpeg -v error -nostdin -i " + q(sheet) + " -f null - 2>&1"), "");

    // A read-only file stays as it is, even with --force (and even for root).
    ASSERT_EQ(::chmod(destination.c_str(), 0444), 0);
    Result readOnly = runCli("cut --force " + q(source) + " " + q(destination) + " 0-2");
    EXPECT_EQ(readOnly.status, 1);
    EXPECT_NE(readOnly.err.find("read-only"), std::string::npos) << readOnly.err;
    EXPECT_EQ(contents(destination), "precious");
    ASSERT_EQ(::chmod(destination.c_str(), 0600), 0);

    // The source under another name is never the destination, forced or not.
    const std::string link = scratch("link.wmv");
    fs::create_symlink(source, link);
    Result self = runCli("cut --force " + q(source) + " " + q(link) + " 0-2");
    EXPECT_EQ(self.status, 1);
    EXPECT_NE(self.err.find("one of the inputs"), std::string::npos) << self.err;

    // Replaced when forced, keeping its permissions.
    Result forced = runCli("cut --force --quiet " + q(source) + " " + q(destination) + " 0-2");
    EXPECT_EQ(forced.status, 0) << forced.err;
    struct stat st;
    ASSERT_EQ(::stat(destination.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    expectPeersRead(destination);
}

TEST(CliProgram, ShortSourcesAndHeadersAreCutToTheirLastSampleOrBlamed) {
    const std::string source = generated("wmv2_wmav2.wmv");  // 8 s
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::string whole = contents(source);
    const std::string folder = scratch("short");
    fs::create_directories(folder);
    const std::string destination = folder + "/out.wmv";
    // The header and a packet or two: no key frame at all. A file's fault, not the command line's.
    const std::string headerOnly = scratch("header-only.wmv");
    std::ofstream(headerOnly, std::ios::binary) << whole.substr(0, 5000);
    Result none = runCli("cut " + q(headerOnly) + " " + q(destination) + " 0-5");
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_NE(none.err.find(headerOnly + ": the file has no key frame"), std::string::npos)
        << none.err;
    // Half the file: what is there is cut to its last sample, whatever the header says, and
    // every sample of the kept stretch is in the output.
    const std::string half = scratch("half.wmv");
    std::ofstream(half, std::ios::binary) << whole.substr(0, whole.size() / 2);
    Result tail = runCli("cut " + q(half) + " " + q(destination) + " 3-");
    ASSERT_EQ(tail.status, 0) << tail.err;
    double from = 0, to = 0;
    ASSERT_EQ(std::sscanf(tail.err.c_str(), "keeping %lf s to %lf s", &from, &to), 2) << tail.err;
    const std::vector<Sample> there = samples(half);
    std::uint64_t end = 0;
    for (const Sample& s : there) {
        end = std::max(end, s.time);
    }
    EXPECT_GT(to * 1e7, double(end)) << tail.err;
    EXPECT_LT(to, 6.0) << "the stretch runs to the header's duration: " << tail.err;
    EXPECT_EQ(firstDifference(samples(destination),
                              inside(there, std::llround(from * 1e7), UINT64_MAX, 0)),
              "");
    expectPeersRead(destination);
    fs::remove(destination);
    // A header whose duration ends at 3 s: "to the end" still runs to the last sample of every
    // stream, also where the last is a video frame without a duration of its own, or audio.
    for (const char* name : {"wmv2_wmav2.wmv", "mp43_only.asf", "audio_only.wma"}) {
        std::string bytes = contents(generated(name));
        ASSERT_TRUE(testsupport::setHeaderDuration(bytes, 30000000)) << name;
        const std::string shortened = scratch(std::string("short-header-") + name);
        std::ofstream(shortened, std::ios::binary) << bytes;
        const std::string output = folder + "/" + name;
        Result toEnd = runCli("cut " + q(shortened) + " " + q(output) + " 2-");
        ASSERT_EQ(toEnd.status, 0) << name << ": " << toEnd.err;
        ASSERT_EQ(std::sscanf(toEnd.err.c_str(), "keeping %lf s to %lf s", &from, &to), 2)
            << toEnd.err;
        EXPECT_EQ(firstDifference(samples(output), inside(samples(shortened),
                                                          std::llround(from * 1e7), UINT64_MAX, 0)),
                  "")
            << name;
        fs::remove(output);
    }
    // Real files with 8 bytes of an Extended Stream Properties Object changed: frame times of
    // 29,000 years in every one (the file still ends at its last sample, and the output is no
    // larger for it), or the first one's size one too large (which other readers take in two
    // ways: the output must be one they all read alike).
    const std::string extended("\xCB\xA5\xE6\x14\x72\xC6\x32\x43\x83\x99\xA9\x69\x52\x06\x5B\x5A",
                               16);
    for (const auto& [name, field, firstOnly] :
         {std::make_tuple("wcs__smooth.wmv", 76, false),
          std::make_tuple("wpftest__red2SecondsGreen30.wmv", 16, true),
          std::make_tuple("moon__ElephantsDream.en_fr.wmv", 16, true)}) {
        const std::string real = corpus(name);
        if (real.empty()) {
            continue;
        }
        std::string bytes = contents(real);
        for (std::size_t at = bytes.find(extended); at != std::string::npos && at < 20000;
             at = firstOnly ? std::string::npos : bytes.find(extended, at + 1)) {
            std::uint64_t value = INT64_MAX;
            if (field == 16) {
                std::memcpy(&value, &bytes[at + 16], 8);
                ++value;
            }
            std::memcpy(&bytes[at + field], &value, 8);
        }
        const std::string damaged = scratch(std::string("damaged-") + name);
        std::ofstream(damaged, std::ios::binary) << bytes;
        const std::string output = folder + "/damaged.wmv";
        Result cut = runCli("cut " + q(damaged) + " " + q(output) + " 0-");
        ASSERT_EQ(cut.status, 0) << name << ": " << cut.err;
        ASSERT_EQ(std::sscanf(cut.err.c_str(), "keeping %lf s to %lf s", &from, &to), 2) << cut.err;
        EXPECT_LT(to, 40.0) << cut.err;
        EXPECT_LT(fs::file_size(output), bytes.size() + 4096) << name;
        EXPECT_EQ(firstDifference(samples(output), samples(damaged)), "") << name;
        expectPeersRead(output);
        fs::remove(output);
    }
    // Joined after the half file, a whole one follows its last sample, not its header's end;
    // after a file whose header claims 300 s of its 8, at most ten seconds later.
    std::string claiming = whole;
    ASSERT_TRUE(testsupport::setHeaderDuration(claiming, 3000000000));
    const std::string longClaim = scratch("claims-300s.wmv");
    std::ofstream(longClaim, std::ios::binary) << claiming;
    for (const auto& [first, gap] :
         {std::make_pair(half, 5000000ull), std::make_pair(longClaim, 110000000ull)}) {
        const std::string joined = scratch("joined.wmv");
        Result join =
            runCli("join --quiet --force " + q(first) + " " + q(source) + " " + q(joined));
        ASSERT_EQ(join.status, 0) << join.err;
        std::uint64_t previous = 0;
        for (const Sample& s : samples(joined)) {
            if (s.stream == 1) {
                EXPECT_LT(s.time, previous + gap) << first << ": a gap in the video before " << s;
                previous = s.time;
            }
        }
    }
    Result good = runCli("cut --quiet " + q(source) + " " + q(destination) + " 1-3");
    EXPECT_EQ(good.status, 0) << good.err;
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename());
    }
    EXPECT_EQ(names, std::vector<std::string>{"out.wmv"});
}

TEST(CliProgram, RangesTheFileDoesNotHoldFailNamingItAndOnlyMalformedOnesAreUsageErrors) {
    const std::string source = generated("wmv2_wmav2.wmv");  // 8 s, a key frame every 2 s
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::string destination = scratch("range.wmv");
    const std::string cut = "cut " + q(source) + " " + q(destination) + " ";
    // Facts about the file: 1, and the message names it, as a loop over many files needs.
    const std::string named = "splicor-cli: " + source + ": ";
    for (const auto& [ranges, message] : std::vector<std::pair<std::string, std::string>>{
             {"0-2 9-12", "9-12: starts at or after the end of the file (8."},
             // So far past the end that the window read before it cannot grow by four any more.
             {"1800000000000-1800000000001", "starts at or after the end of the file"},
             {"--frames 2-9", "--frames 2-9: the file has key frames 0 to 3"},
             {"4-5 1-2", "the ranges overlap or are out of order once snapped"},
             {"--delete 0-", "the ranges delete the whole file"},
         }) {
        const std::string words = ranges.rfind("--delete", 0) == 0
                                      ? "cut --delete " + q(source) + " " + q(destination) + " 0-"
                                      : cut + ranges;
        Result r = runCli(words);
        EXPECT_EQ(r.status, 1) << ranges;
        EXPECT_EQ(r.err.rfind(named, 0), 0) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    // What no file could make right: 2. 2^64 100-ns units are 58494 years: these wrapped around
    // to small times once.
    for (const char* huge :
         {"1844674407370.9551617-1844674407371", "512409558:00:00-512409559:00:00",
          "0-99999999999999999999", "5-3", "abc"}) {
        Result r = runCli(cut + huge);
        EXPECT_EQ(r.status, 2) << huge;
        EXPECT_EQ(r.err.rfind(std::string("splicor-cli: ") + huge + ": not a range", 0), 0)
            << r.err;
    }
    EXPECT_FALSE(fs::exists(destination));
}

TEST(CutDelete, KeepsEverythingButTheDeletedStretches) {
    struct Case {
        std::string source;
        std::string deleted;
        std::string kept;
    };
    std::vector<Case> cases = {
        {generated("wmv2_wmav2.wmv"), "2.5-3.5", "0-2 4.1-"},
        {generated("demo.wmv"), "--frames 0-1 10-11.9 --frames 14-14", "0-0.04 4.1-8 12.1-28"},
        {corpus("wcs__smooth.wmv"), "--frames 0-0", "--frames 1-4"}};
    int checked = 0;
    for (const Case& c : cases) {
        if (c.source.empty()) {
            continue;
        }
        const std::string byDelete = scratch("by-delete.wmv"), byKeep = scratch("by-keep.wmv");
        Result deleted =
            runCli("cut --delete " + q(c.source) + " " + q(byDelete) + " " + c.deleted);
        ASSERT_EQ(deleted.status, 0) << c.source << deleted.err;
        Result kept = runCli("cut " + q(c.source) + " " + q(byKeep) + " " + c.kept);
        ASSERT_EQ(kept.status, 0) << c.source << kept.err;
        // The same stretches are kept: the same listing, and the same samples.
        EXPECT_EQ(deleted.err.substr(0, deleted.err.find("wrote")),
                  kept.err.substr(0, kept.err.find("wrote")))
            << c.source;
        EXPECT_EQ(firstDifference(samples(byDelete), samples(byKeep)), "") << c.source;
        expectPeersRead(byDelete);
        // The listing holds the kept stretches and the file written, nothing else; --verbose
        // adds the range starts the engine was given, labelled, one per stretch.
        std::vector<std::string> starts;
        for (const std::string& line : testsupport::lines(kept.err)) {
            ASSERT_TRUE(line.rfind("keeping ", 0) == 0 || line == "wrote " + byKeep) << line;
            if (line.rfind("keeping ", 0) == 0) {
                std::string ms = line.substr(8, line.find(" s to") - 8);
                ms.erase(ms.find('.'), 1);
                starts.push_back(std::to_string(std::stoull(ms)));
            }
        }
        Result verbose =
            runCli("cut --verbose --force " + q(c.source) + " " + q(byKeep) + " " + c.kept);
        ASSERT_EQ(verbose.status, 0) << verbose.err;
        std::string expected = kept.err.substr(0, kept.err.find("wrote"));
        for (std::size_t i = 0; i < starts.size(); ++i) {
            expected +=
                "engine: range " + std::to_string(i + 1) + " starts at " + starts[i] + " ms\n";
        }
        EXPECT_EQ(verbose.err, expected + "wrote " + byKeep + "\n");
        ++checked;
    }
    if (checked == 0) {
        GTEST_SKIP() << "no media";
    }
}

TEST(AudioCut, CutsFilesWithoutVideoAtSampleTimesAndKeepsEveryStream) {
    int checked = 0;
    for (const std::string& source :
         {generated("audio_only.wma"), corpus("wcs__house.wma"), corpus("wcs__multilang.wma")}) {
        if (source.empty()) {
            continue;
        }
        std::ostringstream ignored;
        EXPECT_EQ(cli::keyframesCommand(source, ignored), 1) << "no video: " << source;
        const std::vector<Sample> all = samples(source);
        ASSERT_FALSE(all.empty()) << source;
        // The cut points: the sample times of the first audio stream.
        std::vector<std::uint64_t> points;
        for (const Sample& s : all) {
            if (s.stream == all.front().stream) {
                points.push_back(s.time);
            }
        }
        ASSERT_GT(points.size(), 4u);
        const std::uint64_t start = points[points.size() / 4], end = points[points.size() / 2];
        const std::string output = scratch("audio-cut.wma");
        // Typed 1 ms inside the samples: the range snaps outward to them.
        char range[64];
        std::snprintf(range, sizeof range, "%.4f-%.4f", (start + 10000) / 1e7, (end - 10000) / 1e7);
        Result r = runCli("cut " + q(source) + " " + q(output) + " " + range);
        ASSERT_EQ(r.status, 0) << source << "\n" << r.err;
        EXPECT_NE(r.err.find("keeping "), std::string::npos);
        EXPECT_EQ(firstDifference(samples(output), inside(all, start, end, 0)), "") << source;
        expectPeersRead(output);
        ++checked;
    }
    if (checked == 0) {
        GTEST_SKIP() << "no media";
    }
}

TEST(Join, GivesBackTheCutsSamplesFromItsPiecesAndSeeks) {
    const std::string source = generated("demo.wmv");  // 30 s, a key frame every 2 s
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::string whole = scratch("whole.wmv"), a = scratch("a.wmv"), b = scratch("b.wmv"),
                      c = scratch("c.wmv"), joined = scratch("joined.wmv");
    ASSERT_EQ(runCli("cut --quiet " + q(source) + " " + q(whole) + " --frames 1-11").status, 0);
    ASSERT_EQ(runCli("cut --quiet " + q(source) + " " + q(a) + " --frames 1-3").status, 0);
    ASSERT_EQ(runCli("cut --quiet " + q(source) + " " + q(b) + " --frames 4-4").status, 0);
    ASSERT_EQ(runCli("cut --quiet " + q(source) + " " + q(c) + " --frames 5-11").status, 0);
    Result r = runCli("join --quiet " + q(a) + " " + q(b) + " " + q(c) + " " + q(joined));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(firstDifference(samples(joined), samples(whole)), "");
    expectPeersRead(joined);

    // Seekable: declared so, and FFmpeg lands on the key frame at or before 15 s.
    std::ostringstream info;
    ASSERT_EQ(cli::infoCommand(joined, info), 0);
    EXPECT_NE(info.str().find("seekable yes"), std::string::npos) << info.str();
    EXPECT_NE(info.str().find("simple index for stream"), std::string::npos);
    int status = 0;
    std::string frame = runCommand(
        "ffprobe -v error -read_intervals 15%+#1 -select_streams v "
        "-show_entries packet=pts_time,flags -of csv=p=0 " +
            q(joined),
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(frame.rfind("14.", 0), 0) << frame;
}

TEST(Join, PutsAFileAfterItselfByteForByteAndRefusesStreamsThatDiffer) {
    int checked = 0;
    for (const std::string& source :
         {corpus("wcs__smooth.wmv"), corpus("wcs__multilang.wma"), generated("two_video.wmv")}) {
        if (source.empty()) {
            continue;
        }
        const std::string twice = scratch("twice.wmv");
        Result r = runCli("join --quiet " + q(source) + " " + q(source) + " " + q(twice));
        ASSERT_EQ(r.status, 0) << source << r.err;
        std::vector<Sample> once = samples(source);
        // The second copy starts where the first ends: at its "Duration".
        std::uint64_t length = 0;
        std::ostringstream info;
        ASSERT_EQ(cli::infoCommand(source, info), 0);
        for (const std::string& line : testsupport::lines(info.str())) {
            if (line.rfind("  [0] Duration = QWORD ", 0) == 0) {
                length = std::stoull(line.substr(line.rfind(' ') + 1));
            }
        }
        ASSERT_GT(length, 0u);
        std::vector<Sample> expected = once;
        for (const Sample& s : once) {
            expected.push_back({s.stream, s.time + length, s.md5});
        }
        EXPECT_EQ(firstDifference(samples(twice), expected), "") << source;
        expectPeersRead(twice);
        ++checked;
    }
    // A live capture: no "Duration" and samples that carry none. The second copy still comes
    // after the first's last frame, not at its time.
    const std::string live = corpus("moon__timecode-short-broadcast.wmv");
    if (!live.empty()) {
        const std::string twice = scratch("live-twice.wmv");
        Result r = runCli("join --quiet " + q(live) + " " + q(live) + " " + q(twice));
        ASSERT_EQ(r.status, 0) << r.err;
        expectPeersRead(twice);
    }
    const std::string first = generated("wmv2_wmav2.wmv"), other = generated("wmv1_wmav1.wmv");
    if (!first.empty() && !other.empty()) {
        const std::string output = scratch("mismatch.wmv");
        Result r = runCli("join " + q(first) + " " + q(first) + " " + q(other) + " " + q(output));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "splicor-cli: " + other +
                             ": stream 1 has another codec than in the first input; not joined\n");
        Result streams =
            runCli("join " + q(first) + " " + q(generated("mp43_only.asf")) + " " + q(output));
        EXPECT_EQ(streams.status, 1);
        EXPECT_NE(streams.err.find("has streams 1, the first input 1, 2"), std::string::npos)
            << streams.err;
        EXPECT_FALSE(fs::exists(output));
    }
    if (checked == 0) {
        GTEST_SKIP() << "no media";
    }
}
