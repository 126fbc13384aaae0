#pragma once

// Helpers shared by the writer and editor tests.

#include <sys/resource.h>

#include <string>
#include <vector>

namespace writertest {

// A directory for this test process's output files, removed when the process ends (unless
// SPLICOR_KEEP_SCRATCH is set, for a look at them).
std::string scratchDir();

// Whether our readers open the file (they refuse protected content and broken headers).
bool readable(const std::string& path);

// Whether a line of "splicor-cli info"'s attribute list names an attribute the runtime derives
// from the header rather than stores.
bool derivedInfoLine(const std::string& line);

bool haveTool(const std::string& program);

// A gst-launch-1.0 command that decodes every audio and video stream GStreamer shows of the
// file into fake sinks. (A pad left unlinked, or a branch left without a pad, can stall the
// pipeline.) Counts the streams with gst-discoverer-1.0.
std::string gstreamerDecodeCommand(const std::string& path);

// Lets writes grow files only up to `limit` bytes while it lives, as a full disk would.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit);
    ~FileSizeLimit();

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

// Checks what every written file must be, with our own parser: a header and Data Object that
// agree with the file (sizes, packet count, file id, no broadcast flag), packets that parse
// whole, send times that never decrease and never come after a payload's presentation time,
// and (when there are packets) a Simple Index for each visible video stream whose entries name
// packets where a key frame of that stream starts.
void expectWellFormed(const std::string& path);

}  // namespace writertest
