#pragma once

// splicor-cli's command line: the commands with their options and help texts, the checks made
// on the files named before a command runs, and the exit statuses every command shares.

#include <string>
#include <vector>

namespace cli {

constexpr int kExitSuccess = 0;
// The command ran and failed: a source that cannot be read, a destination refused, a failed cut.
constexpr int kExitFailure = 1;
// The command line is wrong: no such command or option, operands missing, a range malformed.
constexpr int kExitUsage = 2;

// Why the file cannot be read, in words ("not found", "permission denied", "is a directory");
// empty when it can be opened for reading.
std::string unreadableReason(const std::string& path);

// Why the command may not write `destination`, in words; empty when it may. Refused: one of the
// inputs under another name, a folder that does not exist, anything but a regular file, and
// any existing file unless `force` is set (and even then a read-only one).
std::string destinationRefusal(const std::string& destination,
                               const std::vector<std::string>& inputs, bool force);

}  // namespace cli
