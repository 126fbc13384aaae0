#include "asf/byte_writer.h"

#include <cassert>

#include "asf/raw_object.h"

namespace asf {

void ByteWriter::u16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void ByteWriter::u32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes_.push_back(static_cast<uint8_t>(v >> shift));
    }
}

void ByteWriter::u64(uint64_t v) {
    u32(static_cast<uint32_t>(v));
    u32(static_cast<uint32_t>(v >> 32));
}

void ByteWriter::guid(const Guid& g) {
    bytes_.insert(bytes_.end(), g.bytes().begin(), g.bytes().end());
}

void ByteWriter::bytes(const uint8_t* data, size_t n) {
    if (n > 0) {
        bytes_.insert(bytes_.end(), data, data + n);
    }
}

void ByteWriter::utf16(const std::u16string& text, bool terminate) {
    for (char16_t c : text) {
        u16(static_cast<uint16_t>(c));
    }
    if (terminate) {
        u16(0);
    }
}

void ByteWriter::patchU16(size_t position, uint16_t v) {
    assert(position + 2 <= bytes_.size());
    bytes_[position] = static_cast<uint8_t>(v);
    bytes_[position + 1] = static_cast<uint8_t>(v >> 8);
}

void ByteWriter::patchU32(size_t position, uint32_t v) {
    assert(position + 4 <= bytes_.size());
    for (int i = 0; i < 4; ++i) {
        bytes_[position + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

void ByteWriter::patchU64(size_t position, uint64_t v) {
    patchU32(position, static_cast<uint32_t>(v));
    patchU32(position + 4, static_cast<uint32_t>(v >> 32));
}

size_t ByteWriter::beginObject(const Guid& g) {
    const size_t start = bytes_.size();
    guid(g);
    u64(0);
    return start;
}

void ByteWriter::endObject(size_t start) {
    assert(start + kObjectHeaderSize <= bytes_.size());
    patchU64(start + 16, bytes_.size() - start);
}

size_t utf16FieldBytes(const std::u16string& text) {
    return (fitUtf16Field(text).size() + 1) * 2;
}

std::u16string fitUtf16Field(const std::u16string& text) {
    // 32767 characters and the terminator make 65536 bytes; one fewer fits a word.
    constexpr size_t kMaxChars = 0xFFFF / 2 - 1;
    return text.size() <= kMaxChars ? text : text.substr(0, kMaxChars);
}

}  // namespace asf
