#pragma once

#include <string>

#include "asf/byte_reader.h"
#include "asf/byte_writer.h"
#include "asf/status.h"

namespace asf {

// The Content Description Object: title, author, copyright, description and rating.
struct ContentDescription {
    std::u16string title;
    std::u16string author;
    std::u16string copyright;
    std::u16string description;
    std::u16string rating;

    Status parse(ByteReader& body);
    // Writes the whole object; empty fields are stored with a length of zero.
    void write(ByteWriter& out) const;
};

}  // namespace asf
