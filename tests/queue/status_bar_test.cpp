// The status bar's texts as the window receives them, and its use from several threads.

#include "shell/status_bar.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/fake_window.h"

using shell::StatusBar;
using testsupport::FakeWindow;
using Texts = std::vector<std::pair<int, std::string>>;

TEST(StatusBar, ShowsEveryPartWithItsExactText) {
    FakeWindow window;
    StatusBar bar;
    // Before the window exists, shows do nothing and stored counts wait for it.
    bar.setCutPendingCount(2);
    bar.showCutPendingCount();
    bar.setTitle("x");
    bar.statusWindow = &window;
    bar.mainWindow = &window;
    bar.baseTitle = "Splicor";
    bar.showReadyCount();
    bar.showPendingCount();
    bar.showLoading("");
    bar.showCutPendingCount();
    bar.showCutting("");
    EXPECT_EQ(window.allTexts(), (Texts{{0, "0  ファイル読込済み"},
                                        {1, "0  ファイル待ち"},
                                        {2, "読込中ファイル無し"},
                                        {3, "2  ファイル分割待ち"},
                                        {4, "分割中ファイル無し"}}));

    bar.setReadyCount(3);
    bar.setPendingCount(-1);
    EXPECT_EQ(window.allTexts().size(), 5u) << "storing a count shows nothing";
    bar.showReadyCount();
    bar.showPendingCount();
    bar.showLoading("/home/u/v/clip one.wmv");
    bar.showCutting("/home/u/v/clip.wmv");
    bar.showCutting("clip.wmv");
    bar.showCutting("/out/");
    Texts all = window.allTexts();
    EXPECT_EQ(Texts(all.begin() + 5, all.end()), (Texts{{0, "3  ファイル読込済み"},
                                                        {1, "-1  ファイル待ち"},
                                                        {2, "読込中..  clip one.wmv"},
                                                        {4, "分割中..  clip.wmv"},
                                                        {4, "分割中..  clip.wmv"},
                                                        {4, "分割中..  "}}));

    bar.setTitle("/home/u/v/clip.wmv");
    bar.setTitle("");
    EXPECT_EQ(window.titles(),
              (std::vector<std::string>{"/home/u/v/clip.wmv - Splicor", " - Splicor"}));
}

TEST(StatusBar, LongTextsAreCutToNinetyNineBytesOnACharacterBoundary) {
    FakeWindow window;
    StatusBar bar;
    bar.statusWindow = &window;
    bar.mainWindow = &window;
    bar.baseTitle = "Splicor";
    // Each padding puts the 99th byte at another place inside a three- or four-byte character.
    for (int pad = 0; pad < 4; ++pad) {
        SCOPED_TRACE(pad);
        std::vector<std::string> name(pad, "a");
        name.insert(name.end(), 20, "映");
        name.insert(name.end(), 10, "😀");
        // The longest run of whole characters within 99 bytes, counted here character by
        // character.
        auto fitting = [&name](std::string text) {
            for (const std::string& c : name) {
                if (text.size() + c.size() > 99) {
                    break;
                }
                text += c;
            }
            return text;
        };
        std::string full;
        for (const std::string& c : name) {
            full += c;
        }
        bar.showCutting("/v/" + full);
        EXPECT_EQ(window.shown(4), fitting("分割中..  "));
        bar.setTitle("/v/" + full);
        EXPECT_EQ(window.titles().back(), fitting("/v/"));
        // The loading part has no limit.
        bar.showLoading("/v/" + full);
        EXPECT_EQ(window.shown(2), "読込中..  " + full);
    }
    // Bytes that are not UTF-8 (a Linux file name may hold any) count as characters of their own.
    std::string raw(120, '\x80');
    bar.showCutting("/v/" + raw);
    EXPECT_EQ(window.shown(4), "分割中..  " + raw.substr(0, 99 - 13));
}

TEST(StatusBar, CountsMayBeStoredAndShownFromSeveralThreadsWhileTheWindowArrives) {
    FakeWindow window;
    StatusBar bar;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&bar] {
            for (int i = 0; i < 2000; ++i) {
                bar.setCutPendingCount(i);
                bar.showCutPendingCount();
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
