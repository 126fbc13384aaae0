#pragma once

// The command-line program run as a user runs it, for the tests of tests/cli.

#include <string>

#include "support/scratch.h"
#include "support/test_files.h"
#include "writer/writer_test_support.h"

namespace clitest {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs "splicor-cli WORDS" (already quoted where needed) through the shell, no terminal
// attached, standard output redirected as `redirect` says (captured when empty), standard error
// captured.
inline CliRun runCli(const std::string& words, const std::string& redirect = "") {
    static int runs = 0;
    const std::string errors = writertest::scratchDir() + "/cli-stderr-" + std::to_string(++runs);
    CliRun r;
    r.out = testsupport::runCommand(std::string(SPLICOR_CLI) + " " + words + " " + redirect +
                                        " 2>" + testsupport::shellQuote(errors) + " </dev/null",
                                    &r.status);
    r.err = testsupport::readFile(errors);
    return r;
}

}  // namespace clitest
