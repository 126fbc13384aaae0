#pragma once

#include <cstdint>
#include <string>

#include "asf/file.h"

namespace asf {

// A plain-text dump of an open file: every object with its offset and size, the file
// properties, the streams, the data layout and a summary of the packets (which reads them all,
// unless maxPackets stops it sooner). The command line's "info" is built on it.
std::string describe(const File& file);
std::string describe(const File& file, uint64_t maxPackets);

}  // namespace asf
