#pragma once

// How the command line shows the values it reads from a header: attribute values by type,
// texts as UTF-8.

#include <cstdint>
#include <string>
#include <vector>

#include "media/header_data.h"

namespace cli {

std::string narrow(const std::u16string& text);
// A STRING attribute's text, up to its terminator.
std::string attributeString(const media::Attribute& attribute);
// The type's name as the runtime spells it without its prefix: "STRING", "DWORD", ...
const char* attributeTypeName(media::WMT_ATTR_DATATYPE type);
// "video", "audio" or "other".
const char* codecTypeName(media::WMT_CODEC_INFO_TYPE type);

}  // namespace cli
