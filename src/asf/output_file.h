#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace asf {

// A file written without a name (or, where the file system cannot, under a temporary name) in
// the directory of its final path, so that nothing appears under the final name until commit()
// renames the finished file over it, and a failure
// or an abandoned write leaves whatever was there before untouched. Appends are buffered;
// writeAt changes bytes already written. 64-bit offsets throughout. Not thread-safe.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless it was committed.
    ~OutputFile();

    // Creates the temporary file. False, with error() set, when the directory cannot take it or
    // the final path is a directory or a file that may not be written.
    bool create(const std::string& path);
    bool append(const uint8_t* data, size_t n);
    bool append(const std::vector<uint8_t>& bytes) { return append(bytes.data(), bytes.size()); }
    bool writeAt(uint64_t offset, const uint8_t* data, size_t n);
    // Bytes written so far (the file's size once the buffer is out).
    uint64_t size() const { return size_; }
    // Gives the file these permission bits instead of the usual ones for a new file.
    bool setMode(unsigned mode);
    // Writes out the buffer, forces the data to the disk when sync is set, and renames the
    // temporary file to the final path.
    bool commit(bool sync);
    // Closes and removes the temporary file.
    void abandon();

    // The errno of the first failure, 0 if none.
    int error() const { return error_; }

private:
    bool flushBuffer();
    void startWriteback();
    bool fail(int error);
    // A new name of our own for the file beside path_.
    std::string temporaryName() const;

    int fd_ = -1;
    std::string path_;
    std::string temporary_;  // the file's name while it has one of its own, else empty
    std::vector<uint8_t> buffer_;
    uint64_t size_ = 0;         // everything appended, buffered bytes included
    uint64_t flushed_ = 0;      // what is in the file
    uint64_t writtenBack_ = 0;  // what the kernel was asked to start writing to the disk
    int error_ = 0;
};

}  // namespace asf
