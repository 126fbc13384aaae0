#pragma once

#include <string>
#include <vector>

#include "asf/attribute.h"
#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

// The Extended Content Description Object: file-level name/value attributes.
struct ExtendedContentDescription {
    std::vector<Attribute> attributes;

    // The first attribute with this name, or nullptr.
    const Attribute* find(const std::u16string& name) const;

    Status parse(ByteReader& body);
};

}  // namespace asf
