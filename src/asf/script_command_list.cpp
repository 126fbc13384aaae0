#include "asf/script_command_list.h"

#include <algorithm>

#include "asf/guids.h"

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

void ScriptCommandList::write(ByteWriter& out) const {
    const size_t start = out.beginObject(kScriptCommandObject);
    const size_t commandCount = std::min<size_t>(commands.size(), 0xFFFF);
    const size_t typeCount = std::min<size_t>(types.size(), 0xFFFF);
    out.guid(kReserved3);
    out.u16(static_cast<uint16_t>(commandCount));
    out.u16(static_cast<uint16_t>(typeCount));
    for (size_t i = 0; i < typeCount; ++i) {
        const std::u16string type = fitUtf16Field(types[i]);
        out.u16(static_cast<uint16_t>(type.size() + 1));
        out.utf16(type);
    }
    for (size_t i = 0; i < commandCount; ++i) {
        const ScriptCommand& c = commands[i];
        const std::u16string name = fitUtf16Field(c.name);
        out.u32(c.presentationTime);
        out.u16(c.typeIndex);
        out.u16(static_cast<uint16_t>(name.size() + 1));
        out.utf16(name);
    }
    out.endObject(start);
}

}  // namespace asf
