// splicor-cli at its edges, as a script or a terminal meets it: listings that cannot be written,
// interrupted writing commands, and what a terminal shows.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/scratch.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

namespace fs = std::filesystem;
using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs "splicor-cli WORDS" through the shell, standard output redirected as `redirect` says
// (captured when empty), standard error captured.
Outcome cli(const std::string& words, const std::string& redirect = "") {
    static int runs = 0;
    const std::string errors = writertest::scratchDir() + "/edges-stderr-" + std::to_string(++runs);
    Outcome r;
    r.out = runCommand(std::string(SPLICOR_CLI) + " " + words + " " + redirect + " 2>" +
                           shellQuote(errors) + " </dev/null",
                       &r.status);
    r.err = testsupport::readFile(errors);
    return r;
}

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
        Outcome r = cli(std::string(command) + " " + shellQuote(source), ">/dev/full");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.err, "splicor-cli: cannot write to standard output: No space left on device\n")
            << command;
    }
    EXPECT_EQ(cli("--help", ">/dev/full").status, 1);

    // A file system that fills up halfway through the listing.
    SmallFileSystem small(256);
    if (small.path().empty()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    std::ofstream(small.path() + "/filler", std::ios::binary) << std::string(220 * 1024, 'x');
    const std::string listing = small.path() + "/packets.txt";
    Outcome full = cli("packets " + shellQuote(source), ">" + shellQuote(listing));
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
    EXPECT_GT(fs::file_size(listing), 0u) << "part of the listing was written";
    // With room for it, the same listing succeeds.
    fs::remove(small.path() + "/filler");
    EXPECT_EQ(cli("packets " + shellQuote(source), ">" + shellQuote(listing)).status, 0);
}
