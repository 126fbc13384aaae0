#include "thumbs/contact_sheet.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/files.h"
#include "thumbs/cache_file.h"

namespace thumbs {

namespace {

constexpr std::uint32_t kColumns = 10;
constexpr std::uint32_t kCellWidth = platform::Bitmap::kWidth;
constexpr std::uint32_t kCellHeight = platform::Bitmap::kHeight;
// PNG pictures are at most 2^31 - 1 pixels high.
constexpr std::uint64_t kMaxHeight = 0x7FFFFFFF;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libpng reports errors by a long jump out of its calls; this holds what must be released
// whichever way the writing ends.
struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

// Writes the rows of the sheet into the open PNG stream: one band of cells at a time, so memory
// does not grow with the number of thumbnails. False when a record cannot be read. Only plain
// data lives here: libpng's errors jump out of this function.
bool writeRows(png_structp png, CacheFile& cacheFile, const std::vector<std::uint32_t>& records,
               std::uint32_t width, std::vector<std::uint8_t>& band,
               std::vector<std::uint8_t>& record) {
    const std::size_t count = records.size();
    for (std::size_t first = 0; first < count; first += kColumns) {
        std::fill(band.begin(), band.end(), 0);  // cells past the last stay black
        for (std::size_t i = first; i < std::min(count, first + kColumns); ++i) {
            if (!cacheFile.read(records[i], record.data())) {
                return false;
            }
            const std::size_t left = (i - first) * kCellWidth;
            // Records are bottom-up BGR; the sheet is top-down RGB.
            for (std::uint32_t y = 0; y < kCellHeight; ++y) {
                const std::uint8_t* from = record.data() + (kCellHeight - 1 - y) * kCellWidth * 3;
                std::uint8_t* to = band.data() + (std::size_t{y} * width + left) * 3;
                for (std::uint32_t x = 0; x < kCellWidth; ++x, from += 3, to += 3) {
                    to[0] = from[2];
                    to[1] = from[1];
                    to[2] = from[0];
                }
            }
        }
        for (std::uint32_t y = 0; y < kCellHeight; ++y) {
            png_write_row(png, band.data() + std::size_t{y} * width * 3);
        }
    }
    return true;
}

}  // namespace

bool writeContactSheet(const std::string& cachePath, const std::vector<std::uint32_t>& records,
                       const std::string& pngPath) {
    CacheFile cacheFile;
    if (records.empty() || !cacheFile.openForReading(cachePath)) {
        return false;
    }
    const std::uint64_t count = records.size();
    const std::uint32_t columns =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kColumns, count));
    const std::uint32_t width = columns * kCellWidth;
    const std::uint64_t rows = (count + kColumns - 1) / kColumns;
    if (rows * kCellHeight > kMaxHeight) {
        return false;
    }
    // The sheet is written under a temporary name of our own beside the destination (created
    // exclusively, so never through a planted link) and renamed over it when complete: a full
    // disk or a failure leaves an existing file as it was, and a link at the destination is
    // replaced, never the file it points to.
    std::string writing = platform::folderPart(pngPath) + ".splicor-sheet-XXXXXX";
    const int fd = ::mkostemp(writing.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    platform::addTemporaryName(writing);
    ::fchmod(fd, 0644);
    std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "wb"));
    if (!file) {
        ::close(fd);
        platform::removeTemporaryName(writing);
        return false;
    }
    std::vector<std::uint8_t> band(std::size_t{width} * kCellHeight * 3);
    std::vector<std::uint8_t> record(CacheFile::kRecordBytes);
    PngWriter writer;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    writer.info = writer.png ? png_create_info_struct(writer.png) : nullptr;
    if (!writer.info) {
        platform::removeTemporaryName(writing);
        return false;
    }
    volatile bool written = false;  // set between setjmp and a possible jump back
    if (setjmp(png_jmpbuf(writer.png)) == 0) {
        png_init_io(writer.png, file.get());
        // One filter and zlib's fastest level: a fifth of the time of the defaults (which try
        // every filter on every row) for a file about a quarter larger.
        png_set_filter(writer.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        png_set_compression_level(writer.png, 1);
        png_set_IHDR(writer.png, writer.info, width, static_cast<png_uint_32>(rows * kCellHeight),
                     8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(writer.png, writer.info);
        if (writeRows(writer.png, cacheFile, records, width, band, record)) {
            png_write_end(writer.png, nullptr);
            written = true;
        }
    }
    bool complete = written && std::fflush(file.get()) == 0 && !std::ferror(file.get());
    // Everything is in the file: a descriptor of its own carries it into place.
    const int sheet = complete ? ::fcntl(::fileno(file.get()), F_DUPFD_CLOEXEC, 0) : -1;
    file.reset();
    complete =
        complete && sheet >= 0 && platform::replaceWithTemporary(sheet, writing, pngPath) == 0;
    if (!complete) {
        platform::removeTemporaryName(writing);
    } else {
        platform::dropTemporaryName(writing);
    }
    return complete;
}

}  // namespace thumbs
