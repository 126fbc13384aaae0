#include "media/md5.h"

extern "C" {
#include <libavutil/md5.h>
}

namespace media {

std::string md5Hex(const std::uint8_t* data, std::size_t size) {
    std::uint8_t digest[16];
    av_md5_sum(digest, data, size);
    static const char kHex[] = "0123456789abcdef";
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 0xF];
    }
    return text;
}

}  // namespace media
