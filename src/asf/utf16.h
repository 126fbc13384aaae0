#pragma once

#include <string>

namespace asf {

// UTF-16 text from the file as UTF-8 for display. Unpaired surrogates become U+FFFD.
std::string toUtf8(const std::u16string& text);

}  // namespace asf
