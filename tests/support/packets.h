#pragma once

// Every sample of a file as `splicor-cli packets` lists it (stream, times, flags, size and MD5),
// the form in which tests compare what was written with what should have been. For tests that
// link the cli commands.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/commands.h"

namespace testsupport {

inline std::string packets(const std::string& path) {
    std::ostringstream out;
    EXPECT_EQ(cli::packetsCommand(path, out), 0) << path;
    return out.str();
}

}  // namespace testsupport
