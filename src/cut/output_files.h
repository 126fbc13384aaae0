#pragma once

// The files a cut writes besides its output: a temporary file it owns, and the copy of that
// file to the destination.
//
// A cut must never harm a file it did not make. Every name reserved is one of the process's
// temporary names (platform/files.h), removed should the process be told to end. The temporary file
// is reserved by creating it exclusively, under the name asked for or, when a file of that name
// already exists, under a numbered variant beside it; only a file reserved this way is ever
// deleted. The destination is replaced in one step: the copy goes to a new file beside it that is
// renamed over it once complete, so a failed copy leaves an existing destination as it was.

#include <cstdint>
#include <string>

namespace cut {

class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile();  // deletes the file if it was reserved and is still there
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates an empty file named `wanted`, or "stem-N.ext" when that exists. False when no
    // file could be created (errno tells why).
    bool reserve(const std::string& wanted);
    // Creates an empty file named exactly `name`; false (errno EEXIST) when that exists.
    bool claim(const std::string& name);
    // The name reserve() would take now: `wanted`, or the first "stem-N.ext" that is free.
    static std::string freeName(const std::string& wanted);
    const std::string& path() const { return path_; }
    void remove();
    // Forgets the file without deleting it (it was renamed, or is kept on purpose).
    void release();

private:
    std::string path_;
};

// The name of a temporary output beside `destination`, where a cut writes when its own folder
// cannot take it (and the command line always): hidden, and named after the destination so that
// one left by a killed cut says whose it was.
std::string temporaryBeside(const std::string& destination);

// Copies `from` to `to` with 64-bit sizes, through a new file in `to`'s directory that is
// renamed over `to` at the end (unless `replace`, only while nothing is called `to`: EEXIST).
// Returns 0 or an errno value; on failure `to` is untouched.
int copyOver(const std::string& from, const std::string& to, bool replace = true);

// The stem of the partial copy's name beside `destinationName` (a file name, no folder): "."
// and the name, shortened with a hash where the partial copy's name would not fit the file
// system; the copy adds "-N" when taken and ".splicor-part".
std::string partialCopyStem(const std::string& destinationName);

// Puts the finished `from` in place of `to`: synced and renamed over it where both lie on one
// file system (`moved` is then true and `from` is gone), copied over it otherwise. Returns 0 or
// an errno value; on failure `to` is untouched. Unless `replace`, a `to` that exists by the time
// the output is finished is left alone: EEXIST.
int moveOver(const std::string& from, const std::string& to, bool& moved, bool replace = true);

}  // namespace cut
