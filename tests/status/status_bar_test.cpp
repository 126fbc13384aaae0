// The status bar's texts as the window receives them, and its use from several threads.

#include "status/status_bar.h"

#include <gtest/gtest.h>

#include <thread>

#include "harness/fake_window.h"

using status::StatusBar;
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
        // The loading part has no limit.
        bar.showLoading("/v/" + full);
        EXPECT_EQ(window.shown(2), "読込中..  " + full);
    }
    // Bytes that are not UTF-8 (a Linux file name may hold any) count as characters of their own.
    std::string raw(120, '\x80');
    bar.showCutting("/v/" + raw);
    EXPECT_EQ(window.shown(4), "分割中..  " + raw.substr(0, 99 - 13));
}

// Whether `text` is whole UTF-8: no character broken at either end or inside.
bool wholeUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

TEST(StatusBar, ALongTitleGivesUpTheMiddleOfItsFolderNeverTheNameOrTheProgram) {
    FakeWindow window;
    StatusBar bar;
    bar.mainWindow = &window;
    bar.baseTitle = "splicor2 0.019";
    const std::string suffix = " - splicor2 0.019";
    auto endsWith = [](const std::string& text, const std::string& end) {
        return text.size() >= end.size() &&
               text.compare(text.size() - end.size(), end.size(), end) == 0;
    };
    // Each padding moves the cuts to another place inside the folder's characters.
    for (int pad = 0; pad < 4; ++pad) {
        SCOPED_TRACE(pad);
        std::string folder = "/home/" + std::string(pad, 'u');
        for (int i = 0; i < 30; ++i) {
            folder += "映";
        }
        bar.setTitle(folder + "/2024/clip.wmv");
        std::string title = window.titles().back();
        EXPECT_LE(title.size(), 99u);
        // At most the two characters cut by the ellipsis are lost, each short of three bytes.
        EXPECT_GE(title.size(), 95u) << "no more is given up than needed";
        EXPECT_TRUE(endsWith(title, "/clip.wmv" + suffix)) << title;
        EXPECT_EQ(title.rfind("/home/", 0), 0u) << title;
        EXPECT_NE(title.find("…"), std::string::npos);
        EXPECT_TRUE(wholeUtf8(title)) << title;
    }
    // A name too long even alone keeps its start and its extension.
    std::string name;
    for (int i = 0; i < 40; ++i) {
        name += "映";
    }
    bar.setTitle("/v/" + name + ".wmv");
    std::string title = window.titles().back();
    EXPECT_LE(title.size(), 99u);
    EXPECT_TRUE(endsWith(title, "映.wmv" + suffix)) << title;
    EXPECT_EQ(title.rfind("映", 0), 0u) << title;
    EXPECT_TRUE(wholeUtf8(title)) << title;
    // A path that fits stays whole.
    bar.setTitle("/v/take[*]1.wmv");
    EXPECT_EQ(window.titles().back(), "/v/take[*]1.wmv" + suffix);
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
