#pragma once

// The listings of info, keyframes and packets as one JSON document each, for scripts. Times are
// given twice: in 100-ns units (exact, "*_hns") and in seconds. Texts that are not valid UTF-8
// (file names, for one) have their bad bytes replaced by U+FFFD.

#include <iosfwd>
#include <string>

namespace cli {

int infoJsonCommand(const std::string& path, std::ostream& out);
int keyframesJsonCommand(const std::string& path, std::ostream& out);
int packetsJsonCommand(const std::string& path, std::ostream& out);

}  // namespace cli
