#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asf/guid.h"

namespace asf {

// Appends little-endian values to a growing buffer: the write side of ByteReader. Objects are
// written with beginObject/endObject, which fill in the object's size from what was written in
// between, so an object always declares exactly the bytes it holds.
class ByteWriter {
public:
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> take() { return std::move(bytes_); }

    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void guid(const Guid& g);
    void bytes(const uint8_t* data, size_t n);
    void bytes(const std::vector<uint8_t>& v) { bytes(v.data(), v.size()); }
    void zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    // UTF-16LE text, then a U+0000 terminator when terminate is set.
    void utf16(const std::u16string& text, bool terminate = true);

    // Overwrites bytes already written.
    void patchU16(size_t position, uint16_t v);
    void patchU32(size_t position, uint32_t v);
    void patchU64(size_t position, uint64_t v);

    // Writes an object's GUID and a size placeholder; returns where the object starts.
    size_t beginObject(const Guid& guid);
    // Sets the size of the object that starts at `start` to everything written since.
    void endObject(size_t start);

private:
    std::vector<uint8_t> bytes_;
};

// Bytes of UTF-16LE text with its terminator, as string fields that declare a byte length
// store it; text that would not fit a 16-bit length is cut to fit.
size_t utf16FieldBytes(const std::u16string& text);
std::u16string fitUtf16Field(const std::u16string& text);

}  // namespace asf
