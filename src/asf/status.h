#pragma once

namespace asf {

// The one error style of the ASF layer: every parse and read returns one of these, and none may
// be dropped unlooked at.
enum class [[nodiscard]] Status{
    Ok,
    NotAsf,       // not an ASF file, or the pre-release format
    Truncated,    // the data ends before what it declares
    Malformed,    // sizes, counts or fields that cannot be right
    Protected,    // DRM-protected content (callers decide to refuse with it)
    Unsupported,  // valid but not handled (for example variable-size packets)
    IoError,      // the operating system failed a read
};

// A short English description, for logs and the command line.
const char* statusText(Status status);

}  // namespace asf
