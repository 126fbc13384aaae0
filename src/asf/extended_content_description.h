#pragma once

#include <string>
#include <vector>

#include "asf/attribute.h"
#include "asf/byte_reader.h"
#include "asf/byte_writer.h"
#include "asf/status.h"

namespace asf {

// The Extended Content Description Object: file-level name/value attributes.
struct ExtendedContentDescription {
    std::vector<Attribute> attributes;

    // The first attribute with this name, or nullptr.
    const Attribute* find(const std::u16string& name) const;

    Status parse(ByteReader& body);
    // Writes the whole object. Attributes whose value does not fit a 16-bit length are left
    // out, and at most 65535 are written.
    void write(ByteWriter& out) const;
};

}  // namespace asf
