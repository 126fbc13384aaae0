// Where the program keeps its files, and how it reads and writes them there.

#include "platform/own_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_search.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

class OwnFiles : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }

    void put(const std::string& name, const std::string& content) const {
        testsupport::writeFile(dir_ + name, content);
    }
    std::string bytes(const std::string& name) const { return testsupport::readFile(dir_ + name); }

    testsupport::ScratchDir scratch_{"own"};
    const std::string dir_ = scratch_.path();
};

}  // namespace

TEST_F(OwnFiles, TheThumbnailDirectoryIsBesideTheProgramFileOrInTheUsersStateFolder) {
    fs::create_directories(dir_ + "bin");
    EXPECT_EQ(platform::thumbnailDirectoryFor(dir_ + "bin/splicor", "/nowhere", "/nowhere"),
              dir_ + "bin/thum/");
    EXPECT_TRUE(fs::is_directory(dir_ + "bin/thum"));

    // A program folder where nothing can be made (here: a file stands where the folder would
    // be; root writes anywhere else): the state folder, made for the user alone.
    put("file", "");
    EXPECT_EQ(platform::thumbnailDirectoryFor(dir_ + "file/splicor", (dir_ + "state").c_str(),
                                              "/nowhere"),
              dir_ + "state/splicor/thum/");
    for (const char* folder : {"state/splicor", "state/splicor/thum"}) {
        struct stat info;
        ASSERT_EQ(::stat((dir_ + folder).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }
    // Without XDG_STATE_HOME (or with a relative one): ~/.local/state.
    for (const char* stateHome : {static_cast<const char*>(nullptr), "relative"}) {
        EXPECT_EQ(platform::thumbnailDirectoryFor(dir_ + "file/splicor", stateHome,
                                                  (dir_ + "home").c_str()),
                  dir_ + "home/.local/state/splicor/thum/");
    }
    // The program file is found by its real path, not by how it was started.
    EXPECT_EQ(fs::path(platform::programFilePath()), fs::canonical("/proc/self/exe"));
}

TEST_F(OwnFiles, OnlyRegularFilesAreReadAndNoneWithoutEnd) {
    put("a.txt", "content");
    EXPECT_EQ(platform::readRegularFile(dir_ + "a.txt", 100), "content");
    EXPECT_FALSE(platform::readRegularFile(dir_ + "a.txt", 6));  // larger than allowed
    // A FIFO would block the open; a link is not followed; a device never ends.
    ASSERT_EQ(::mkfifo((dir_ + "fifo").c_str(), 0644), 0);
    fs::create_symlink(dir_ + "a.txt", dir_ + "link");
    fs::create_symlink("/dev/zero", dir_ + "zero");
    for (const char* name : {"fifo", "link", "zero", "missing"}) {
        EXPECT_FALSE(platform::readRegularFile(dir_ + name, 1 << 20)) << name;
        EXPECT_EQ(platform::openRegularFile(dir_ + name), -1) << name;
        EXPECT_FALSE(platform::isRegularFile(dir_ + name)) << name;
    }
    EXPECT_FALSE(platform::readRegularFile("/dev/zero", 1 << 20));
}

TEST_F(OwnFiles, WritesReplaceWholeAndSettingAsideNeverReplaces) {
    put("target", "the user's");
    fs::create_symlink(dir_ + "target", dir_ + "planted");
    ASSERT_TRUE(platform::replaceFileWith(dir_ + "planted", "new"));
    EXPECT_EQ(bytes("target"), "the user's");
    EXPECT_EQ(bytes("planted"), "new");
    EXPECT_FALSE(fs::is_symlink(dir_ + "planted"));
    EXPECT_FALSE(platform::replaceFileWith(dir_ + "no/such/file", "x"));
    EXPECT_EQ(platform::findFilesWithSuffix(dir_, ""),
              (std::vector<std::string>{"planted", "target"}));

    put("x.rejected", "earlier");
    EXPECT_EQ(platform::setAside(dir_ + "x", "rejected"), "") << "nothing to set aside";
    put("x", "now");
    EXPECT_EQ(platform::setAside(dir_ + "x", "rejected"), dir_ + "x.rejected-2");
    EXPECT_EQ(bytes("x.rejected"), "earlier");
    EXPECT_EQ(bytes("x.rejected-2"), "now");
}

TEST_F(OwnFiles, NamesAndIdentities) {
    EXPECT_EQ(platform::fittedFileName("clip.wmv", 20), "clip.wmv");
    const std::string longName(300, 'x');
    const std::string fitted = platform::fittedFileName(longName, 20);
    EXPECT_EQ(fitted.size(), 255u - 20u);
    EXPECT_NE(fitted, platform::fittedFileName(longName + "y", 20));

    put("a.wmv", "a");
    fs::create_directories(dir_ + "sub");
    fs::create_directory_symlink(dir_ + "sub", dir_ + "alias");
    put("sub/b.wmv", "b");
    EXPECT_TRUE(platform::sameFile(dir_ + "a.wmv", dir_ + "sub/../a.wmv"));
    EXPECT_TRUE(platform::sameFile(dir_ + "sub/b.wmv", dir_ + "alias/b.wmv"));
    EXPECT_FALSE(platform::sameFile(dir_ + "a.wmv", dir_ + "sub/b.wmv"));
    // Files not there yet: the same when their absolute forms are.
    EXPECT_TRUE(platform::sameFile(dir_ + "new.wmv", dir_ + "sub/../new.wmv"));
    EXPECT_FALSE(platform::sameFile(dir_ + "new.wmv", dir_ + "new2.wmv"));
    const fs::path before = fs::current_path();
    fs::current_path(dir_ + "sub");
    EXPECT_EQ(platform::absolutePath("./b.wmv"), dir_ + "sub/b.wmv");
    EXPECT_EQ(platform::absolutePath("../a.wmv"), dir_ + "a.wmv");
    fs::current_path(before);
    // ".." after a link climbs from the link's target, as opening the path would.
    fs::create_directories(dir_ + "deep/inner");
    fs::create_directory_symlink(dir_ + "deep/inner", dir_ + "sub/up");
    put("deep/x.wmv", "deep");
    put("sub/x.wmv", "sub");
    EXPECT_EQ(platform::absolutePath(dir_ + "sub/up/../x.wmv"), dir_ + "deep/x.wmv");
}
