#include "asf/script_command_list.h"

namespace asf {

Status ScriptCommandList::parse(ByteReader& body) {
    constexpr size_t kTypeMinSize = 2;
    constexpr size_t kCommandMinSize = 8;
    reserved = body.readGuid();
    const uint16_t commandCount = body.readU16();
    const uint16_t typeCount = body.readU16();
    if (!body.ok()) {
        return Status::Truncated;
    }
    if (typeCount > body.remaining() / kTypeMinSize) {
        return Status::Malformed;
    }
    types.clear();
    for (uint16_t i = 0; i < typeCount; ++i) {
        types.push_back(body.readUtf16Chars(body.readU16()));
    }
    if (commandCount > body.remaining() / kCommandMinSize) {
        return body.ok() ? Status::Malformed : Status::Truncated;
    }
    commands.clear();
    for (uint16_t i = 0; i < commandCount; ++i) {
        ScriptCommand c;
        c.presentationTime = body.readU32();
        c.typeIndex = body.readU16();
        c.name = body.readUtf16Chars(body.readU16());
        commands.push_back(std::move(c));
    }
    return body.ok() ? Status::Ok : Status::Truncated;
}

}  // namespace asf
