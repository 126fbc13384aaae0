#pragma once

// Where the tests find media, and ways to run the independent tools they compare against and
// the helper programs they kill.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The generated test media (SPLICOR_TEST_MEDIA) and the corpus of real files (SPLICOR_CORPUS);
// empty when not set or missing.
std::string testMediaDir();
std::string corpusDir();

// The files with an ASF extension (.wmv, .wma, .asf) in `dir`, as full paths sorted by name;
// none when `dir` is empty or missing.
std::vector<std::string> mediaFilesIn(const std::string& dir);
// Every generated file and every corpus file with an ASF extension, as full paths.
std::vector<std::string> allMediaFiles();

// Runs a shell command and returns its standard output; the exit status goes to *status.
std::string runCommand(const std::string& command, int* status = nullptr);

// Runs one of the independent tools the tests compare against (ffmpeg, GStreamer) with a time
// limit. A run that hangs is tried again, up to four times in all: GStreamer's decodebin now and
// then stalls for good on a file it otherwise reads (its queues all wait for data), and a
// stalled peer must not stall the suite. The exit status of a run that always timed out is 124.
std::string runPeer(const std::string& command, int* status = nullptr);

// The text quoted for a POSIX shell.
std::string shellQuote(const std::string& text);

// Starts the helper program `program` with `args` for a test that kills it: its standard output
// and error go nowhere and its file descriptor 3 is a pipe back. Returns its process id once it
// has written `readyBytes` there (which it does when it reaches the point to kill it at),
// failing the test when it does not within `timeoutMs`.
int startKillableHelper(const std::string& program, const std::vector<std::string>& args,
                        std::size_t readyBytes, int timeoutMs);

// Rewrites the play duration in the File Properties Object of the ASF file `bytes` so that the
// file's header says it lasts `duration` (100-ns units, the preroll left out), as a muxer that
// wrote its header before it knew better would. False when there is no such object.
bool setHeaderDuration(std::string& bytes, std::uint64_t duration);

// Splits text into lines, without their line ends.
std::vector<std::string> lines(const std::string& text);

// One packet as FFmpeg's framemd5 muxer lists it: the output stream, times in that stream's
// time base, size and MD5 of the payload. FFmpeg leaves `pts` at INT64_MIN where it does not
// know it.
struct FramePacket {
    int stream = 0;
    long long dts = 0;
    long long pts = 0;
    long long duration = 0;
    long long size = 0;
    std::string md5;
    std::string line;  // the line as FFmpeg wrote it
};

// What `ffmpeg -i FILE MAPS -c copy -f framemd5 -` lists: every packet, and each output
// stream's time base (numerator, denominator; 1/1000 when not listed). `status` is FFmpeg's
// exit status.
struct FrameMd5 {
    int status = 0;
    std::vector<std::pair<long long, long long>> timeBases;
    std::vector<FramePacket> packets;
};
FrameMd5 ffmpegFrameMd5(const std::string& path, const std::string& maps = "-map 0");

}  // namespace testsupport
