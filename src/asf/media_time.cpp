#include "asf/media_time.h"

#include <cinttypes>
#include <cstdio>

namespace asf {

std::string secondsText(MediaTime t) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64 ".%03" PRIu64, t / kTicksPerSecond,
                  toMilliseconds(t) % 1000);
    return text;
}

}  // namespace asf
