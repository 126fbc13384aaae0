#pragma once

// The files the program keeps for itself (the thumbnail directory and what lies in it) and the
// identity of the files it is given.
//
// Rules every file of the thumbnail directory follows:
// - Only regular files are read, opened without blocking and without following a link at the
//   last component, and never more than a stated size: a FIFO, a device or a link planted under
//   one of the program's names is refused, not waited on or followed.
// - New content goes to a temporary name of the program's own, created exclusively (so it
//   never follows a planted link either), and is renamed over the real name once it is on
//   disk: a crash never leaves a half-written file under a real name.
// - A file that cannot be used is set aside under a new name, never deleted.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The longest file name (one path component) the file systems take.
constexpr std::size_t kMaxFileNameBytes = 255;

// `path` made absolute against the current directory, with "." taken out. Links are left as
// they are, except in a path that climbs with "..", which is resolved as the kernel does.
std::string absolutePath(const std::string& path);

// Whether the two paths name one file: the same device and inode. When either cannot be looked
// at (a file that does not exist yet), whether their absolute forms are equal.
bool sameFile(const std::string& a, const std::string& b);

// What tells one version of a file from another: which file it is (device and inode), its size
// and when its content last changed.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;  // content last changed, in nanoseconds since 1970
    std::int64_t changedNs = 0;   // content, name or links last changed (rename, replace)
    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modifiedNs == other.modifiedNs;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of the file `path` names (links followed), or nothing when it cannot be looked at.
std::optional<FileStamp> fileStamp(const std::string& path);

// A file held open for the length of a command, so that every later open of it by name reaches
// that same file whatever is renamed onto its path meanwhile: path() names the held descriptor
// (through /proc/self/fd). Where the file cannot be opened, or /proc is not there, path() is
// the path given, and whoever opens it then says why it failed.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    const std::string& path() const { return name_; }

private:
    int fd_ = -1;
    std::string name_;
};

// Whether the file `path` names may hold other content than it did when `since` was current:
// gone, or written, replaced or moved into place after `since` (a time in nanoseconds since
// 1970, such as the modification time of a file made from it).
bool changedSince(const std::string& path, std::int64_t sinceNs);

// `name` when `name` and `room` more bytes fit in one path component; else its start, cut on a
// character boundary, followed by "~" and 16 hex digits of a hash of the whole name, so that
// the result and `room` more bytes fit.
std::string fittedFileName(const std::string& name, std::size_t room);

// Opens `path` for reading when it is a regular file (not through a link): the descriptor,
// blocking again, or -1.
int openRegularFile(const std::string& path);

// The whole content of the regular file `path`, or nothing when it is not one, cannot be read
// or holds more than `maxBytes`.
std::optional<std::string> readRegularFile(const std::string& path, std::size_t maxBytes);

// Whether `path` is a regular file (a link is not).
bool isRegularFile(const std::string& path);

// Replaces (or creates) `path` with `content`, durably and in one step, through a temporary
// file of the program's own name in the same directory. False when it could not be written;
// then nothing of that name was made or changed.
bool replaceFileWith(const std::string& path, const std::string& content);

// Deletes what writes cut short by the end of the process left in `directory` (ends in "/").
void removeUnfinishedWrites(const std::string& directory);

// Renames `path` to `path` + "." + `tag` (or with "-2", "-3", ... after it when that exists),
// replacing nothing. The new path, or empty when it could not be renamed.
std::string setAside(const std::string& path, const std::string& tag);

// The program file's real path (links resolved), or empty when the system does not say.
std::string programFilePath();

// Where the program keeps its files: "thum/" beside the program file when that folder can be
// made and written; else `stateHome` + "/splicor/thum/" (when `stateHome` is an absolute path),
// or `home` + "/.local/state/splicor/thum/", made with mode 0700. Always ends in "/". The
// environment's values are given, so that callers (and tests) choose them.
std::string thumbnailDirectoryFor(const std::string& programFile, const char* stateHome,
                                  const char* home);

}  // namespace platform
