#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/byte_writer.h"
#include "asf/guid.h"
#include "asf/status.h"

namespace asf {

struct ScriptCommand {
    uint32_t presentationTime = 0;  // ms
    uint16_t typeIndex = 0;         // into ScriptCommandList::types
    std::u16string name;            // the command's parameter (URL, text, ...)
};

// The Script Command Object: a table of command types and timed commands.
struct ScriptCommandList {
    Guid reserved;
    std::vector<std::u16string> types;
    std::vector<ScriptCommand> commands;

    Status parse(ByteReader& body);
    // Writes the whole object, with the fixed reserved GUID; at most 65535 types and commands.
    void write(ByteWriter& out) const;
};

}  // namespace asf
