#pragma once

// The thumbnail cache file: one 57600-byte thumbnail record per extracted key frame, record n at
// byte 57600 n, with no header, count or trailer.
//
// Extraction writes it once, record after record, while others may read it. Readers (bitmap
// loading, painting) open it without sharing: while one of them has it open, a second reader is
// refused and treats the file as unavailable for that call.
//
// A CacheFile is used by one thread at a time.

#include <cstdint>
#include <string>

#include "platform/bitmap.h"

namespace thumbs {

class CacheFile {
public:
    static constexpr std::uint64_t kRecordBytes = platform::Bitmap::kRecordBytes;

    CacheFile() = default;
    ~CacheFile();
    CacheFile(CacheFile&& other) noexcept;
    CacheFile& operator=(CacheFile&& other) noexcept;
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;

    // Creates the file, or empties an existing one, for writing. False when it cannot be made.
    bool create(const std::string& path);
    // Creates a new file for writing; false when the name exists (errno EEXIST), a link
    // included, or the file cannot be made.
    bool createNew(const std::string& path);
    // Opens an existing regular file for reading. False when it is missing, not a regular file,
    // unreadable or held by another reader.
    bool openForReading(const std::string& path);
    bool isOpen() const { return fd_ >= 0; }
    void close();

    // Writes the next record: record n goes to byte 57600 n whether or not the records before it
    // could be written, so one failed write never shifts the records after it. Writing to a file
    // that is not open does nothing. False when the record was not written whole.
    bool writeNext(const std::uint8_t* record);
    // Reads record n into kRecordBytes bytes. False when the file does not hold the whole record.
    bool read(std::uint64_t n, std::uint8_t* record) const;

private:
    int fd_ = -1;
    std::uint64_t written_ = 0;  // records written (or attempted) since create
};

}  // namespace thumbs
