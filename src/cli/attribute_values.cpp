#include "cli/attribute_values.h"

#include "asf/attribute.h"
#include "platform/text.h"

namespace cli {

std::string narrow(const std::u16string& text) {
    return platform::utf16ToUtf8(text);
}

std::string attributeString(const media::Attribute& attribute) {
    return narrow(asf::utf16Text(attribute.value));
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

}  // namespace cli
