#include "thumbs/contact_sheet.h"

#include <algorithm>
#include <array>
#include <fstream>

#include "thumbs/cache_file.h"

namespace thumbs {

namespace {

constexpr std::uint32_t kColumns = 10;
constexpr std::uint32_t kCellWidth = platform::Bitmap::kWidth;
constexpr std::uint32_t kCellHeight = platform::Bitmap::kHeight;

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void putChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out.data() + typeAt, out.size() - typeAt));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> storedZlib(const std::vector<std::uint8_t>& data) {
    constexpr std::size_t kBlock = 65535;
    std::vector<std::uint8_t> out = {0x78, 0x01};
    std::size_t at = 0;
    do {
        std::size_t size = std::min(kBlock, data.size() - at);
        bool last = at + size == data.size();
        out.push_back(last ? 1 : 0);  // BFINAL, BTYPE 00 (stored)
        out.push_back(static_cast<std::uint8_t>(size));
        out.push_back(static_cast<std::uint8_t>(size >> 8));
        out.push_back(static_cast<std::uint8_t>(~size));
        out.push_back(static_cast<std::uint8_t>(~size >> 8));
        out.insert(out.end(), data.begin() + at, data.begin() + at + size);
        at += size;
    } while (at < data.size());
    std::uint32_t a = 1, b = 0;  // Adler-32
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBigEndian(out, b << 16 | a);
    return out;
}

}  // namespace

std::vector<std::uint8_t> encodePng(std::uint32_t width, std::uint32_t height,
                                    const std::uint8_t* rgb) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    putBigEndian(header, width);
    putBigEndian(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
    putChunk(png, "IHDR", header);
    const std::size_t rowBytes = std::size_t{width} * 3;
    std::vector<std::uint8_t> scanlines;
    scanlines.reserve((rowBytes + 1) * height);
    for (std::uint32_t y = 0; y < height; ++y) {
        scanlines.push_back(0);  // filter: none
        scanlines.insert(scanlines.end(), rgb + y * rowBytes, rgb + (y + 1) * rowBytes);
    }
    putChunk(png, "IDAT", storedZlib(scanlines));
    putChunk(png, "IEND", {});
    return png;
}

bool writeContactSheet(const std::string& cachePath, const std::vector<std::uint32_t>& records,
                       const std::string& pngPath) {
    CacheFile cacheFile;
    if (records.empty() || !cacheFile.openForReading(cachePath)) {
        return false;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(records.size());
    const std::uint32_t columns = std::min(kColumns, count);
    const std::uint32_t width = columns * kCellWidth;
    const std::uint64_t rows = (std::uint64_t{count} + kColumns - 1) / kColumns;
    // One PNG chunk holds the picture; its length must stay below 2^31.
    if (rows * kCellHeight * (std::uint64_t{width} * 3 + 1) > 0x7F000000u) {
        return false;
    }
    const std::uint32_t height = static_cast<std::uint32_t>(rows * kCellHeight);
    std::vector<std::uint8_t> sheet(std::size_t{width} * height * 3);
    std::vector<std::uint8_t> record(CacheFile::kRecordBytes);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!cacheFile.read(records[i], record.data())) {
            return false;
        }
        const std::size_t left = i % kColumns * kCellWidth;
        const std::size_t top = i / kColumns * kCellHeight;
        // Records are bottom-up BGR; the sheet is top-down RGB.
        for (std::uint32_t y = 0; y < kCellHeight; ++y) {
            const std::uint8_t* from = record.data() + (kCellHeight - 1 - y) * kCellWidth * 3;
            std::uint8_t* to = sheet.data() + ((top + y) * width + left) * 3;
            for (std::uint32_t x = 0; x < kCellWidth; ++x, from += 3, to += 3) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
            }
        }
    }
    std::vector<std::uint8_t> png = encodePng(width, height, sheet.data());
    std::ofstream out(pngPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    out.close();
    return !out.fail();
}

}  // namespace thumbs
