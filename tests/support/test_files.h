#pragma once

// Where the tests find media, and a way to run the independent tools they compare against.

#include <string>
#include <vector>

namespace testsupport {

// The generated test media (SPLICOR_TEST_MEDIA) and the corpus of real files (SPLICOR_CORPUS);
// empty when not set or missing.
std::string testMediaDir();
std::string corpusDir();

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

// Splits text into lines, without their line ends.
std::vector<std::string> lines(const std::string& text);

}  // namespace testsupport
