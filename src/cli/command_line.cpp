#include "cli/command_line.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>

#include "cli/commands.h"
#include "cli/interruption.h"
#include "cli/join_command.h"
#include "cli/json_commands.h"
#include "cli/progress_line.h"
#include "cli/standard_output.h"

#ifndef SPLICOR_VERSION
#define SPLICOR_VERSION "unknown"
#endif

namespace cli {

namespace {

struct Arguments {
    std::set<std::string> flags;
    // Operands in order; for cut, "--frames" stays among them before its value.
    std::vector<std::string> operands;
};

struct Command {
    const char* name;
    const char* synopsis;  // what follows the command's name
    const char* help;      // the paragraph under the synopsis
    std::set<std::string> options;
    std::size_t minOperands;
    std::size_t maxOperands;
    bool writes;  // the last operand is the destination, the others are sources
    std::function<int(const Arguments&)> run;
};

bool has(const Arguments& a, const char* flag) {
    return a.flags.count(flag) != 0;
}

// Where a writing command tells what it does: standard error, or nowhere with --quiet (errors
// still reach standard error).
std::ostream& messages(const Arguments& a) {
    static std::ostream nowhere(nullptr);
    return has(a, "--quiet") ? nowhere : std::cerr;
}

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"info",
         "[--json] FILE",
         "Shows the file's properties, streams, indexes, attributes with their types, codec list,\n"
         "script commands and markers. --json writes them as one JSON document.",
         {"--json"},
         1,
         1,
         false,
         [](const Arguments& a) {
             return has(a, "--json") ? infoJsonCommand(a.operands[0], std::cout)
                                     : infoCommand(a.operands[0], std::cout);
         }},
        {"keyframes",
         "[--json] FILE",
         "Lists the key-frame times of the video stream the thumbnails come from (the last video\n"
         "stream), one a line in 100-ns units. --json gives each in 100-ns units and seconds.",
         {"--json"},
         1,
         1,
         false,
         [](const Arguments& a) {
             return has(a, "--json") ? keyframesJsonCommand(a.operands[0], std::cout)
                                     : keyframesCommand(a.operands[0], std::cout);
         }},
        {"packets",
         "[--json] FILE",
         "Lists every compressed sample of every stream in delivery order, one a line:\n"
         "\"stream time duration cleanpoint size md5\" (times in 100-ns units). --json writes\n"
         "the same as one JSON document.",
         {"--json"},
         1,
         1,
         false,
         [](const Arguments& a) {
             return has(a, "--json") ? packetsJsonCommand(a.operands[0], std::cout)
                                     : packetsCommand(a.operands[0], std::cout);
         }},
        {"thumbs",
         "[--force] [--quiet] FILE OUT.png",
         "Draws the thumbnails of every key frame into a contact sheet, ten 160 x 120 cells a\n"
         "row.",
         {"--force", "--quiet"},
         2,
         2,
         true,
         [](const Arguments& a) {
             ProgressLine progress("thumbs", !has(a, "--quiet"));
             int status = thumbsCommand(a.operands[0], a.operands[1], messages(a),
                                        [&](int percent) { progress.set(percent / 100.0); });
             progress.finish();
             return status;
         }},
        {"cut",
         "[--delete] [--force] [--quiet] [--verbose] SRC DST RANGE...",
         "Writes DST with the stretches of SRC the ranges name, samples copied unchanged and\n"
         "times closing the gaps. A RANGE is START-END in seconds or h:mm:ss.fff, START- (to\n"
         "the end of the file), or \"--frames I-J\" with key-frame numbers from 0 as the grid\n"
         "shows them. Ranges snap outward to the key frames (to the samples of a file without\n"
         "video). With --delete the ranges are the stretches that go and the rest is kept.\n"
         "With --verbose the range starts the cut engine was given follow, in ms.",
         {"--delete", "--force", "--quiet", "--verbose"},
         3,
         SIZE_MAX,
         true,
         [](const Arguments& a) {
             ProgressLine progress("cut", !has(a, "--quiet"));
             CutOptions options;
             options.deleteRanges = has(a, "--delete");
             options.verbose = has(a, "--verbose");
             options.replace = has(a, "--force");
             options.progress = [&](double fraction) { progress.set(fraction); };
             int status = cutCommand(a.operands, messages(a), options);
             progress.finish();
             return status;
         }},
        {"join",
         "[--force] [--quiet] IN1 IN2... OUT",
         "Writes OUT with the samples of the inputs one after the other, unchanged, their times\n"
         "shifted; the inputs must have the same streams (numbers, codecs and format data). The\n"
         "header data (attributes, codec list, script commands) is the first input's.",
         {"--force", "--quiet"},
         3,
         SIZE_MAX,
         true,
         [](const Arguments& a) {
             std::vector<std::string> inputs(a.operands.begin(), a.operands.end() - 1);
             ProgressLine progress("join", !has(a, "--quiet"));
             int status = joinCommand(inputs, a.operands.back(), messages(a),
                                      [&](double fraction) { progress.set(fraction); });
             progress.finish();
             return status;
         }},
    };
    return list;
}

const char* const kExitStatuses =
    "Exit status: 0 on success, 1 when the command fails (a file that cannot be read, a\n"
    "destination that exists, a failed write), 2 when the command line is wrong.\n";

void printUsage(std::ostream& out) {
    out << "usage: splicor-cli COMMAND [OPTION...] OPERAND...\n";
    for (const Command& c : commands()) {
        out << "       splicor-cli " << c.name << " " << c.synopsis << "\n";
    }
    out << "       splicor-cli --help | --version | COMMAND --help\n";
}

void printHelp(std::ostream& out) {
    out << "splicor-cli " << SPLICOR_VERSION
        << ": cuts, joins and inspects Windows Media files without re-encoding.\n\n";
    printUsage(out);
    out << "\nWriting commands never replace an existing file unless --force is given. They tell\n"
           "what they do on standard error, with a progress line on a terminal; --quiet leaves\n"
           "only the errors.\n\n"
        << kExitStatuses << "See splicor-cli(1) for the whole manual.\n";
}

void printCommandHelp(const Command& c, std::ostream& out) {
    out << "usage: splicor-cli " << c.name << " " << c.synopsis << "\n\n" << c.help << "\n";
    if (c.options.count("--force")) {
        out << "\n  --force   replace DST (or OUT) when it exists\n"
               "  --quiet   nothing on standard error but errors (no progress line)\n";
    }
    if (c.options.count("--verbose")) {
        out << "  --verbose the range starts the cut engine was given, in ms\n";
    }
    out << "\n" << kExitStatuses;
}

int usageError(const std::string& message, const Command* c) {
    std::cerr << "splicor-cli: " << message << "\n";
    if (c) {
        std::cerr << "usage: splicor-cli " << c->name << " " << c->synopsis << "\n";
    } else {
        printUsage(std::cerr);
    }
    return kExitUsage;
}

// Sorts the words after the command into flags and operands as getopt_long does: "--opt=value",
// abbreviations of long options, "--" before operands that start with "-". Operands keep their
// order; for cut, "--frames" stays among them before its value. False (with a message) on a
// word the command does not take. `argv` starts with the command's name.
bool parseArguments(const Command& c, int argc, char** argv, Arguments& a) {
    std::vector<std::string> names(c.options.begin(), c.options.end());
    names.push_back("--help");
    names.push_back("--version");
    constexpr int kFrames = 'f', kFirstFlag = 256;
    std::vector<option> longOptions;
    for (std::size_t i = 0; i < names.size(); ++i) {
        longOptions.push_back(
            {names[i].c_str() + 2, no_argument, nullptr, kFirstFlag + static_cast<int>(i)});
    }
    const bool cut = std::string(c.name) == "cut";
    if (cut) {
        longOptions.push_back({"frames", required_argument, nullptr, kFrames});
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});
    // "-": operands come back in place, as option 1; ":": a missing value comes back as ':'.
    optind = 0;
    opterr = 0;
    for (;;) {
        const int got = ::getopt_long(argc, argv, "-:", longOptions.data(), nullptr);
        if (got == -1) {
            break;
        }
        if (got == 1) {
            a.operands.push_back(optarg);
        } else if (got == kFrames) {
            a.operands.push_back("--frames");
            a.operands.push_back(optarg);
        } else if (got == ':') {
            usageError("--frames needs a range I-J", &c);
            return false;
        } else if (got == '?') {
            usageError(std::string(argv[optind - 1]) + ": not an option of " + c.name +
                           " (or an abbreviation of more than one)",
                       &c);
            return false;
        } else {
            a.flags.insert(names[static_cast<std::size_t>(got - kFirstFlag)]);
        }
    }
    for (int i = optind; i < argc; ++i) {
        a.operands.push_back(argv[i]);
    }
    return true;
}

}  // namespace

std::string unreadableReason(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno == ENOENT ? "not found" : std::strerror(errno);
    }
    struct stat st;
    std::string reason;
    if (::fstat(fd, &st) != 0) {
        reason = std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        reason = "is a folder, not a file";
    } else if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
    }
    ::close(fd);
    return reason;
}

std::string destinationRefusal(const std::string& destination,
                               const std::vector<std::string>& inputs, bool force) {
    struct stat st;
    if (::stat(destination.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            return std::strerror(errno);
        }
        std::filesystem::path folder = std::filesystem::path(destination).parent_path();
        std::error_code error;
        if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
            return "the folder " + folder.string() + " does not exist";
        }
        if (::access(folder.empty() ? "." : folder.c_str(), W_OK) != 0) {
            return "the folder " + (folder.empty() ? std::string(".") : folder.string()) +
                   " cannot be written (" + std::strerror(errno) + ")";
        }
        return {};
    }
    for (const std::string& input : inputs) {
        struct stat in;
        if (::stat(input.c_str(), &in) == 0 && in.st_dev == st.st_dev && in.st_ino == st.st_ino) {
            return "the destination is one of the inputs";
        }
    }
    if (!S_ISREG(st.st_mode)) {
        return "exists and is not a regular file";
    }
    if (!force) {
        return "already exists (--force replaces it)";
    }
    // By its mode bits too: root may write anything, but a file nobody may write is meant to stay.
    if (::access(destination.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0) {
        return "is read-only; not replaced";
    }
    return {};
}

namespace {

int dispatch(int argc, char** argv) {
    std::string first = argc > 1 ? argv[1] : "";
    if (first == "--help" || first == "-h" || first == "help") {
        printHelp(std::cout);
        return kExitSuccess;
    }
    if (first == "--version") {
        std::cout << "splicor-cli " << SPLICOR_VERSION << "\n";
        return kExitSuccess;
    }
    const Command* command = nullptr;
    for (const Command& c : commands()) {
        if (first == c.name) {
            command = &c;
        }
    }
    if (!command) {
        return usageError(first.empty() ? "no command given" : first + ": no such command",
                          nullptr);
    }
    Arguments a;
    if (!parseArguments(*command, argc - 1, argv + 1, a)) {
        return kExitUsage;
    }
    if (has(a, "--help")) {
        printCommandHelp(*command, std::cout);
        return kExitSuccess;
    }
    if (has(a, "--version")) {
        std::cout << "splicor-cli " << SPLICOR_VERSION << "\n";
        return kExitSuccess;
    }
    if (a.operands.size() < command->minOperands || a.operands.size() > command->maxOperands) {
        return usageError("wrong number of operands", command);
    }
    // cut names its source and destination before the ranges.
    const bool cut = std::string(command->name) == "cut";
    const std::size_t files = cut ? 2 : a.operands.size();
    if (cut && (a.operands[0] == "--frames" || a.operands[1] == "--frames")) {
        return usageError("SRC and DST come before the ranges", command);
    }
    std::size_t sources = command->writes ? files - 1 : files;
    std::vector<std::string> inputs(a.operands.begin(), a.operands.begin() + sources);
    for (const std::string& input : inputs) {
        std::string reason = unreadableReason(input);
        if (!reason.empty()) {
            std::cerr << "splicor-cli: " << input << ": " << reason << "\n";
            return kExitFailure;
        }
    }
    if (!command->writes) {
        return command->run(a);
    }
    const std::string& destination = a.operands[sources];
    std::string refusal = destinationRefusal(destination, inputs, has(a, "--force"));
    if (!refusal.empty()) {
        std::cerr << "splicor-cli: " << destination << ": " << refusal << "\n";
        return kExitFailure;
    }
    struct stat replaced;
    const bool replacing = ::stat(destination.c_str(), &replaced) == 0;
    int status = command->run(a);
    if (status == kExitSuccess && replacing) {
        // A replaced file keeps its permissions: the new one is written under another name and
        // renamed over it, so it would come with the defaults.
        ::chmod(destination.c_str(), replaced.st_mode & 07777);
    }
    return status;
}

}  // namespace

int run(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    handleInterruptions();
    StandardOutput output;
    StandardError errors;
    int status = dispatch(argc, argv);
    // A listing that did not reach its reader is a failure, whatever the command made of it.
    if (int error = output.finish()) {
        std::cerr << "splicor-cli: cannot write to standard output: " << std::strerror(error)
                  << "\n";
        status = status == kExitSuccess ? kExitFailure : status;
    }
    return status;
}

}  // namespace cli
