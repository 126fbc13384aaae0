#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "asf/status.h"

namespace asf {

// Random-access bytes that a File reads from: a file on disk, or a buffer in memory (tests,
// fuzzing). Reads are positioned, so a source keeps no read position and several threads may
// read at once.
class Source {
public:
    virtual ~Source() = default;

    virtual uint64_t size() const = 0;
    // Reads up to n bytes at offset into buffer; got says how many arrived, fewer only at the
    // end of the source. IoError when the system fails the read.
    virtual Status readAt(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) const = 0;
};

// A file on disk, read with positioned reads; 64-bit offsets throughout.
class FileSource : public Source {
public:
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // IoError when the file cannot be opened or is not a regular file.
    static Status open(const std::string& path, std::unique_ptr<FileSource>& out);

    uint64_t size() const override { return size_; }
    Status readAt(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) const override;

private:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}

    int fd_;
    uint64_t size_;
};

// Bytes held in memory.
class MemorySource : public Source {
public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    uint64_t size() const override { return bytes_.size(); }
    Status readAt(uint64_t offset, uint8_t* buffer, size_t n, size_t& got) const override;

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace asf
