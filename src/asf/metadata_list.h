#pragma once

#include <vector>

#include "asf/attribute.h"
#include "asf/byte_reader.h"
#include "asf/byte_writer.h"
#include "asf/status.h"

namespace asf {

// A Metadata Object or a Metadata Library Object: both hold records with a language index, a
// stream number, a name and a typed value. (In the Metadata Object the language index is 0.)
struct MetadataList {
    std::vector<Attribute> records;

    Status parse(ByteReader& body);
    // Writes the whole object as a Metadata Object or a Metadata Library Object (the GUID
    // says which); at most 65535 records.
    void write(ByteWriter& out, const Guid& objectGuid) const;
};

}  // namespace asf
