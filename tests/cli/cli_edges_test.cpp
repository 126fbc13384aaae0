// splicor-cli at its edges, as a script or a terminal meets it: listings that cannot be written,
// interrupted writing commands, and what a terminal shows.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "cli/progress_line.h"

#include "cli_run.h"
#include "support/scratch.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

namespace fs = std::filesystem;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

using Outcome = clitest::CliRun;
using clitest::runCli;

std::string media(const std::string& name) {
    const std::string dir = testsupport::testMediaDir();
    return dir.empty() || !fs::exists(dir + "/" + name) ? "" : dir + "/" + name;
}

// A tmpfs of `kilobytes` mounted on a scratch folder for the test's length; empty path when this
// process may not mount (not root, or no tmpfs).
class SmallFileSystem {
public:
    explicit SmallFileSystem(int kilobytes) {
        const std::string folder =
            writertest::scratchDir() + "/tmpfs-" + std::to_string(::getpid());
        fs::create_directories(folder);
        const std::string options = "size=" + std::to_string(kilobytes) + "k";
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0) {
            path_ = folder;
        }
    }
    ~SmallFileSystem() {
        if (!path_.empty()) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

TEST(CliOutput, AListingThatCannotBeWrittenFailsNamingTheWriteError) {
    const std::string source = media("demo.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    for (const char* command :
         {"info", "info --json", "keyframes", "keyframes --json", "packets", "packets --json"}) {
        Outcome r = runCli(std::string(command) + " " + shellQuote(source), ">/dev/full");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, "splicor-cli: cannot write to standard output: No space left on device\n")
            << command;
    }
    EXPECT_EQ(runCli("--help", ">/dev/full").status, 1);

    // A file system that fills up halfway through the listing.
    SmallFileSystem small(256);
    if (small.path().empty()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    std::ofstream(small.path() + "/filler", std::ios::binary) << std::string(220 * 1024, 'x');
    const std::string listing = small.path() + "/packets.txt";
    Outcome full = runCli("packets " + shellQuote(source), ">" + shellQuote(listing));
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
    EXPECT_GT(fs::file_size(listing), 0u) << "part of the listing was written";
    // With room for it, the same listing succeeds.
    fs::remove(small.path() + "/filler");
    EXPECT_EQ(runCli("packets " + shellQuote(source), ">" + shellQuote(listing)).status, 0);
}

namespace {

// Runs "splicor-cli WORDS" on a slow disk and sends it `signal` after `seconds`: its exit status
// as the shell sees it (128 + the signal for a process the signal ended).
int interrupted(const std::string& words, const char* signal, const char* seconds,
                const std::string& tmpdir) {
    int status = 0;
    runCommand("cd " + shellQuote(writertest::scratchDir()) + " && TMPDIR=" + shellQuote(tmpdir) +
                   " SLOW_WRITES_MS=100 ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" +
                   shellQuote(SLOW_WRITES) + " timeout --preserve-status -s " + signal + " " +
                   seconds + " " + SPLICOR_CLI + " " + words + " >/dev/null 2>&1 </dev/null",
               &status);
    return status;
}

}  // namespace

TEST(CliInterrupted, AWritingCommandEndedMidwayLeavesOnlyWhatWasThere) {
    const std::string source = media("demo.wmv");
    if (source.empty() || !writertest::haveTool("timeout")) {
        GTEST_SKIP() << "no media or no timeout(1)";
    }
    const std::string folder = writertest::scratchDir() + "/interrupted";
    const std::string tmpdir = writertest::scratchDir() + "/interrupted-tmp";
    fs::create_directories(folder);
    fs::create_directories(tmpdir);
    // What was there stays: an older output and someone else's hidden file.
    const std::string destination = folder + "/out.wmv";
    testsupport::writeFile(destination, "older");
    testsupport::writeFile(folder + "/.out.wmv.splicor-temp.wmv.keep", "not ours");
    const std::vector<std::string> before = testsupport::namesIn(folder);
    struct Case {
        std::string words;
        const char* signal;
        int status;  // as the shell reports it
    };
    const std::string src = shellQuote(source), dst = shellQuote(destination);
    const std::string sheet = shellQuote(folder + "/out.png");
    for (const Case& c : std::vector<Case>{
             {"cut --force " + src + " " + dst + " 0-", "INT", 130},
             {"join --force " + src + " " + src + " " + dst, "TERM", 143},
             {"thumbs " + src + " " + sheet, "HUP", 129},
             // Killed outright: the files being written have no names yet.
             {"cut --force " + src + " " + dst + " 0-", "KILL", 137},
             {"join --force " + src + " " + src + " " + dst, "KILL", 137},
         }) {
        EXPECT_EQ(interrupted(c.words, c.signal, "0.4", tmpdir), c.status)
            << c.signal << ": " << c.words;
        EXPECT_EQ(testsupport::namesIn(folder), before) << c.signal << ": " << c.words;
        EXPECT_TRUE(testsupport::readFile(destination) == "older") << c.words;
        if (std::string(c.signal) != "KILL") {
            EXPECT_EQ(testsupport::namesIn(tmpdir), std::vector<std::string>{}) << c.words;
        }
    }
    // Not interrupted, the same cut replaces the older output.
    EXPECT_EQ(interrupted("cut --force " + src + " " + dst + " 0-", "INT", "20", tmpdir), 0);
    EXPECT_TRUE(testsupport::readFile(destination) != "older");
}

namespace {

// What a terminal shows of "splicor-cli WORDS" (script(1) gives it one), its standard output
// sent to `out`; with `slow`, writes to files are slowed so that a cut takes a second.
std::string onTerminal(const std::string& words, const std::string& out = "/dev/null",
                       bool slow = false) {
    const std::string command =
        (slow ? "SLOW_WRITES_MS=100 ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" +
                    shellQuote(SLOW_WRITES) + " "
              : std::string()) +
        SPLICOR_CLI + " " + words + " >" + shellQuote(out);
    return runCommand("script -qec " + shellQuote(command) + " /dev/null");
}

// Whether every line that starts with `start` begins on a clean line: after a line end, or
// after the progress line was cleared.
bool onCleanLines(const std::string& shown, const std::string& start) {
    for (std::size_t at = shown.find(start); at != std::string::npos;
         at = shown.find(start, at + 1)) {
        const bool afterLineEnd = at == 0 || shown[at - 1] == '\n';
        const bool afterClear = at >= 4 && shown.compare(at - 4, 4, "\r\033[K") == 0;
        if (!afterLineEnd && !afterClear) {
            return false;
        }
    }
    return true;
}

}  // namespace

TEST(CliTerminal, MessagesNeverShareALineWithTheProgressAndQuietLeavesOnlyErrors) {
    const std::string source = media("demo.wmv");
    if (source.empty() || !writertest::haveTool("script")) {
        GTEST_SKIP() << "no media or no script(1)";
    }
    const std::string folder = writertest::scratchDir() + "/terminal";
    fs::create_directories(folder);
    const std::string out = folder + "/stdout", destination = folder + "/cut.wmv";
    const std::string cut = "cut --force " + shellQuote(source) + " " + shellQuote(destination);
    std::string shown = onTerminal(cut + " 0-", "/dev/null", true);
    // The engine moves the line on: it does not stand at 0 % for the whole cut.
    EXPECT_TRUE(std::regex_search(shown, std::regex("\rcut +[1-9][0-9]?%"))) << shown;
    EXPECT_NE(shown.find("keeping 0.000 s to 30.0"), std::string::npos) << shown;
    EXPECT_NE(shown.find("wrote " + destination), std::string::npos) << shown;
    EXPECT_TRUE(onCleanLines(shown, "keeping ")) << shown;
    EXPECT_TRUE(onCleanLines(shown, "wrote ")) << shown;
    // Nothing of the progress line is left standing at the end.
    EXPECT_TRUE(shown.size() >= 4 && (shown.compare(shown.size() - 4, 4, "\r\033[K") == 0 ||
                                      shown.compare(shown.size() - 2, 2, "\r\n") == 0))
        << shown;
    // What the cut tells is no listing: standard output stays empty.
    onTerminal(cut + " 0-", out);
    EXPECT_EQ(testsupport::readFile(out), "");

    // --quiet: nothing at all on success, the error on failure.
    EXPECT_EQ(onTerminal("thumbs --quiet --force " + shellQuote(source) + " " +
                         shellQuote(folder + "/sheet.png")),
              "");
    EXPECT_EQ(onTerminal("cut --quiet --force " + shellQuote(source) + " " +
                         shellQuote(destination) + " 0-2"),
              "");
    const std::string refused = onTerminal("join --quiet " + shellQuote(source) + " " +
                                           shellQuote(source) + " " + shellQuote(destination));
    EXPECT_EQ(refused,
              "splicor-cli: " + destination + ": already exists (--force replaces it)\r\n");

    // Not a terminal: the same lines, and no progress line.
    Outcome piped = runCli("join --force " + shellQuote(source) + " " + shellQuote(source) + " " +
                           shellQuote(destination));
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out, "");
    EXPECT_EQ(piped.err, "joined 2 files, 2792 samples\nwrote " + destination + "\n");

    EXPECT_EQ(cli::ProgressLine::text("cut", 0.5, 10), "cut  50%  0:10 left");
    EXPECT_EQ(cli::ProgressLine::text("cut", 0.01, 0.5), "cut   1%");
    EXPECT_EQ(cli::ProgressLine::text("cut", 3.0, 10), "cut  99%  0:00 left");
}

TEST(CliCommandLine, TakesOptionsAsOtherGnuToolsDoAndTheWindowProgramAnswersHelp) {
    const std::string source = media("demo.wmv");
    if (source.empty()) {
        GTEST_SKIP() << "no media";
    }
    const std::string folder = writertest::scratchDir() + "/options";
    fs::create_directories(folder);
    const std::string out = shellQuote(folder + "/out.wmv"), src = shellQuote(source);
    // "--frames=I-J", abbreviated long options, options among the operands.
    Outcome abbreviated = runCli("cut --fo --q " + src + " " + out + " --frames=0-2");
    EXPECT_EQ(abbreviated.status, 0) << abbreviated.err;
    EXPECT_EQ(runCli("cut " + src + " --force " + out + " --fr 1-1 --quiet").status, 0);
    // "--" ends the options: a file whose name starts with "-".
    fs::copy_file(source, folder + "/-clip.wmv", fs::copy_options::overwrite_existing);
    EXPECT_EQ(runCommand("cd " + shellQuote(folder) + " && " + SPLICOR_CLI +
                         " keyframes -- -clip.wmv | head -1"),
              "460000\n");
    // An abbreviation of two options, and one of none: the command line is wrong.
    for (const char* words : {"cut --f SRC OUT 0-1", "info --jsn SRC", "cut SRC OUT --frames"}) {
        std::string w = words;
        w.replace(w.find("SRC"), 3, src);
        if (w.find("OUT") != std::string::npos) {
            w.replace(w.find("OUT"), 3, out);
        }
        Outcome r = runCli(w);
        EXPECT_EQ(r.status, 2) << words;
        EXPECT_NE(r.err.find("usage: splicor-cli"), std::string::npos) << r.err;
    }

    // The window program prints and ends, with no display and no window.
    const std::string window = std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") + SPLICOR_WINDOW;
    int status = -1;
    EXPECT_EQ(runCommand(window + " --help 2>&1", &status).rfind("usage: ", 0), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(runCommand(window + " --version 2>&1", &status).rfind("splicor 0.", 0), 0);
    EXPECT_EQ(status, 0);
    // After "--", "--help" is a file to open: that needs a display.
    EXPECT_NE(runCommand(window + " -- --help 2>&1", &status).find("no display"),
              std::string::npos);
    EXPECT_EQ(status, 1);
}
