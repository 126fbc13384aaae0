#include "asf/utf16.h"

#include "platform/text.h"

namespace asf {
namespace {

bool isHigh(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

}  // namespace

std::string toUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
            const char32_t cp = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            platform::appendUtf8(out, cp);
            ++i;
        } else if (isHigh(c) || isLow(c)) {
            platform::appendUtf8(out, 0xFFFD);
        } else {
            platform::appendUtf8(out, c);
        }
    }
    return out;
}

}  // namespace asf
