// The cut list file: its exact bytes, its names, what is refused, and how it is written.

#include "journal/cut_list_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_search.h"
#include "support/scratch.h"

namespace fs = std::filesystem;
using journal::CutList;

namespace {

class CutListFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }

    std::string bytes(const std::string& name) const { return testsupport::readFile(dir_ + name); }
    void put(const std::string& name, const std::string& content) const {
        testsupport::writeFile(dir_ + name, content);
    }
    std::vector<std::string> names() const { return platform::findFilesWithSuffix(dir_, ""); }

    testsupport::ScratchDir scratch_{"cutlist"};
    const std::string dir_ = scratch_.path();
};

}  // namespace

TEST_F(CutListFile, WritesExactBytesAndReadsThemBack) {
    struct Case {
        std::string source, destination;
        std::vector<std::uint64_t> times;
        std::string expected;
    };
    const Case cases[] = {
        {"/home/u/My Videos/a b.wmv",
         "/home/u/out/a b-1.wmv",
         {100000000, 200000000},
         "/home/u/My Videos/a b.wmv\r\n/home/u/out/a b-1.wmv\r\n2\r\n100000000\r\n200000000\r\n"},
        {"/v/映像.wmv", "out.wmv", {}, "/v/映像.wmv\r\nout.wmv\r\n0\r\n"},
        {"/v/a.wmv",
         "/o/b.wmv",
         {0, 18446744073709551615ull, 7},
         "/v/a.wmv\r\n/o/b.wmv\r\n3\r\n0\r\n18446744073709551615\r\n7\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::string path = dir_ + "x-cut.txt";
        ASSERT_TRUE(journal::writeCutListFile(path, c.source, c.destination, c.times.data(),
                                              static_cast<std::int32_t>(c.times.size())));
        EXPECT_EQ(bytes("x-cut.txt"), c.expected);
        std::optional<CutList> read = journal::readCutListFile(path);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->source, c.source);
        EXPECT_EQ(read->destination, c.destination);
        EXPECT_EQ(read->times, c.times);
        EXPECT_EQ(names(), std::vector<std::string>{"x-cut.txt"}) << "nothing else is left";
    }
}

TEST_F(CutListFile, IsNamedAfterTheDestinationsFileName) {
    EXPECT_EQ(journal::cutListFileName("/out/clip-3.wmv"), "clip-3.wmv-cut.txt");
    EXPECT_EQ(journal::cutListFileName("clip.wmv"), "clip.wmv-cut.txt");
    EXPECT_EQ(journal::cutListFileName("/out/"), "-cut.txt");
    EXPECT_EQ(journal::cutListFileName("/out/clip.wmv", 2), "clip.wmv-2-cut.txt");
    // A name too long to carry the suffix is shortened, one name to one file.
    const std::string a = "/out/" + std::string(251, 'a') + ".wmv",
                      b = "/out/" + std::string(251, 'a') + ".asf";
    EXPECT_LE(journal::cutListFileName(a, 10000).size(), 255u);
    EXPECT_NE(journal::cutListFileName(a), journal::cutListFileName(b));
}

TEST_F(CutListFile, RefusesFilesThatDoNotHoldAWholeJob) {
    const char* bad[] = {
        "",
        "/v/a.wmv\r\n",
        "/v/a.wmv\r\n/o/a.wmv",                      // no line end after the destination
        "/v/a.wmv\r\n/o/a.wmv\r\n",                  // no count
        "/v/a.wmv\r\n/o/a.wmv\r\n\r\n\r\n",          // no count, only blank lines
        "/v/a.wmv\r\n/o/a.wmv\r\n-2\r\n1\r\n2\r\n",  // negative count
        "/v/a.wmv\r\n/o/a.wmv\r\ntwo\r\n1\r\n2\r\n",
        "/v/a.wmv\r\n/o/a.wmv\r\n2x\r\n1\r\n2\r\n",
        "/v/a.wmv\r\n/o/a.wmv\r\n4\r\n1\r\n2\r\n3\r\n",  // fewer values than counted
        "/v/a.wmv\r\n/o/a.wmv\r\n2147483647\r\n1\r\n2\r\n",
        "/v/a.wmv\r\n/o/a.wmv\r\n99999999999999999999999\r\n1\r\n",
        "/v/a.wmv\r\n/o/a.wmv\r\n2\r\n1\r\nten\r\n",
        "/v/a.wmv\r\n/o/a.wmv\r\n2\r\n1\r\n-2\r\n",
        "/v/a.wmv\r\n/o/a.wmv\r\n2\r\n1\r\n18446744073709551616\r\n",  // past 64 bits
    };
    for (const char* content : bad) {
        SCOPED_TRACE(content);
        EXPECT_FALSE(journal::parseCutList(content));
        put("bad-cut.txt", content);
        EXPECT_FALSE(journal::readCutListFile(dir_ + "bad-cut.txt"));
    }
    EXPECT_FALSE(journal::readCutListFile(dir_ + "missing-cut.txt"));

    // What the reading has always accepted stays accepted: LF line ends, a last line without
    // its line end, and anything after the counted values.
    std::optional<CutList> lf = journal::parseCutList("/v/a.wmv\n/o/a.wmv\n2\n5\n6");
    ASSERT_TRUE(lf);
    EXPECT_EQ(lf->times, (std::vector<std::uint64_t>{5, 6}));
    EXPECT_TRUE(journal::parseCutList("/v/a.wmv\r\n/o/a.wmv\r\n1\r\n5\r\n6\r\n"));
    // A count or a time written with a plus sign, as formatted input reads it.
    std::optional<CutList> signed_ =
        journal::parseCutList("/v/a.wmv\r\n/o/a.wmv\r\n+2\r\n+5\r\n6\r\n");
    ASSERT_TRUE(signed_);
    EXPECT_EQ(signed_->times, (std::vector<std::uint64_t>{5, 6}));
    EXPECT_FALSE(journal::parseCutList("/v/a.wmv\r\n/o/a.wmv\r\n+\r\n5\r\n6\r\n"));
    EXPECT_FALSE(journal::parseCutList("/v/a.wmv\r\n/o/a.wmv\r\n++2\r\n5\r\n6\r\n"));
}

TEST_F(CutListFile, RecordsTheQueueOrderWhereOlderReadersIgnoreIt) {
    std::uint64_t times[] = {5, 6};
    ASSERT_TRUE(
        journal::writeCutListFile(dir_ + "a-cut.txt", "/v/a.wmv", "/o/a.wmv", times, 2, 17));
    EXPECT_EQ(bytes("a-cut.txt"), "/v/a.wmv\r\n/o/a.wmv\r\n2\r\n5\r\n6\r\n17\r\n");
    std::optional<CutList> read = journal::readCutListFile(dir_ + "a-cut.txt");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->times, (std::vector<std::uint64_t>{5, 6}));
    EXPECT_EQ(read->order, 17u);
    // Without the line, or with anything but one number after the values: no order.
    for (const char* tail : {"", "17 18\r\n", "x\r\n", "0\r\n"}) {
        std::optional<CutList> old =
            journal::parseCutList(std::string("/v/a.wmv\r\n/o/a.wmv\r\n2\r\n5\r\n6\r\n") + tail);
        ASSERT_TRUE(old) << tail;
        EXPECT_EQ(old->order, 0u) << tail;
    }
}

TEST_F(CutListFile, OnlyRegularFilesAreReadAndWritesNeverFollowALink) {
    // A FIFO would block an open for reading until a writer came; a device never ends.
    ASSERT_EQ(::mkfifo((dir_ + "fifo-cut.txt").c_str(), 0644), 0);
    EXPECT_FALSE(journal::readCutListFile(dir_ + "fifo-cut.txt"));
    fs::create_symlink("/dev/zero", dir_ + "zero-cut.txt");
    EXPECT_FALSE(journal::readCutListFile(dir_ + "zero-cut.txt"));
    // A link planted under a cut list file's name is replaced, its target left alone.
    put("target.txt", "the user's");
    fs::create_symlink(dir_ + "target.txt", dir_ + "a.wmv-cut.txt");
    std::uint64_t times[] = {1, 2};
    ASSERT_TRUE(
        journal::writeCutListFile(dir_ + "a.wmv-cut.txt", "/v/a.wmv", "/o/a.wmv", times, 2));
    EXPECT_EQ(bytes("target.txt"), "the user's");
    EXPECT_FALSE(fs::is_symlink(dir_ + "a.wmv-cut.txt"));
    // The temporary file of a write is the program's own; one left by a killed run goes at the
    // next start, files of other names stay.
    put(".splicor-writing-a1B2c3", "half");
    put(".splicor-writing-mine.txt", "the user's");
    journal::removeUnfinishedCutListWrites(dir_);
    EXPECT_EQ(names(), (std::vector<std::string>{".splicor-writing-mine.txt", "a.wmv-cut.txt",
                                                 "fifo-cut.txt", "target.txt", "zero-cut.txt"}));
}

TEST_F(CutListFile, WritesWholeFilesOnly) {
    std::uint64_t times[] = {1, 2};
    std::string path = dir_ + "a.wmv-cut.txt";
    put("a.wmv-cut.txt", "old");
    ASSERT_TRUE(journal::writeCutListFile(path, "/v/a.wmv", "/o/a.wmv", times, 2));
    EXPECT_EQ(bytes("a.wmv-cut.txt"), "/v/a.wmv\r\n/o/a.wmv\r\n2\r\n1\r\n2\r\n");

    // A path with a line break cannot be written; nothing is made or changed.
    EXPECT_FALSE(journal::writeCutListFile(path, "/v/a\n.wmv", "/o/a.wmv", times, 2));
    EXPECT_FALSE(journal::writeCutListFile(dir_ + "n-cut.txt", "/v/a.wmv", "/o/\n", times, 2));
    EXPECT_FALSE(journal::writeCutListFile(dir_ + "no/such/x-cut.txt", "/v", "/o", times, 2));
    EXPECT_EQ(names(), std::vector<std::string>{"a.wmv-cut.txt"});
    EXPECT_EQ(bytes("a.wmv-cut.txt"), "/v/a.wmv\r\n/o/a.wmv\r\n2\r\n1\r\n2\r\n");

    // A write cut short by the end of the process leaves only its temporary file, which a
    // search for cut list files does not find and the next start deletes.
    put("b.wmv-cut.txt.tmp", "/v/b.wmv\r\n/o/b.wmv\r\n2\r\n1");
    EXPECT_EQ(platform::findFilesWithSuffix(dir_, journal::kCutListSuffix),
              std::vector<std::string>{"a.wmv-cut.txt"});
    journal::removeUnfinishedCutListWrites(dir_);
    EXPECT_EQ(names(), std::vector<std::string>{"a.wmv-cut.txt"});
}
