// The dialogs' result form, both ways.

#include "shell/file_intake.h"

#include <gtest/gtest.h>

using shell::dialogResult;
using shell::openDialogPaths;
using Paths = std::vector<std::string>;

namespace {

std::string zeros(const char* text, std::size_t size) {
    return std::string(text, size);
}

TEST(DialogResult, OneFileIsItsPathAndSeveralAreTheirDirectoryAndNames) {
    EXPECT_EQ(dialogResult({}), "");
    EXPECT_EQ(dialogResult({"/v/clip.wmv"}), zeros("/v/clip.wmv\0\0", 13));
    EXPECT_EQ(openDialogPaths(dialogResult({"/v/clip.wmv"})), Paths{"/v/clip.wmv"});

    std::string several = dialogResult({"/v/b.wmv", "/v/a.wmv"});
    EXPECT_EQ(several, zeros("/v\0b.wmv\0a.wmv\0\0", 16));
    EXPECT_EQ(openDialogPaths(several), (Paths{"/v/b.wmv", "/v/a.wmv"}))
        << "the names in the dialog's order, without their folder";

    // In the root the separator is doubled, as it always was after a drive's root.
    EXPECT_EQ(openDialogPaths(dialogResult({"/a.wmv", "/b.wmv"})), (Paths{"//a.wmv", "//b.wmv"}));
    // A later string holding a separator is passed over.
    EXPECT_EQ(openDialogPaths(zeros("/v\0a.wmv\0/w/b.wmv\0c.asf\0\0", 26)),
              (Paths{"/v/a.wmv", "/v/c.asf"}));
    EXPECT_EQ(shell::saveDialogPath(zeros("/v/new.wmv\0\0", 12)), "/v/new.wmv");
    EXPECT_EQ(shell::saveDialogPath(""), "");
}

TEST(DroppedUriList, GivesTheLocalFilesBytesAsTheyAreOnDisk) {
    std::string list =
        "# a comment\r\n"
        "file:///tmp/caf%E9.wmv\r\n"
        "file://localhost/v/a%20b.asf\r\n"
        "FILE:/v/c%2.wmv\r\n"  // a lone "%" stays as it is
        "http://example.org/d.wmv\r\n"
        "file://elsewhere.example/e.wmv\r\n"
        "file:///v/nul%00.wmv\r\n"
        "\r\n"
        "file:///v/last.wmv";  // no line end after the last
    EXPECT_EQ(shell::localPathsFromUriList(list),
              (Paths{"/tmp/caf\xE9.wmv", "/v/a b.asf", "/v/c%2.wmv", "/v/last.wmv"}));
}

}  // namespace
