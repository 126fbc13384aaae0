#pragma once

// How splicor-cli ends when it is told to (Ctrl+C, kill, a closed terminal): SIGINT, SIGTERM
// and SIGHUP remove the temporary files the command made (platform/files.h) and clear the
// progress line, and the process then ends by the same signal, as it would have without us, so
// the shell sees 130, 143 or 129.

namespace cli {

// Blocks the three signals in this thread and every thread it starts afterwards, and takes
// them on a thread of its own. Call before any other thread starts.
void handleInterruptions();

}  // namespace cli
