#include "cli/attribute_values.h"

#include "platform/text.h"

namespace cli {

std::string narrow(const std::u16string& text) {
    return platform::utf16ToUtf8(text);
}

std::uint64_t littleEndian(const std::vector<media::BYTE>& value) {
    std::uint64_t n = 0;
    for (std::size_t i = std::min<std::size_t>(value.size(), 8); i-- > 0;) {
        n = n << 8 | value[i];
    }
    return n;
}

std::string attributeString(const media::Attribute& attribute) {
    const std::vector<media::BYTE>& v = attribute.value;
    std::u16string text;
    for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
        char16_t c = static_cast<char16_t>(v[i] | v[i + 1] << 8);
        if (c == 0) {
            break;
        }
        text += c;
    }
    return narrow(text);
}

const char* attributeTypeName(media::WMT_ATTR_DATATYPE type) {
    switch (type) {
        case media::WMT_TYPE_STRING:
            return "STRING";
        case media::WMT_TYPE_BOOL:
            return "BOOL";
        case media::WMT_TYPE_DWORD:
            return "DWORD";
        case media::WMT_TYPE_QWORD:
            return "QWORD";
        case media::WMT_TYPE_WORD:
            return "WORD";
        case media::WMT_TYPE_GUID:
            return "GUID";
        default:
            return "BINARY";
    }
}

const char* codecTypeName(media::WMT_CODEC_INFO_TYPE type) {
    return type == media::WMT_CODECINFO_VIDEO   ? "video"
           : type == media::WMT_CODECINFO_AUDIO ? "audio"
                                                : "other";
}

std::string fourcc(std::uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '?';
    }
    return s;
}

}  // namespace cli
