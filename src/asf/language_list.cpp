#include "asf/language_list.h"

namespace asf {

Status LanguageList::parse(ByteReader& body) {
    const uint16_t count = body.readU16();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (count > body.remaining()) {
        return Status::Malformed;
    }
    languages.clear();
    for (uint16_t i = 0; i < count; ++i) {
        languages.push_back(body.readUtf16Bytes(body.readU8()));
    }
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
