#include "asf/byte_reader.h"

namespace asf {

void ByteReader::fail() {
    failed_ = true;
    pos_ = size_;
}

bool ByteReader::take(size_t n) {
    if (n > remaining()) {
        fail();
        return false;
    }
    return true;
}

uint8_t ByteReader::readU8() {
    if (!take(1)) {
        return 0;
    }
    return data_[pos_++];
}

uint16_t ByteReader::readU16() {
    if (!take(2)) {
        return 0;
    }
    const uint8_t* p = data_ + pos_;
    pos_ += 2;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ByteReader::readU32() {
    if (!take(4)) {
        return 0;
    }
    const uint8_t* p = data_ + pos_;
    pos_ += 4;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t ByteReader::readU64() {
    const uint64_t low = readU32();
    const uint64_t high = readU32();
    return low | (high << 32);
}

uint32_t ByteReader::readSized(unsigned sizeCode) {
    switch (sizeCode & 3) {
        case 1:
            return readU8();
        case 2:
            return readU16();
        case 3:
            return readU32();
        default:
            return 0;
    }
}

Guid ByteReader::readGuid() {
    if (!take(16)) {
        return Guid();
    }
    const Guid g = Guid::fromBytes(data_ + pos_);
    pos_ += 16;
    return g;
}

ByteSpan ByteReader::readSpan(size_t n) {
    if (!take(n)) {
        return {};
    }
    ByteSpan s{data_ + pos_, n};
    pos_ += n;
    return s;
}

std::vector<uint8_t> ByteReader::readBytes(size_t n) {
    return readSpan(n).toVector();
}

std::u16string ByteReader::readUtf16Bytes(size_t byteLength) {
    const ByteSpan s = readSpan(byteLength);
    std::u16string text;
    text.reserve(s.size / 2);
    for (size_t i = 0; i + 1 < s.size; i += 2) {
        const char16_t c = static_cast<char16_t>(s.data[i] | (s.data[i + 1] << 8));
        if (c == 0) {
            break;
        }
        text += c;
    }
    return text;
}

std::u16string ByteReader::readUtf16Chars(size_t count) {
    if (count > remaining() / 2) {
        fail();
        return {};
    }
    return readUtf16Bytes(count * 2);
}

std::string ByteReader::readAscii(size_t n) {
    const ByteSpan s = readSpan(n);
    std::string text;
    for (size_t i = 0; i < s.size && s.data[i] != 0; ++i) {
        text += static_cast<char>(s.data[i]);
    }
    return text;
}

ByteReader ByteReader::readSub(size_t n) {
    const ByteSpan s = readSpan(n);
    ByteReader sub(s);
    if (failed_) {
        sub.fail();
    }
    return sub;
}

ByteReader ByteReader::subRange(size_t offset, size_t n) const {
    if (offset > size_ || n > size_ - offset) {
        ByteReader bad;
        bad.fail();
        return bad;
    }
    return ByteReader(data_ + offset, n);
}

bool ByteReader::skip(size_t n) {
    if (!take(n)) {
        return false;
    }
    pos_ += n;
    return true;
}

bool ByteReader::seek(size_t position) {
    if (position > size_) {
        fail();
        return false;
    }
    pos_ = position;
    return true;
}

}  // namespace asf
