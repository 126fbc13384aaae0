#include "platform/file_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/scratch.h"

namespace fs = std::filesystem;

TEST(FindFilesWithSuffix, ListsMatchingFilesInAscendingByteOrder) {
    const testsupport::ScratchDir scratch("search");
    const fs::path dir = scratch.path();
    fs::create_directories(dir / "dir-thum.txt");
    for (const char* name : {"b-thum.txt", "a b-thum.txt", "\xE3\x81\x82-thum.txt", "Z-thum.txt",
                             "-thum.txt", "x-thum.txt.bak", "xthum.txt", "c.bmp"}) {
        std::ofstream(dir / name) << "x";
    }
    std::vector<std::string> expected = {"-thum.txt", "Z-thum.txt", "a b-thum.txt", "b-thum.txt",
                                         "\xE3\x81\x82-thum.txt"};
    EXPECT_EQ(platform::findFilesWithSuffix(dir.string(), "-thum.txt"), expected);
    EXPECT_EQ(platform::findFilesWithSuffix(dir.string(), ".bmp"),
              std::vector<std::string>{"c.bmp"});
    fs::remove_all(dir);
    EXPECT_TRUE(platform::findFilesWithSuffix(dir.string(), ".bmp").empty());
}
