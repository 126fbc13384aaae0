#pragma once

// The POSIX file calls every part of the program goes through: whole reads and writes that
// retry where a signal interrupted them, the last step of replacing a file through a temporary,
// and the parts of a path. Standard library and POSIX only, so that the container library below
// everything else can use it too.
//
// Failures return false or -1 with errno set, as the system calls they wrap do.

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform {

// `call()` again for as long as it fails with EINTR; its last result.
template <class Call>
auto retryOnInterrupt(Call call) {
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR)) {
            return result;
        }
    }
}

// Writes all `n` bytes at the file position (or at `offset`). A write that takes nothing fails
// with EIO.
bool writeFully(int fd, const void* data, std::size_t n);
bool writeFullyAt(int fd, std::uint64_t offset, const void* data, std::size_t n);

// Reads until `n` bytes are in or the file ends: the count read (less than `n` only at the end
// of the file), or -1.
ssize_t readFully(int fd, void* data, std::size_t n);
ssize_t readFullyAt(int fd, std::uint64_t offset, void* data, std::size_t n);

// Creates `path` for writing only when nothing of that name exists (a link included): the
// descriptor, or -1.
int createNewFile(const std::string& path, unsigned mode);

// Temporary names: the files (and folders) this process has made under names of its own while
// it writes, and has not yet renamed or removed. A process that is told to end (a signal) removes
// them before it goes, so that an interrupted write leaves nothing behind; that is the only
// reason the list exists, and it is the one list of the process (one lock guards it).
//
// createTemporaryFile creates `path` as createNewFile does and adds it, as one step with respect
// to removeTemporaryNamesAndHold, so a name is never left between the two.
int createTemporaryFile(const std::string& path, unsigned mode);
void addTemporaryName(const std::string& path, bool folder = false);
// The name was renamed into place or removed: it is no longer this process's to remove.
void dropTemporaryName(const std::string& path);
// Unlinks `path` and drops it, as one step.
void removeTemporaryName(const std::string& path);
// Removes every temporary name (a folder with what it holds) and keeps the lock for good, so that
// no thread adds one afterwards: for a process about to end. Call it from one thread only.
void removeTemporaryNamesAndHold();

// Opens a new file in `folder` that has no name (O_TMPFILE), for writing: the descriptor, or -1
// where the file system cannot make one. Such a file vanishes with the process however it ends.
int createUnnamedFile(const std::string& folder, unsigned mode);
// Gives the unnamed file `fd` the name `path`, which must not exist (EEXIST), and adds it to the
// temporary names. 0 or an errno value.
int nameUnnamedFile(int fd, const std::string& path);

// Puts the finished temporary file `temporary` (open as `fd`) in place of `path`, as one step:
// its data on disk (when `sync`), `fd` closed, the temporary renamed over `path`, the rename on
// disk (when `sync`). Unless `replace`, a `path` that exists by then (made by someone else since
// the caller looked) is not replaced: EEXIST. `fd` is closed whatever happens. 0 or the errno of
// the failure; on a failure `path` is as it was and the temporary is still there, for the
// caller to remove or use otherwise.
int replaceWithTemporary(int fd, const std::string& temporary, const std::string& path,
                         bool sync = true, bool replace = true);

// Puts the entries of `folder` (a path as folderOf gives it) on disk.
void syncFolder(const std::string& folder);

// The parts of a path, split at its last "/":
// - fileNamePart: what follows it ("dir/clip.wmv" gives "clip.wmv"; the whole path without one);
// - folderPart: what comes up to it and it ("dir/"; "" without one), so that folderPart(p) +
//   name is `name` in p's folder;
// - folderOf: the folder as a path of its own ("dir"; "/" for a file in the root; "." without
//   a "/").
std::string fileNamePart(const std::string& path);
std::string folderPart(const std::string& path);
std::string folderOf(const std::string& path);

// `path` without and with its extension: "dir/clip.wmv" gives ("dir/clip", ".wmv"). Only the
// file name's last "." counts, and not one it starts with (".hidden" has no extension).
std::pair<std::string, std::string> splitExtension(const std::string& path);

}  // namespace platform
