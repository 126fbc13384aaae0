#include "cli/interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "platform/files.h"

namespace cli {

namespace {

sigset_t interruptions() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Waits for one of the signals; then the temporary names go, and the signal is let through.
void interruptionMain() {
    const sigset_t set = interruptions();
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    platform::removeTemporaryNamesAndHold();
    if (::isatty(STDERR_FILENO)) {
        static const char clear[] = "\r\033[K";
        [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, clear, sizeof clear - 1);
    }
    ::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);  // not reached: the signal ends the process
}

}  // namespace

void handleInterruptions() {
    const sigset_t set = interruptions();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(interruptionMain).detach();
}

}  // namespace cli
