#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asf/guid.h"

namespace asf {

// A view of bytes owned by someone else (a packet buffer, a header buffer). It stays valid only
// as long as that owner keeps the bytes.
struct ByteSpan {
    const uint8_t* data = nullptr;
    size_t size = 0;

    bool empty() const { return size == 0; }
    const uint8_t* begin() const { return data; }
    const uint8_t* end() const { return data + size; }
    std::vector<uint8_t> toVector() const { return std::vector<uint8_t>(begin(), end()); }
};

// Reads little-endian values from a bounded range of memory. A read that asks for more than
// remains fails: it returns zero (or an empty value), marks the reader failed and moves it to
// the end, so every later read fails too. Parsers read a whole structure and check ok() once,
// but check sizes and counts against remaining() before they allocate or loop.
class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    explicit ByteReader(ByteSpan span) : ByteReader(span.data, span.size) {}

    size_t size() const { return size_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool atEnd() const { return pos_ == size_; }
    bool ok() const { return !failed_; }
    const uint8_t* data() const { return data_; }
    ByteSpan span() const { return {data_, size_}; }
    // Marks the reader failed, as a parser does when a value is out of range.
    void fail();

    uint8_t readU8();
    uint16_t readU16();
    uint32_t readU32();
    uint64_t readU64();
    // A field whose width is given by a two-bit size code: 0 absent (reads nothing, gives 0),
    // 1 byte, 2 word, 3 double word.
    uint32_t readSized(unsigned sizeCode);
    Guid readGuid();
    ByteSpan readSpan(size_t n);
    std::vector<uint8_t> readBytes(size_t n);
    // UTF-16LE text of a given length in bytes. The text ends at the first U+0000, if any; an
    // odd last byte is ignored. All byteLength bytes are consumed.
    std::u16string readUtf16Bytes(size_t byteLength);
    // The same for a length given in 16-bit characters.
    std::u16string readUtf16Chars(size_t count);
    // Eight-bit text of a given length, ending at the first NUL byte, if any.
    std::string readAscii(size_t n);

    // The next n bytes as a reader of their own; this reader moves past them.
    ByteReader readSub(size_t n);
    // A reader over [offset, offset + n) of this range, without moving. Out of range gives a
    // failed, empty reader.
    ByteReader subRange(size_t offset, size_t n) const;

    bool skip(size_t n);
    bool seek(size_t position);

private:
    // Checks that n bytes remain; fails the reader when they do not.
    bool take(size_t n);

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace asf
