// The status bar's texts as the window receives them, and its use from several threads.

#include "shell/status_bar.h"

#include <gtest/gtest.h>

#include <thread>

#include "queue/fake_window.h"

using shell::StatusBar;
using testsupport::FakeWindow;

namespace {

struct Attached {
    FakeWindow window;
    StatusBar bar;
    Attached() {
        bar.mainWindow = &window;
        bar.statusWindow = &window;
        bar.baseTitle = "Splicor";
    }
};

// The longest run of whole characters of `characters` that fits `limit` bytes.
std::string fitting(const std::vector<std::string>& characters, std::size_t limit) {
    std::string text;
    for (const std::string& c : characters) {
        if (text.size() + c.size() > limit) {
            break;
        }
        text += c;
    }
    return text;
}

std::vector<std::string> repeated(const std::vector<std::string>& start, const std::string& c,
                                  int times) {
    std::vector<std::string> out = start;
    out.insert(out.end(), times, c);
    return out;
}

}  // namespace

TEST(StatusBar, ShowsEveryPartWithItsExactText) {
    Attached a;
    a.bar.showReadyCount();
    a.bar.showPendingCount();
    a.bar.showLoading("");
    a.bar.showCutPendingCount();
    a.bar.showCutting("");
    EXPECT_EQ(a.window.allTexts(),
              (std::vector<std::pair<int, std::string>>{{0, "0  ファイル読込済み"},
                                                        {1, "0  ファイル待ち"},
                                                        {2, "読込中ファイル無し"},
                                                        {3, "0  ファイル分割待ち"},
                                                        {4, "分割中ファイル無し"}}));

    a.bar.setReadyCount(3);
    a.bar.setPendingCount(-1);
    a.bar.setCutPendingCount(12);
    EXPECT_EQ(a.window.allTexts().size(), 5u) << "storing a count shows nothing";
    a.bar.showReadyCount();
    a.bar.showPendingCount();
    a.bar.showCutPendingCount();
    EXPECT_EQ(a.window.shown(0), "3  ファイル読込済み");
    EXPECT_EQ(a.window.shown(1), "-1  ファイル待ち");
    EXPECT_EQ(a.window.shown(3), "12  ファイル分割待ち");

    a.bar.showLoading("/home/u/v/clip one.wmv");
    EXPECT_EQ(a.window.shown(2), "読込中..  clip one.wmv");
    a.bar.showCutting("/home/u/v/clip.wmv");
    EXPECT_EQ(a.window.shown(4), "分割中..  clip.wmv");
    a.bar.showCutting("clip.wmv");
    EXPECT_EQ(a.window.shown(4), "分割中..  clip.wmv");
    a.bar.showCutting("/out/");
    EXPECT_EQ(a.window.shown(4), "分割中..  ");

    a.bar.setTitle("/home/u/v/clip.wmv");
    a.bar.setTitle("");
    EXPECT_EQ(a.window.titles(),
              (std::vector<std::string>{"/home/u/v/clip.wmv - Splicor", " - Splicor"}));
}

TEST(StatusBar, WithoutAWindowShowsNothingAndKeepsTheCountsForLater) {
    FakeWindow window;
    StatusBar bar;
    bar.setCutPendingCount(2);
    bar.showCutPendingCount();
    bar.showCutting("/out/a.wmv");
    bar.setTitle("x");
    bar.statusWindow = &window;
    bar.mainWindow = &window;
    EXPECT_TRUE(window.allTexts().empty());
    EXPECT_TRUE(window.titles().empty());
    bar.showCutPendingCount();
    EXPECT_EQ(window.shown(3), "2  ファイル分割待ち");
}

TEST(StatusBar, LongTextsAreCutToNinetyNineBytesOnACharacterBoundary) {
    Attached a;
    const std::vector<std::string> cutting = {"分", "割", "中", ".", ".", " ", " "};
    // Each padding shifts the 99-byte limit to another place inside a character.
    for (int pad = 0; pad < 4; ++pad) {
        SCOPED_TRACE(pad);
        std::vector<std::string> name = repeated({}, "a", pad);
        name = repeated(name, "映", 20);
        name = repeated(name, "😀", 10);
        std::string full;
        for (const std::string& c : name) {
            full += c;
        }
        std::vector<std::string> expected = cutting;
        expected.insert(expected.end(), name.begin(), name.end());
        a.bar.showCutting("/v/" + full);
        EXPECT_EQ(a.window.shown(4), fitting(expected, 99));
        EXPECT_GE(a.window.shown(4).size(), 96u);

        a.bar.setTitle("/v/" + full);
        std::vector<std::string> title = {"/", "v", "/"};
        title.insert(title.end(), name.begin(), name.end());
        EXPECT_EQ(a.window.titles().back(), fitting(title, 99));

        // The loading part is not limited.
        a.bar.showLoading("/v/" + full);
        EXPECT_EQ(a.window.shown(2), "読込中..  " + full);
    }

    // Bytes that are not UTF-8 (a Linux file name may hold any) are characters of their own.
    std::string raw(120, '\x80');
    a.bar.showCutting("/v/" + raw);
    EXPECT_EQ(a.window.shown(4), "分割中..  " + raw.substr(0, 99 - 13));
}

TEST(StatusBar, CountsMayBeStoredAndShownFromSeveralThreadsWhileTheWindowArrives) {
    FakeWindow window;
    StatusBar bar;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&bar, t] {
            for (int i = 0; i < 2000; ++i) {
                bar.setCutPendingCount(i);
                bar.showCutPendingCount();
                bar.setReadyCount(t);
                bar.showReadyCount();
                bar.showCutting("/v/clip.wmv");
            }
        });
    }
    bar.statusWindow = &window;
    for (std::thread& t : threads) {
        t.join();
    }
    bar.setCutPendingCount(7);
    bar.showCutPendingCount();
    EXPECT_EQ(window.shown(3), "7  ファイル分割待ち");
}
