#pragma once

#include <string>
#include <vector>

#include "asf/byte_reader.h"
#include "asf/status.h"

namespace asf {

// The Language List Object: language tags ("en-us") that other objects refer to by position.
struct LanguageList {
    std::vector<std::u16string> languages;

    Status parse(ByteReader& body);
};

}  // namespace asf
